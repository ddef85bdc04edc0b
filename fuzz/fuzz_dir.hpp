#pragma once
// A private scratch folder per fuzz target, made once per process.
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace zs::fuzz {

inline std::string scratch_dir(const char* name) {
    std::string pattern = std::string("/tmp/zs-fuzz-") + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    return pattern + "/";
}

} // namespace zs::fuzz
