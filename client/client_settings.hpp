#pragma once
// Where the common options come from besides the command line, in this
// order of precedence: the environment (ZEBRIX_TCP_PORT, ZEBRIX_UDP_PORT,
// ZEBRIX_PASSWORD), then the configuration file
// ($XDG_CONFIG_HOME/zebrix-client/config, else ~/.config/zebrix-client/config),
// then the defaults. The file holds "key = value" lines with the keys host,
// port, udp-port, password and timeout; '#' begins a comment line.
#include "client/commands.hpp"

#include <string>
#include <vector>

namespace zs::client {

// The largest --timeout, wherever it is set: a day.
inline constexpr long long max_timeout_ms = 24LL * 3600 * 1000;

// The configuration file's path; empty when there is no home folder.
std::string config_path();

// Applies the file's lines to options; each problem (unknown key, bad value,
// line without '=') is added as "LINE: what".
void apply_config_text(const std::string& text, common_options& options,
                       std::vector<std::string>& problems);

// Applies the environment's values; a variable that is not a valid value
// is a problem as well.
void apply_environment(common_options& options, std::vector<std::string>& problems);

// The password as the server stores it and compares it: ASCII letters in
// lower case, at most 64 bytes (the server's Options dialog does the same).
std::string stored_password(const std::string& typed);

} // namespace zs::client
