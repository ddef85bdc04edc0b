#include "tests/support/temp_folder.hpp"

#include "platform/files.hpp"

#include <cstdlib>
#include <stdexcept>

namespace zs::test {

temp_folder::temp_folder(const std::string& tag) {
    std::string pattern = "/tmp/" + tag + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern + "/";
}

temp_folder::~temp_folder() { platform::delete_folder_content(path_, true); }

} // namespace zs::test
