#include "client/rc_options.hpp"

#include "platform/files.hpp"
#include "protocol/proto1_interface.hpp"

#include <cstdio>
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

bool known_option(const std::string& option) {
    for (const char* name :
         {"--first", "--second", "--text", "--want", "--events", "--out", "--action"}) {
        if (option == name) {
            return true;
        }
    }
    return false;
}

// Applies one option with its value; false when the option is unknown or the value bad.
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

bool printable(const std::string& bytes) {
    for (const unsigned char c : bytes) {
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') {
            return false;
        }
    }
    return true;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Writes the reply's files; false when one could not be written.
bool save_files(const protocol::ZebFileList& list, const std::string& dir,
                std::vector<std::string>& saved) {
    bool ok = true;
    for (const auto& f : list.files) {
        const std::string path = dir + f->name;
        if (!safe_file_name(f->name) || !platform::write_file(path, f->content)) {
            std::fprintf(stderr, "zebrix-client: cannot save file %s\n", f->name.c_str());
            ok = false;
            saved.push_back("");
        } else {
            saved.push_back(path);
        }
    }
    return ok;
}

// One file item: saved (name, size, where) or shown (name, size, content).
bool print_files(const protocol::ZebFileList& list, const rc_request& req, bool save, bool json,
                 const char* sep) {
    std::vector<std::string> saved;
    const bool ok = !save || save_files(list, req.out_dir, saved);
    if (json) {
        std::printf("%s{\"type\":\"file\",\"files\":[", sep);
    }
    for (std::size_t i = 0; i < list.files.size(); ++i) {
        const auto& f = *list.files[i];
        if (json && save) {
            std::printf("%s{\"name\":%s,\"size\":%zu,\"saved\":%s}", i ? "," : "",
                        json_quote(f.name).c_str(), f.content.size(), json_quote(saved[i]).c_str());
        } else if (json) {
            std::printf("%s{\"name\":%s,\"content\":%s,\"size\":%zu}", i ? "," : "",
                        json_quote(f.name).c_str(), json_quote(f.content).c_str(),
                        f.content.size());
        } else if (save) {
            std::printf("file %s (%zu bytes)%s%s\n", f.name.c_str(), f.content.size(),
                        saved[i].empty() ? "" : " saved as ", saved[i].c_str());
        } else {
            std::printf("file %s (%zu bytes):\n%s\n", f.name.c_str(), f.content.size(),
                        f.content.c_str());
        }
    }
    if (json) {
        std::printf("]}");
    }
    return ok;
}

bool take_control(session& s, const rc_program& program) {
    const auto greeting = s.choose_client_type(program.client_type);
    const auto granted = greeting && *greeting == 1 ? s.read_word() : std::nullopt;
    if (!granted || *granted != 1) {
        std::fprintf(stderr, "zebrix-client: %s is %s\n", program.title,
                     granted ? "held by another client" : "not offered by this server");
        return false;
    }
    return true;
}

} // namespace

rc_parse parse_rc_request(const std::vector<std::string>& args, rc_request& r, std::string& error) {
    if (!args.empty() && is_help(args[0])) {
        return rc_parse::help;
    }
    if (args.empty()) {
        error = "missing the command code";
        return rc_parse::bad;
    }
    if (!parse_number(args[0], r.code)) {
        error = "bad command code '" + args[0] + "'";
        return rc_parse::bad;
    }
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (is_help(args[i])) {
            return rc_parse::help;
        }
        if (!known_option(args[i])) {
            error = args[i].rfind("-", 0) == 0 ? "unknown option " + args[i]
                                               : "unexpected argument '" + args[i] + "'";
            return rc_parse::bad;
        }
        if (i + 1 >= args.size()) {
            error = "option " + args[i] + " needs a value";
            return rc_parse::bad;
        }
        if (!apply_option(args[i], args[i + 1], r, error)) {
            return rc_parse::bad;
        }
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
                       "                (default 0; each wait is bounded by --timeout)\n"
                       "  --out DIR     save the returned files in DIR (default: ") +
           out_default +
           ")\n"
           "  --action N    the request's action word (default 1, a command; 0 ends the\n"
           "                session at once; any other value is answered with error 3)\n"
           "  -h, --help    show this help\n\n"
           "Output: one line per frame, \"reply id=I action=A status=S value=V\" or\n"
           "\"event id=I action=A status=S value=V\", then its items (data, error, file);\n"
           "with --json an array of {\"kind\",\"request_id\",\"action\",\"status\",\"value\",\n"
           "\"items\"}. Binary data is shown in hexadecimal.\n\n"
           "Exit status: 0 success; 1 an error answer, a file that could not be saved or a\n"
           "lost connection; 2 bad arguments; 3 the login failed or the program is held by\n"
           "another client. The command codes: docs/protocol.md.\n";
}

