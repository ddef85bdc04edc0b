#include "zip/zip_folder.hpp"

#include "platform/files.hpp"
#include "zip/zip_writer.hpp"

#include <utility>
#include <vector>

namespace zs::zip {

bool zip_folder(const std::string& source_folder, const std::string& archive_path) {
    auto writer = create_zip(archive_path);
    if (!writer) {
        return false;
    }
    const std::string sep(1, platform::path_separator);
    std::string root = source_folder;
    if (root.empty() || root.back() != platform::path_separator) {
        root += sep;
    }
    // Depth first, the folder added last is listed next. A folder's prefix ends
    // in the separator, so its entries read "//sub//name".
    std::vector<std::pair<std::string, std::string>> stack{{sep, root}};
    std::vector<platform::folder_entry> entries;
    while (!stack.empty()) {
        auto [prefix, folder] = std::move(stack.back());
        stack.pop_back();
        if (!platform::list_folder(folder, entries)) {
            close_zip(std::move(writer));
            return false;
        }
        for (const auto& item : entries) {
            const std::string name = prefix + sep + item.name;
            const std::string source = folder + item.name;
            const zip_result rc =
                item.is_folder ? writer->add_folder(name) : writer->add_file(name, source);
            if (rc != ZR_OK) {
                close_zip(std::move(writer));
                return false;
            }
            if (item.is_folder) {
                stack.emplace_back(name + sep, source + sep);
            }
        }
    }
    return close_zip(std::move(writer)) == ZR_OK;
}

} // namespace zs::zip
