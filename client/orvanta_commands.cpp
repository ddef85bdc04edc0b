// orvanta: take control of Orvanta, run one command and print its replies and
// the program's events.
#include "client/commands.hpp"
#include "protocol/proto1_interface.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zs::client {
namespace {

struct orvanta_request {
    std::int32_t code = 0;
    std::int32_t first = 0;
    std::int32_t second = 0;
    bool has_text = false;
    std::string text;
    std::vector<std::string> wanted;
    int events = 0;
};

bool parse_int(const std::string& text, std::int32_t& out) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    out = static_cast<std::int32_t>(value);
    return true;
}

bool parse_request(const std::vector<std::string>& args, orvanta_request& r) {
    if (args.empty() || !parse_int(args[0], r.code)) {
        return false;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (i + 1 >= args.size()) {
            return false;
        }
        const std::string& option = args[i];
        const std::string& value = args[++i];
        std::int32_t n = 0;
        if (option == "--first" && parse_int(value, n)) {
            r.first = n;
        } else if (option == "--second" && parse_int(value, n)) {
            r.second = n;
        } else if (option == "--text") {
            r.has_text = true;
            r.text = value;
        } else if (option == "--want") {
            r.wanted.push_back(value);
        } else if (option == "--events" && parse_int(value, n) && n >= 0) {
            r.events = n;
        } else {
            return false;
        }
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

void print_frame(const protocol::ZebResponse& r, bool json, bool first) {
    if (json) {
        std::printf("%s{\"kind\":%d,\"request_id\":%d,\"action\":%d,\"status\":%d,\"value\":%d,"
                    "\"items\":[",
                    first ? "" : ",", r.kind, r.request_id, r.action, r.status, r.value);
    } else {
        std::printf("%s id=%d action=%d status=%d value=%d\n", r.kind == 1 ? "event" : "reply",
                    r.request_id, r.action, r.status, r.value);
    }
    bool first_item = true;
    for (const auto& item : r.items()) {
        const char* sep = first_item ? "" : ",";
        first_item = false;
        if (item.type == protocol::ITEM_FILE) {
            const auto* list = static_cast<const protocol::ZebFileList*>(item.payload.get());
            if (json) {
                std::printf("%s{\"type\":\"file\",\"files\":[", sep);
            }
            for (std::size_t i = 0; i < list->files.size(); ++i) {
                const auto& f = *list->files[i];
                if (json) {
                    std::printf("%s{\"name\":%s,\"content\":%s}", i ? "," : "",
                                json_quote(f.name).c_str(), json_quote(f.content).c_str());
                } else {
                    std::printf("  file %s (%zu bytes)\n%s\n", f.name.c_str(), f.content.size(),
                                f.content.c_str());
                }
            }
            if (json) {
                std::printf("]}");
            }
            continue;
        }
        const auto& data = static_cast<const protocol::ZebRawData*>(item.payload.get())->data;
        const char* type = item.type == protocol::ITEM_ERROR ? "error" : "data";
        const bool text = printable(data);
        if (json) {
            std::printf("%s{\"type\":\"%s\",\"size\":%zu,\"%s\":%s}", sep, type, data.size(),
                        text ? "text" : "hex", json_quote(text ? data : hex(data)).c_str());
        } else {
            std::printf("  %s (%zu bytes)\n%s\n", type, data.size(),
                        text ? data.c_str() : hex(data).c_str());
        }
    }
    if (json) {
        std::printf("]}");
    }
}

int run_orvanta(const common_options& options, const std::vector<std::string>& args) {
    orvanta_request req;
    if (!parse_request(args, req)) {
        std::fprintf(stderr, "usage: zebrix-client orvanta <code> [--first N] [--second N] "
                             "[--text T] [--want NAME]... [--events N]\n");
        return 2;
    }
    session s;
    server_info info;
    if (!open_session(s, options, info)) {
        return 3;
    }
    const auto granted = s.choose_client_type(protocol::CLIENT_ORVANTA_RC);
    const auto attached = granted && *granted == 1 ? s.read_word() : std::nullopt;
    if (!attached || *attached != 1) {
        std::fprintf(stderr, "zebrix-client: Orvanta is %s\n",
                     attached ? "held by another client" : "not offered by this server");
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
    if (!s.send_request({protocol::MSG_REQUEST, id, 1, req.code, req.first, req.second, 0},
                        items.empty() ? nullptr : &items)) {
        std::fprintf(stderr, "zebrix-client: %s\n", s.error().c_str());
        return 3;
    }
    // Command 102 answers twice: the song status block, then its posted job.
    int replies_left = req.code == 102 ? 2 : 1;
    int events_left = req.events;
    bool ok = true;
    bool first = true;
    if (options.json) {
        std::printf("[");
    }
    while (replies_left > 0 || events_left > 0) {
        const auto r = s.read_response();
        if (!r) {
            std::fprintf(stderr, "zebrix-client: %s\n", s.error().c_str());
            ok = false;
            replies_left = 0;
            break;
        }
        print_frame(*r, options.json, first);
        first = false;
        if (r->kind == protocol::MSG_EVENT) {
            --events_left;
        } else {
            ok = ok && r->action == 1;
            --replies_left;
        }
    }
    if (options.json) {
        std::printf("]\n");
    }
    // End the session politely, so the binding is free at once.
    if (s.send_request({protocol::MSG_REQUEST, id + 1, 0, 0, 0, 0, 0})) {
        s.read_response();
    }
    return ok ? 0 : 1;
}

const command_registration orvanta_command{
    "orvanta", run_orvanta,
    "orvanta <code> [--first N] [--second N] [--text T] [--want NAME]... [--events N]\n"
    "                               run an Orvanta command, print replies and events"};

} // namespace
} // namespace zs::client
