#include "core/path_layout.hpp"

#include "core/text.hpp"
#include "platform/files.hpp"

namespace zs::core {

namespace {

constexpr char sep = platform::path_separator;
constexpr std::size_t max_path_units = 4095;

bool begins_with_helper_name(const std::string& name) {
    static const std::string wanted = "zebhelper";
    return name.size() >= wanted.size() &&
           iequal_ascii(std::string_view(name).substr(0, wanted.size()), wanted);
}

std::string with_separator(std::string folder) {
    if ((folder.empty() || folder.back() != sep) && folder.size() < max_path_units) {
        folder += sep;
    }
    return folder;
}

std::string cut_at_last_separator(const std::string& path) {
    const auto at = path.rfind(sep);
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

} // namespace

path_layout path_layout::from_executable(const std::string& exe_path, const std::string& cwd) {
    path_layout layout;
    std::string folder = cut_at_last_separator(exe_path);
    std::string helper;
    bool found = false;
    while (!folder.empty()) {
        const auto at = folder.rfind(sep);
        const std::string last = at == std::string::npos ? folder : folder.substr(at + 1);
        if (begins_with_helper_name(last)) {
            helper = folder;
            found = true;
            break;
        }
        if (at == std::string::npos) {
            break;
        }
        folder = folder.substr(0, at);
    }
    if (!found) {
        helper = cwd;
        while (helper.size() > 1 && helper.back() == sep) {
            helper.pop_back();
        }
    }
    layout.zebrix_ = with_separator(cut_at_last_separator(helper));
    layout.helper_ = with_separator(helper);
    return layout;
}

void path_layout::set_orvanta_folder_source(std::function<std::string()> source) {
    orvanta_source_ = std::move(source);
}

std::string path_layout::orvanta_dir() const {
    return orvanta_source_ ? orvanta_source_() : std::string();
}

} // namespace zs::core
