#pragma once
// A fresh folder under /tmp, deleted with its content at the end of a test.
#include <string>

namespace zs::test {

class temp_folder {
public:
    explicit temp_folder(const std::string& tag = "zs");
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& path() const { return path_; }  // ends in "/"
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

} // namespace zs::test
