#!/usr/bin/env bash
# Installs the Debian packages the project needs; skips the ones already present.
# apt-get update runs at most once, and only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev libssl-dev libsodium-dev libcurl4-openssl-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libsecret-1-dev libcups2-dev cups cups-client
  libboost-dev libsqlite3-dev libpq-dev postgresql clang libclang-rt-dev
  xvfb xauth dbus dbus-x11 gnome-keyring libsecret-tools
  chromium fonts-noto-core fonts-noto-color-emoji
  libpango1.0-dev libcairo2-dev poppler-utils
  nodejs npm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# node and npm may come from outside Debian's packages; a working pair is enough.
if command -v node >/dev/null && command -v npm >/dev/null; then
  filtered=()
  for p in "${missing[@]}"; do [[ $p == nodejs || $p == npm ]] || filtered+=("$p"); done
  missing=("${filtered[@]+"${filtered[@]}"}")
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all Debian packages present"
  exit 0
fi
echo "deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
