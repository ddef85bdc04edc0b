#include "core/startup_check.hpp"

#include "platform/files.hpp"

namespace zs::core {

namespace {

// The system's words without the full stop and line end some systems add,
// so the sentence can go on.
std::string reason_text(const std::error_code& why) {
    std::string text = why.message();
    while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == '\r' ||
                             text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(why.value()) : text;
}

std::string without_separator(std::string path) {
    while (path.size() > 1 && path.back() == platform::path_separator) {
        path.pop_back();
    }
    return path;
}

std::string last_name(const std::string& path) {
    const std::string plain = without_separator(path);
    const auto at = plain.rfind(platform::path_separator);
    return at == std::string::npos ? plain : plain.substr(at + 1);
}

#ifdef _WIN32
constexpr char remedy_folder[] = "Run setup again, or give Users write access to that folder.";
constexpr char remedy_file[] = "Run setup again, or give Users write access to that file.";
#else
constexpr char remedy_folder[] = "Give the user who runs the server write access to that folder.";
constexpr char remedy_file[] = "Give the user who runs the server write access to that file.";
#endif

} // namespace

bool startup_check::check_folder(const std::string& folder) {
    const std::string probe = folder + probe_file_name;
    std::error_code why;
    if (platform::make_folders(folder, &why) &&
        platform::write_file(probe, std::string(), false, &why) &&
        platform::remove_file(probe, &why)) {
        return true;
    }
    problems_.push_back({without_separator(folder), reason_text(why), true});
    return false;
}

bool startup_check::check_file(const std::string& path) {
    const bool existed = platform::file_exists(path);
    std::error_code why;
    // Appending nothing opens the file for writing and leaves it as it is.
    if (platform::append_file(path, std::string(), &why) &&
        (existed || platform::remove_file(path, &why))) {
        return true;
    }
    problems_.push_back({path, reason_text(why), false});
    return false;
}

void startup_check::check_program(const std::string& program_path,
                                  const std::string& zebrix_folder) {
    if (platform::file_exists(program_path)) {
        return;
    }
    program_problem_ = "There is no " + last_name(program_path) + " in " +
                       without_separator(zebrix_folder) +
                       ", so neither Zebrix remote control nor render jobs can work. The server "
                       "belongs in the ZebHelper folder inside the Zebrix folder: install it with "
                       "setup, or unpack it there.";
}

void startup_check::note_config(const std::string& save_failure, bool existed) {
    if (save_failure.empty()) {
        return;
    }
    config_problem_ =
        existed ? save_failure
                : save_failure + " Until config.txt can be written, this server gets a new "
                                 "identity at every start and runs with the factory password, so "
                                 "password checking is off.";
}

bool startup_check::fine() const {
    return problems_.empty() && program_problem_.empty() && config_problem_.empty();
}

std::vector<std::string> startup_check::report_lines() const {
    std::vector<std::string> lines;
    if (!program_problem_.empty()) {
        lines.push_back(program_problem_);
    }
    for (const auto& p : problems_) {
        lines.push_back("Cannot write to " + p.path + ": " + p.reason + ". " +
                        (p.folder ? remedy_folder : remedy_file));
    }
    if (!config_problem_.empty()) {
        lines.push_back(config_problem_);
    }
    if (!log_file_.empty()) {
        lines.push_back("The log is written to " + log_file_ + " instead.");
    }
    return lines;
}

std::string startup_check::report() const {
    std::string text;
    for (const auto& line : report_lines()) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

std::string startup_check::status_text() const {
    if (!program_problem_.empty()) {
        return "Not in a Zebrix folder (no zebw.exe)";
    }
    std::string names;
    for (const auto& p : problems_) {
        names += (names.empty() ? "" : ", ") + last_name(p.path);
    }
    if (!names.empty()) {
        return "Cannot write to " + names;
    }
    return config_problem_.empty() ? std::string() : "Settings cannot be saved";
}

std::string choose_log_folder(startup_check& check, const std::string& helper,
                              const std::string& fallback) {
    if (check.check_folder(helper) || fallback.empty()) {
        return helper;
    }
    if (!platform::make_folders(fallback)) {
        return std::string();
    }
    return fallback;
}

bool take_first_start_flag(const std::string& helper) {
    const std::string flag = helper + first_start_flag;
    if (!platform::file_exists(flag)) {
        return false;
    }
    platform::remove_file(flag); // a flag that stays shows the window again: no harm
    return true;
}

} // namespace zs::core
