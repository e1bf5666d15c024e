#pragma once
// util/: small helpers that know nothing of the platform: clock, crypto, uuid, log, versions.
#include <cstdint>
#include <string>
#include <string_view>

// Small wrappers over libsodium and OpenSSL. Every function either succeeds or throws.
namespace tovik::util {

[[nodiscard]] std::string random_bytes(std::size_t n);
// Random text of URL-safe Base64 characters carrying `bytes` random bytes.
[[nodiscard]] std::string random_token(std::size_t bytes = 32);
// A random decimal code of `digits` digits (leading zeros kept).
[[nodiscard]] std::string random_digits(int digits);

[[nodiscard]] std::string sha256_hex(std::string_view data);
[[nodiscard]] std::string hmac_sha256_hex(std::string_view key, std::string_view data);
[[nodiscard]] std::string pbkdf2_sha256(std::string_view password, std::string_view salt,
                                        int iterations, std::size_t out_len);

[[nodiscard]] std::string hex_encode(std::string_view bytes);
[[nodiscard]] std::string base64_encode(std::string_view bytes);
[[nodiscard]] std::string base64url_encode(std::string_view bytes);
// Throws std::invalid_argument on malformed input.
[[nodiscard]] std::string base64url_decode(std::string_view text);
[[nodiscard]] std::string base64_decode(std::string_view text);

// Constant-time comparison of two texts.
[[nodiscard]] bool equal_secret(std::string_view a, std::string_view b);

// Argon2id password hashing. `fast` uses the library's minimum cost; it is only for test
// stores and must be asked for explicitly.
[[nodiscard]] std::string hash_password(std::string_view password, bool fast);
[[nodiscard]] bool verify_password(std::string_view hash, std::string_view password);

}  // namespace tovik::util
