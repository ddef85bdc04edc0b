// zebrix: take control of Zebrix, run one command, print its reply (files go
// to the current folder or --out DIR) and, with --events N, N program events.
#include "client/commands.hpp"
#include "platform/files.hpp"
#include "protocol/proto1_interface.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zs::client {
namespace {

struct zebrix_request {
    std::int32_t code = 0;
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::int32_t action = 1;
    bool has_text = false;
    std::string text;
    std::vector<std::string> wanted;
    int events = 0;
    std::string out_dir;
};

bool parse_number(const std::string& text, std::int32_t& out) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    out = static_cast<std::int32_t>(value);
    return true;
}

bool parse(const std::vector<std::string>& args, zebrix_request& r) {
    if (args.empty() || !parse_number(args[0], r.code)) {
        return false;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (i + 1 >= args.size()) {
            return false;
        }
        const std::string& option = args[i];
        const std::string& value = args[++i];
        std::int32_t n = 0;
        if (option == "--first" && parse_number(value, n)) {
            r.first = n;
        } else if (option == "--second" && parse_number(value, n)) {
            r.second = n;
        } else if (option == "--action" && parse_number(value, n)) {
            r.action = n;
        } else if (option == "--text") {
            r.has_text = true;
            r.text = value;
        } else if (option == "--want") {
            r.wanted.push_back(value);
        } else if (option == "--events" && parse_number(value, n) && n >= 0) {
            r.events = n;
        } else if (option == "--out") {
            r.out_dir = value.empty() || value.back() == '/' ? value : value + "/";
        } else {
            return false;
        }
    }
    return true;
}

// A name the server sends is written only inside the chosen folder.
bool safe_name(const std::string& name) {
    return !name.empty() && name != "." && name.find("..") == std::string::npos &&
           name.find_first_of("/\\:") == std::string::npos;
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
        if (!safe_name(f->name) || !platform::write_file(path, f->content)) {
            std::fprintf(stderr, "zebrix-client: cannot save file %s\n", f->name.c_str());
            ok = false;
            saved.push_back("");
        } else {
            saved.push_back(path);
        }
    }
    return ok;
}

void print_text_item(const char* type, const std::string& data) {
    const bool text = printable(data);
    std::printf("%s (%zu bytes):\n%s\n", type, data.size(),
                text ? data.c_str() : hex(data).c_str());
}

bool print_frame(const protocol::ZebResponse& r, const zebrix_request& req, bool json, bool first) {
    bool ok = true;
    if (json) {
        std::printf("%s{\"kind\":\"%s\",\"request_id\":%d,\"action\":%d,\"status\":%d,"
                    "\"value\":%d,\"items\":[",
                    first ? "" : ",", r.kind == protocol::MSG_EVENT ? "event" : "reply",
                    r.request_id, r.action, r.status, r.value);
    } else {
        std::printf("%s id=%d action=%d status=%d value=%d\n",
                    r.kind == protocol::MSG_EVENT ? "event" : "reply", r.request_id, r.action,
                    r.status, r.value);
    }
    bool first_item = true;
    for (const auto& item : r.items()) {
        const char* sep = first_item ? "" : ",";
        first_item = false;
        if (item.type == protocol::ITEM_FILE) {
            const auto& list = static_cast<const protocol::ZebFileList&>(*item.payload);
            std::vector<std::string> saved;
            ok = save_files(list, req.out_dir, saved) && ok;
            if (json) {
                std::printf("%s{\"type\":\"file\",\"files\":[", sep);
            }
            for (std::size_t i = 0; i < list.files.size(); ++i) {
                const auto& f = *list.files[i];
                if (json) {
                    std::printf("%s{\"name\":%s,\"size\":%zu,\"saved\":%s}", i ? "," : "",
                                json_quote(f.name).c_str(), f.content.size(),
                                json_quote(saved[i]).c_str());
                } else {
                    std::printf("file %s (%zu bytes)%s%s\n", f.name.c_str(), f.content.size(),
                                saved[i].empty() ? "" : " saved as ", saved[i].c_str());
                }
            }
            if (json) {
                std::printf("]}");
            }
            continue;
        }
        const auto& data = static_cast<const protocol::ZebRawData&>(*item.payload).data;
        const char* type = item.type == protocol::ITEM_ERROR ? "error" : "data";
        if (json) {
            const bool text = printable(data);
            std::printf("%s{\"type\":\"%s\",\"size\":%zu,\"%s\":%s}", sep, type, data.size(),
                        text ? "text" : "hex", json_quote(text ? data : hex(data)).c_str());
        } else {
            print_text_item(type, data);
        }
    }
    if (json) {
        std::printf("]}");
    }
    return ok;
}

int run_zebrix(const common_options& options, const std::vector<std::string>& args) {
    zebrix_request req;
    if (!parse(args, req)) {
        std::fprintf(stderr, "usage: zebrix-client zebrix <code> [--first N] [--second N] "
                             "[--text T] [--want NAME]... [--events N] [--out DIR] "
                             "[--action N]\n");
        return 2;
    }
    session s;
    server_info info;
    if (!open_session(s, options, info)) {
        return 3;
    }
    const auto greeting = s.choose_client_type(protocol::CLIENT_ZEBRIX_RC);
    const auto granted = greeting && *greeting == 1 ? s.read_word() : std::nullopt;
    if (!granted || *granted != 1) {
        std::fprintf(stderr, "zebrix-client: Zebrix is %s\n",
                     granted ? "held by another client" : "not offered by this server");
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
    bool reply_seen = false;
    int events_left = req.events;
    bool ok = true;
    bool first = true;
    if (options.json) {
        std::printf("[");
    }
    while (!reply_seen || events_left > 0) {
        const auto r = s.read_response();
        if (!r) {
            std::fprintf(stderr, "zebrix-client: %s\n", s.error().c_str());
            ok = false;
            break;
        }
        ok = print_frame(*r, req, options.json, first) && ok;
        first = false;
        if (r->kind == protocol::MSG_EVENT) {
            --events_left;
        } else {
            ok = ok && r->action == 1;
            reply_seen = true;
        }
    }
    if (options.json) {
        std::printf("]\n");
    }
    if (req.action != 0) {
        // End the session politely, so the controller is free at once.
        s.send_request({protocol::MSG_REQUEST, id + 1, 0, 0, 0, 0, 0});
        s.read_response();
    }
    // The controller is free once the server has closed the session.
    s.wait_closed();
    return ok ? 0 : 1;
}

const command_registration zebrix_command{
    "zebrix", run_zebrix,
    "zebrix <code> [--first N] [--second N] [--text T] [--want NAME]... [--events N]\n"
    "              [--out DIR] [--action N]\n"
    "                               run a Zebrix command, print the reply and events"};

} // namespace
} // namespace zs::client
