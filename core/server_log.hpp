#pragma once
// The operator's log: one time-stamped line per event (service start and
// stop, configuration that cannot be read or saved, refused logins, failed
// jobs) on standard error and in "ZebrixServer.log" in the helper folder.
// Trace lines stay apart from it.
#include <cstdint>
#include <string>

namespace zs::core::server_log {

inline constexpr char file_name[] = "ZebrixServer.log";
inline constexpr char old_file_name[] = "ZebrixServer.log.1"; // the one copy kept
inline constexpr std::uint64_t rotate_bytes = 1024 * 1024;

// From now on lines also go to the log file in `folder` (ends in the
// separator); a file that reaches `rotate_at` bytes becomes the old copy.
void open(const std::string& folder, std::uint64_t rotate_at = rotate_bytes);
// Lines go to standard error only again.
void close();

// Writes one line; line ends and other control bytes in `text` become
// spaces, trailing ones are dropped.
void line(const std::string& text);

} // namespace zs::core::server_log
