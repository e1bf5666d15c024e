#include "db/secure_random.hpp"

#include <sys/random.h>

#include <cerrno>
#include <system_error>

namespace tovik {

// getrandom(2) reads the kernel's CSPRNG and blocks only until it is seeded
// at boot. Requests above 256 bytes may return short, hence the loop.
void fill_secure_random(std::span<std::byte> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::getrandom(buffer.data() + done, buffer.size() - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace tovik
