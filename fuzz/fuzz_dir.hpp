#pragma once
// A private scratch folder per fuzz target, made once per process and
// removed when the process exits.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace zs::fuzz {

inline std::vector<std::string>& scratch_dirs() {
    static std::vector<std::string> dirs;
    return dirs;
}

inline std::string scratch_dir(const char* name) {
    std::string pattern = std::string("/tmp/zs-fuzz-") + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    if (scratch_dirs().empty()) {
        std::atexit([] {
            for (const auto& dir : scratch_dirs()) {
                std::error_code ec;
                std::filesystem::remove_all(dir, ec);
            }
        });
    }
    scratch_dirs().push_back(pattern);
    return pattern + "/";
}

} // namespace zs::fuzz
