#pragma once
// Packs a folder tree into one archive.
#include <string>

namespace zs::zip {

// True when every entry was added and the archive closed without error. On a
// failure the archive keeps what was added so far. Entry names begin with two
// slashes: "//audio.mp4", "//sub/", "//sub//file". When `reason` is given
// it then names the entry that failed and the system's reason.
bool zip_folder(const std::string& source_folder, const std::string& archive_path,
                std::string* reason = nullptr);

} // namespace zs::zip
