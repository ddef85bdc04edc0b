#include "client/rc_options.hpp"

#include "client/commands.hpp"
#include "client/whole_number.hpp"

namespace zs::client {
namespace {

bool parse_number(const std::string& text, std::int32_t& out) {
    const auto value = parse_whole(text, INT32_MIN, INT32_MAX);
    if (!value) {
        return false;
    }
    out = static_cast<std::int32_t>(*value);
    return true;
}

// Applies one option with its value; false when the value is bad.
bool apply_option(const std::string& option, const std::string& value, rc_request& r,
                  std::string& error) {
    std::int32_t n = 0;
    std::int32_t* number = option == "--first"    ? &r.first
                           : option == "--second" ? &r.second
                           : option == "--action" ? &r.action
                                                  : nullptr;
    if (number || option == "--events") {
        if (!parse_number(value, n) || (option == "--events" && n < 0)) {
            error = "bad value for " + option + ": '" + value + "'";
            return false;
        }
        if (number) {
            *number = n;
        } else {
            r.events = n;
            r.follow = n == 0;
        }
    } else if (option == "--text") {
        r.has_text = true;
        r.text = value;
    } else if (option == "--want") {
        r.wanted.push_back(value);
    } else if (option == "--out") {
        r.has_out = true;
        r.out_dir = value.empty() || value.back() == '/' ? value : value + "/";
    }
    return true;
}

// The command: a code, or a name (with its number when it takes one).
// Returns how many arguments it used, 0 when it is bad.
std::size_t parse_command(const std::vector<std::string>& args, rc_request& r, std::string& error,
                          std::span<const rc_name> names) {
    for (const auto& n : names) {
        if (args[0] != n.name) {
            continue;
        }
        r.code = n.code;
        r.second = n.second;
        if (!n.takes_number) {
            return 1;
        }
        if (args.size() < 2 || !parse_number(args[1], r.first)) {
            error = std::string("'") + n.name + "' needs a number";
            return 0;
        }
        return 2;
    }
    if (!parse_number(args[0], r.code)) {
        error = "bad command code '" + args[0] + "'";
        return 0;
    }
    return 1;
}

} // namespace

bool rc_option_with_value(const std::string& option) {
    for (const char* name :
         {"--first", "--second", "--text", "--want", "--events", "--out", "--action"}) {
        if (option == name) {
            return true;
        }
    }
    return false;
}

rc_parse parse_rc_request(const std::vector<std::string>& args, rc_request& r, std::string& error,
                          std::span<const rc_name> names) {
    if (!args.empty() && is_help(args[0])) {
        return rc_parse::help;
    }
    if (args.empty()) {
        error = "missing the command code";
        return rc_parse::bad;
    }
    const std::size_t used = parse_command(args, r, error, names);
    if (used == 0) {
        return rc_parse::bad;
    }
    for (std::size_t i = used; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (is_help(arg)) {
            return rc_parse::help;
        }
        if (arg == "--force") {
            r.force = true;
            continue;
        }
        if (!rc_option_with_value(arg)) {
            error = arg.rfind("-", 0) == 0 ? "unknown option " + arg
                                           : "unexpected argument '" + arg + "'";
            return rc_parse::bad;
        }
        if (i + 1 >= args.size()) {
            error = "option " + arg + " needs a value";
            return rc_parse::bad;
        }
        if (!apply_option(arg, args[i + 1], r, error)) {
            return rc_parse::bad;
        }
        ++i;
    }
    return rc_parse::ok;
}

} // namespace zs::client
