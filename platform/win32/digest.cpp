#include "platform/digest.hpp"

#include <windows.h>
// after windows.h
#include <bcrypt.h>

namespace zs::platform {

std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 16> digest{};
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (::BCryptOpenAlgorithmProvider(&alg, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) {
        return digest;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (::BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        ::BCryptHashData(hash, const_cast<PUCHAR>(data.data()), static_cast<ULONG>(data.size()), 0);
        ::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(alg, 0);
    return digest;
}

bool random_bytes(std::span<std::uint8_t> out) {
    return ::BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()),
                             BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

bool equal_in_constant_time(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size()) {
        return false;
    }
    volatile std::uint8_t diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diff = diff | static_cast<std::uint8_t>(a[i] ^ b[i]);
    }
    return diff == 0;
}

} // namespace zs::platform
