# The two commands: `make run` and `make test`. `make setup` is a prerequisite of both.
SHELL := /bin/bash
BUILD ?= build
SAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: setup deps node client host host-asan run test test-cpp test-client test-e2e bench clean

setup: deps node client host

deps:
	@bash tools/install-deps.sh

# npm ci only when the lock file changed since the last install.
node: node_modules/.installed
node_modules/.installed: package.json package-lock.json
	npm ci --no-audit --no-fund
	@touch $@

client: node
	npm run --silent build

host: client
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

host-asan:
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOVIK_SANITIZE=ON -DTOVIK_GUI=OFF >/dev/null
	cmake --build $(SAN_BUILD) -j $(JOBS)

run: setup
	@bash tools/run.sh

# The C++ runners go last so that ctest's summary closes the run.
test: setup host-asan
	@$(MAKE) --no-print-directory test-client test-e2e test-cpp

# Units under the sanitizers; whole programs (window, server) from the normal build.
test-cpp:
	cd $(SAN_BUILD) && ctest --output-on-failure -L unit
	cd $(BUILD) && ctest --output-on-failure -L integration

test-client:
	npm run --silent test

test-e2e:
	npm run --silent e2e

bench: setup
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) client/dist node_modules
