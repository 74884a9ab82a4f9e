// The few cryptographic pieces the robot needs, from OpenSSL: SHA-256 of
// uploads and of the committee token, random tokens, and comparison in
// constant time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace yol::robot {

// Lower-case hex of the SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);
// `bytes` random bytes from the system's generator, as lower-case hex;
// throws std::runtime_error when the generator fails.
std::string RandomHex(std::size_t bytes);
// Equal texts, in a time that does not depend on where they differ.
bool SameSecret(std::string_view a, std::string_view b) noexcept;
// Whether the text is 64 lower-case hex digits (a SHA-256 as Sha256Hex writes it).
bool IsSha256Hex(std::string_view text) noexcept;

}  // namespace yol::robot
