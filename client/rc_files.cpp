#include "client/rc_files.hpp"

#include "platform/files.hpp"
#include "platform/output_file.hpp"

#include <cstdio>

namespace zs::client {

bool safe_file_name(const std::string& name) {
    return !name.empty() && name != "." && name.find("..") == std::string::npos &&
           name.find_first_of("/\\:") == std::string::npos;
}

bool check_save_targets(const rc_request& req, std::string& problem) {
    for (const auto& name : req.wanted) {
        if (!safe_file_name(name)) {
            continue; // the server leaves it out, nothing is saved
        }
        const std::string path = req.out_dir + name;
        std::string reason;
        if (!req.force && platform::file_exists(path)) {
            problem = "cannot save " + name + ": " + path + " exists (--force replaces it)";
            return false;
        }
        if (!platform::check_writable(path, platform::overwrite::allowed, reason)) {
            problem = "cannot save " + name + " as " + path + ": " + reason;
            return false;
        }
    }
    return true;
}

bool save_returned_file(const protocol::ZebFile& f, const rc_request& req, std::string& saved) {
    saved.clear();
    if (!safe_file_name(f.name)) {
        std::fprintf(stderr, "zebrix-client: not saved: '%s' is not a plain file name\n",
                     f.name.c_str());
        return false;
    }
    const std::string path = req.out_dir + f.name;
    const auto mode = req.force ? platform::overwrite::allowed : platform::overwrite::refused;
    std::string reason;
    if (platform::write_output(path, f.content, mode, reason)) {
        saved = path;
        return true;
    }
    std::string rescue_reason;
    const auto rescue = platform::write_rescue_file("zebrix-" + f.name, f.content, rescue_reason);
    std::fprintf(stderr, "zebrix-client: cannot save %s as %s: %s; %s%s\n", f.name.c_str(),
                 path.c_str(), reason.c_str(),
                 rescue ? "saved as " : "lost: ", rescue ? rescue->c_str() : rescue_reason.c_str());
    saved = rescue.value_or("");
    return false;
}

} // namespace zs::client
