#pragma once
// The parts of the zebrix and orvanta subcommands' help that both share.
#include "client/rc_options.hpp"

#include <span>
#include <string>

namespace zs::client {

// The option lines of both subcommands' help; the --out line differs.
std::string rc_options_help(const char* out_default);
// The lines of a program's named commands, for its help.
std::string rc_names_help(std::span<const rc_name> names);

} // namespace zs::client
