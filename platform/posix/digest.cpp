#include "platform/digest.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace zs::platform {

std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 16> digest{};
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_md5(), nullptr);
    return digest;
}

bool random_bytes(std::span<std::uint8_t> out) {
    return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

bool equal_in_constant_time(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace zs::platform