bool safe_file_name(const std::string& name) {
    return !name.empty() && name != "." && name.find("..") == std::string::npos &&
           name.find_first_of("/\\:") == std::string::npos;
}

bool print_rc_frame(const protocol::ZebResponse& r, const rc_request& req, bool save, bool json,
                    bool first) {
    const char* kind = r.kind == protocol::MSG_EVENT ? "event" : "reply";
    if (json) {
        std::printf("%s{\"kind\":\"%s\",\"request_id\":%d,\"action\":%d,\"status\":%d,"
                    "\"value\":%d,\"items\":[",
                    first ? "" : ",", kind, r.request_id, r.action, r.status, r.value);
    } else {
        std::printf("%s id=%d action=%d status=%d value=%d\n", kind, r.request_id, r.action,
                    r.status, r.value);
    }
    bool ok = true;
    bool first_item = true;
    for (const auto& item : r.items()) {
        const char* sep = first_item ? "" : ",";
        first_item = false;
        if (item.type == protocol::ITEM_FILE) {
            const auto& list = static_cast<const protocol::ZebFileList&>(*item.payload);
            ok = print_files(list, req, save, json, sep) && ok;
            continue;
        }
        const auto& data = static_cast<const protocol::ZebRawData&>(*item.payload).data;
        const char* type = item.type == protocol::ITEM_ERROR ? "error" : "data";
        const bool text = printable(data);
        if (json) {
            std::printf("%s{\"type\":\"%s\",\"size\":%zu,\"%s\":%s}", sep, type, data.size(),
                        text ? "text" : "hex", json_quote(text ? data : hex(data)).c_str());
        } else {
            std::printf("%s (%zu bytes):\n%s\n", type, data.size(),
                        text ? data.c_str() : hex(data).c_str());
        }
    }
    if (json) {
        std::printf("]}");
    }
    return ok;
}

int run_rc(const rc_program& program, const common_options& options,
           const std::vector<std::string>& args) {
    rc_request req;
    std::string error;
    switch (parse_rc_request(args, req, error)) {
    case rc_parse::help:
        std::fputs(program.help, stdout);
        return 0;
    case rc_parse::bad:
        return usage_error(program.command, error);
    case rc_parse::ok:
        break;
    }
    session s;
    server_info info;
    if (!open_session(s, options, info) || !take_control(s, program)) {
        return 3;
    }
    protocol::item_list items;
    if (req.has_text) {
        items.add_data(protocol::ITEM_DATA, req.text);
    }
    if (!req.wanted.empty()) {
        items.add_file_list()->names = req.wanted;
    }
    constexpr std::int32_t id = 1;
    if (!s.send_request({protocol::MSG_REQUEST, id, req.action, req.code, req.first, req.second, 0},
                        items.empty() ? nullptr : &items)) {
        std::fprintf(stderr, "zebrix-client: %s\n", s.error().c_str());
        return 3;
    }
    const bool save = program.save_by_default || req.has_out;
    int answers_left = program.answers(req);
    int events_left = req.events;
    bool ok = true;
    bool first = true;
    if (options.json) {
        std::printf("[");
    }
    while (answers_left > 0 || events_left > 0) {
        const auto r = s.read_response();
        if (!r) {
            std::fprintf(stderr, "zebrix-client: %s\n", s.error().c_str());
            ok = false;
            break;
        }
        ok = print_rc_frame(*r, req, save, options.json, first) && ok;
        first = false;
        if (r->kind == protocol::MSG_EVENT) {
            --events_left;
        } else {
            ok = ok && r->action == 1;
            --answers_left;
        }
    }
    if (options.json) {
        std::printf("]\n");
    }
    if (req.action != 0) {
        // End the session politely, so the program is free at once.
        if (s.send_request({protocol::MSG_REQUEST, id + 1, 0, 0, 0, 0, 0})) {
            s.read_response();
        }
    }
    // The program is free for the next client once the server has closed the session.
    s.wait_closed();
    return ok ? 0 : 1;
}

} // namespace zs::client
