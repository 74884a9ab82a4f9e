#include "Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <vector>

namespace yol::robot {
namespace {

std::string Hex(const unsigned char* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(n * 2, '0');
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return out;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    return Hex(digest, size);
}

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1)
        throw std::runtime_error("the system's random generator failed");
    return Hex(buffer.data(), buffer.size());
}

bool SameSecret(std::string_view a, std::string_view b) noexcept {
    // Hashes of both: equal lengths, so the comparison's time says nothing
    // about either text.
    unsigned char x[EVP_MAX_MD_SIZE], y[EVP_MAX_MD_SIZE];
    unsigned int nx = 0, ny = 0;
    if (EVP_Digest(a.data(), a.size(), x, &nx, EVP_sha256(), nullptr) != 1) return false;
    if (EVP_Digest(b.data(), b.size(), y, &ny, EVP_sha256(), nullptr) != 1) return false;
    return nx == ny && CRYPTO_memcmp(x, y, nx) == 0;
}

bool IsSha256Hex(std::string_view text) noexcept {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace yol::robot
