#include "tests/support/temp_folder.hpp"

#include "platform/files.hpp"

#include <filesystem>
#include <random>
#include <stdexcept>

namespace zs::test {

temp_folder::temp_folder(const std::string& tag) {
    namespace fs = std::filesystem;
    std::random_device seed;
    std::mt19937_64 pick(seed());
    std::error_code ec;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path p =
            fs::temp_directory_path(ec) / (tag + "-" + std::to_string(pick() % 1000000000));
        if (!ec && fs::create_directory(p, ec) && !ec) {
            path_ = p.string() + platform::path_separator;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder: " + ec.message());
}

temp_folder::~temp_folder() {
    platform::delete_folder_content(path_, true);
}

} // namespace zs::test
