#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvelo::secrets {

// The few cryptographic operations the web remote's access control needs, all through
// libsodium. Thread-safe.

// A salted Argon2id hash in libsodium's self-describing text form, made with its
// interactive limits (a fraction of a second, 64 MiB). Nothing when hashing failed (memory).
std::optional<std::string> hashPassword(std::string_view password);
// Whether the password matches a hash made by hashPassword(), in constant time.
bool verifyPassword(std::string_view hash, std::string_view password);

// `bytes` random bytes as URL-safe base64 without padding (a cookie value or token).
std::string randomToken(std::size_t bytes = 32);
// A fast unkeyed digest (BLAKE2b-256, hex) of a high-entropy secret, so stores and lookup
// tables hold digests instead of the secrets themselves.
std::string digest(std::string_view secret);
// Equality that takes the same time wherever the texts differ.
bool equalInConstantTime(std::string_view a, std::string_view b);

} // namespace orvelo::secrets
