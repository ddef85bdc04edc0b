#pragma once
// Every folder and fixed file path the drivers use, each written with the
// platform's one separator. Folders end in it.
#include "platform/files.hpp"

#include <functional>
#include <string>

namespace zs::core {

// The helper folder's guard against a second server of one installation.
inline constexpr char installation_lock_file[] = "ZebrixServer.lock";
// What setup installs beside the server (the guide as plain text).
inline constexpr char installed_uninstaller_file[] = "Uninstall.exe";
inline constexpr char installed_guide_file[] = "windows.txt";

class path_layout {
public:
    // From the executable's full path: the nearest ancestor folder whose
    // name begins with "ZebHelper" (any case) is the helper folder, its
    // parent the Zebrix folder; with none, the current folder serves.
    static path_layout from_executable(const std::string& exe_path, const std::string& cwd);

    // The Orvanta folder is asked for anew at each use: it follows the setting.
    void set_orvanta_folder_source(std::function<std::string()> source);

    const std::string& helper_dir() const { return helper_; }
    const std::string& zebrix_dir() const { return zebrix_; }
    std::string outputs_dir() const { return helper_ + "outputs" + sep; }
    std::string zebmini_dir() const { return zebrix_ + "ZebMini" + sep; }
    std::string zebw3_path() const { return zebrix_ + "zebw3.exe"; }
    std::string zebw_path() const { return zebrix_ + "zebw.exe"; }
    std::string zebrix_input_path() const { return zebrix_ + "zebinput.txt"; }
    std::string helper_input_path() const { return helper_ + "zebinput.txt"; }
    std::string helper_output_path() const { return helper_ + "zeboutput.txt"; }

    std::string orvanta_dir() const;
    // The Orvanta folder's exchange folder joined with a file name.
    std::string in_ov_helper(const std::string& name) const {
        return orvanta_dir() + "OvHelper" + sep + name;
    }
    std::string ov_input_path() const { return in_ov_helper("ovinput.txt"); }
    std::string ov_output_path() const { return in_ov_helper("ovoutput.txt"); }
    std::string ov_section_names_path() const { return in_ov_helper("SectionNames.Txt"); }
    std::string ov_track_names_path() const { return in_ov_helper("TrackNames.Txt"); }
    std::string orvanta_exe_path() const { return orvanta_dir() + "orvanta.exe"; }

    std::string in_helper(const std::string& name) const { return helper_ + name; }
    std::string in_orvanta(const std::string& name) const { return orvanta_dir() + name; }
    std::string in_zebmini(const std::string& name) const { return zebmini_dir() + name; }

private:
    static constexpr char sep = platform::path_separator;
    std::string helper_;
    std::string zebrix_;
    std::function<std::string()> orvanta_source_;
};

} // namespace zs::core
