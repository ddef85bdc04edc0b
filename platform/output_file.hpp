#pragma once
// Results that must not be lost: a target checked before the result is
// fetched, files written without overwriting unless asked, a rescue copy in
// the temporary folder when the target fails after all, and the system's
// reason with every failure. The path "-" is standard output.
#include <optional>
#include <string>

namespace zs::platform {

enum class overwrite { allowed, refused };

// The system's text for an error number (strerror).
std::string error_text(int code);

// Whether a file can be written at path: an existing writable regular file
// (not with refused), or a new name in a writable folder. On false, reason
// says why ("No such file or directory", "Permission denied", "File exists").
bool check_writable(const std::string& path, overwrite mode, std::string& reason);

// Writes data to path, or to standard output for "-". With refused an
// existing file is left alone and the result is false ("File exists").
bool write_output(const std::string& path, const std::string& data, overwrite mode,
                  std::string& reason);

// Reads a whole file; on false, reason says why.
bool read_input(const std::string& path, std::string& data, std::string& reason);

// Writes data to a new file in the temporary folder ($TMPDIR, else /tmp)
// whose name begins with name_hint; its path, or nothing with the reason.
std::optional<std::string> write_rescue_file(const std::string& name_hint, const std::string& data,
                                             std::string& reason);

} // namespace zs::platform
