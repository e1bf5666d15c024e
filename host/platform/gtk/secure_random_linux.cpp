#include "platform/secure_random.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/random.h>

namespace tovik {

void fill_secure_random(std::span<unsigned char> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t got = getrandom(out.data() + filled, out.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("secure random source: ") + std::strerror(errno));
        }
        filled += static_cast<std::size_t>(got);
    }
}

}  // namespace tovik

namespace tovik {

std::string secure_random_hex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    fill_secure_random({reinterpret_cast<unsigned char*>(raw.data()), raw.size()});
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes);
    for (unsigned char b : raw) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0xF];
    }
    return hex;
}

}  // namespace tovik
