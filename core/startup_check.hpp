#pragma once
// What the server checks before it serves: that it can write the helper
// folder, its outputs folder and the render input in the Zebrix folder, that
// its settings last, that it sits in a Zebrix folder at all, and whether
// setup asked for the window to show once. A problem is told once, in words
// a user can act on, and the server goes on serving what still works.
#include <string>
#include <vector>

namespace zs::core {

class path_layout;

// Made and removed again in each folder the check probes.
inline constexpr char probe_file_name[] = "ZebrixServer.write-check";
// Left by setup: the first start after it shows the window once.
inline constexpr char first_start_flag[] = "firststart.flag";

struct write_problem {
    std::string path;   // the folder or file that cannot be written
    std::string reason; // the system's words
    bool folder = true;
};

class startup_check {
public:
    // The folder is made when missing, and a file can be made and removed in
    // it; else its problem is kept.
    bool check_folder(const std::string& folder);
    // The file can be opened for writing without changing it (a missing one
    // is made and removed again); else its problem is kept.
    bool check_file(const std::string& path);
    // The Zebrix folder must hold zebw.exe, else nothing of Zebrix can work.
    void check_program(const std::string& program_path, const std::string& zebrix_folder);
    // config.txt that could not be saved; `existed` tells a first start,
    // where a new identity would be made at every start.
    void note_config(const std::string& save_failure, bool existed);
    // The log went elsewhere because the helper folder cannot be written.
    void note_log_file(const std::string& path) { log_file_ = path; }

    const std::vector<write_problem>& problems() const { return problems_; }
    bool fine() const;
    // The whole text for the log (one line each) and the message box.
    std::vector<std::string> report_lines() const;
    std::string report() const;
    // One short line for the main window's status text.
    std::string status_text() const;

private:
    std::vector<write_problem> problems_;
    std::string program_problem_;
    std::string config_problem_;
    std::string log_file_;
};

// The helper folder when it can be written, else `fallback` (made when
// missing), with the check told either way. Ends in the separator.
std::string choose_log_folder(startup_check& check, const std::string& helper,
                              const std::string& fallback);

// True (and the flag removed) when setup left the first-start flag.
bool take_first_start_flag(const std::string& helper);

} // namespace zs::core
