#include "zip/zip_folder.hpp"

#include "platform/files.hpp"
#include "zip/zip_writer.hpp"

#include <system_error>
#include <utility>
#include <vector>

namespace zs::zip {

namespace {

bool failed(std::string* reason, const std::string& what, zip_result code,
            const std::error_code& why) {
    if (reason != nullptr) {
        *reason = what + ": " + zip_result_text(code) + (why ? " (" + why.message() + ")" : "");
    }
    return false;
}

} // namespace

bool zip_folder(const std::string& source_folder, const std::string& archive_path,
                std::string* reason) {
    zip_result created = ZR_OK;
    std::error_code why;
    auto writer = create_zip(archive_path, &created, &why);
    if (!writer) {
        return failed(reason, "the archive", created, why);
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
        if (!platform::list_folder(folder, entries, &why)) {
            close_zip(std::move(writer));
            return failed(reason, stored_entry_name(prefix, true), ZR_READ, why);
        }
        for (const auto& item : entries) {
            const std::string name = prefix + sep + item.name;
            const std::string source = folder + item.name;
            const zip_result rc =
                item.is_folder ? writer->add_folder(name) : writer->add_file(name, source);
            if (rc != ZR_OK) {
                why = writer->system_error();
                close_zip(std::move(writer));
                return failed(reason, stored_entry_name(name, item.is_folder), rc, why);
            }
            if (item.is_folder) {
                stack.emplace_back(name + sep, source + sep);
            }
        }
    }
    why.clear();
    const zip_result closed = writer->close();
    why = writer->system_error();
    return closed == ZR_OK || failed(reason, "the archive", closed, why);
}

} // namespace zs::zip
