#pragma once
// The terminal: whether a standard stream is one, and reading a secret from it.
#include <optional>
#include <string>

namespace zs::platform {

enum class standard_stream { input, output, error };

bool is_terminal(standard_stream stream);

// One line from standard input, without its line end. On a terminal the
// prompt goes to standard error and the typed text is not echoed; from a
// pipe or file the line is read as it stands. Empty at end of input.
std::optional<std::string> read_secret_line(const std::string& prompt);

// One line of standard input without its LF or CR LF; nothing at end of input.
std::optional<std::string> read_input_line();

} // namespace zs::platform
