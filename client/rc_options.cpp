// The zebrix and orvanta subcommands' arguments: the command (code or name),
// its options, their help, and the checks made before anything is sent.
#include "client/rc_options.hpp"

#include "platform/files.hpp"
#include "platform/output_file.hpp"

#include <cstdlib>

namespace zs::client {
namespace {

bool parse_number(const std::string& text, std::int32_t& out) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    out = static_cast<std::int32_t>(value);
    return true;
}

bool option_with_value(const std::string& option) {
    for (const char* name :
         {"--first", "--second", "--text", "--want", "--events", "--out", "--action"}) {
        if (option == name) {
            return true;
        }
    }
    return false;
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
        if (!option_with_value(arg)) {
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

std::string rc_options_help(const char* out_default) {
    return std::string("Options:\n"
                       "  --first N     the command's first argument (param1; default 0)\n"
                       "  --second N    the command's second argument (param2; default 0)\n"
                       "  --text T      send T as an ITEM_DATA item, the program's input text\n"
                       "  --want NAME   ask for file NAME back in an ITEM_FILE item; repeatable;\n"
                       "                plain names only\n"
                       "  --events N    after the answer, wait for N events and print them\n"
                       "                (each wait is bounded by --timeout); --events 0 prints\n"
                       "                events until Ctrl-C\n"
                       "  --out DIR     save the returned files in DIR (default: ") +
           out_default +
           ")\n"
           "  --force       let saved files replace existing ones; without it an existing\n"
           "                file is an error before anything is sent\n"
           "  --action N    the request's action word (default 1, a command; 0 ends the\n"
           "                session at once; any other value is answered with error 3)\n"
           "  -h, --help    show this help\n\n"
           "Output: one line per frame, \"reply id=I action=A status=S value=V\" or\n"
           "\"event id=I action=A status=S value=V\", then its items (data, error, file);\n"
           "with --json an array of {\"kind\",\"request_id\",\"action\",\"status\",\"value\",\n"
           "\"items\"}, errors {\"error\",\"status\"}. Binary data is shown in hexadecimal.\n"
           "A file that cannot be saved where asked is kept in the temporary folder and\n"
           "the message names it.\n\n"
           "Exit status: 0 success; 1 an error answer, a file that could not be saved or a\n"
           "lost connection; 2 bad arguments; 3 the login failed or the program is held by\n"
           "another client. The command codes: docs/protocol.md.\n";
}

std::string rc_names_help(std::span<const rc_name> names) {
    std::string text = "Named commands:\n";
    for (const auto& n : names) {
        std::string shown = std::string(n.name) + (n.takes_number ? " N" : "");
        std::string code = std::to_string(n.code) + (n.takes_number ? " --first N" : "") +
                           (n.second != 0 ? " --second " + std::to_string(n.second) : "");
        shown.resize(std::max<std::size_t>(shown.size(), 12), ' ');
        text += "  " + shown + "  " + n.meaning + " (" + code + ")\n";
    }
    return text + "\n";
}

bool safe_file_name(const std::string& name) {
    return !name.empty() && name != "." && name.find("..") == std::string::npos &&
           name.find_first_of("/\\:") == std::string::npos;
}

bool check_save_targets(const rc_request& req, std::string& problem) {
    for (const auto& name : req.wanted) {
        if (!safe_file_name(name)) {
            continue; // the server leaves it out, nothing is saved
        }
        const std::string path = req.out_dir + name;
        std::string reason;
        if (!req.force && platform::file_exists(path)) {
            problem = "cannot save " + name + ": " + path + " exists (--force replaces it)";
            return false;
        }
        if (!platform::check_writable(path, platform::overwrite::allowed, reason)) {
            problem = "cannot save " + name + " as " + path + ": " + reason;
            return false;
        }
    }
    return true;
}

} // namespace zs::client
