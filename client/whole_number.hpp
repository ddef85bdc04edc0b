#pragma once
// The one parser of the numbers on the client's command line, in its
// environment and in its configuration file.
#include <optional>
#include <string>

namespace zs::client {

// A whole number in [low, high], as strtoll reads it (leading blanks and a
// sign allowed) and with nothing after it; empty for anything else,
// including a value too large for any integer type.
std::optional<long long> parse_whole(const std::string& text, long long low, long long high);

} // namespace zs::client
