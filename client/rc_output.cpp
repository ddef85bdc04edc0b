#include "client/rc_output.hpp"

#include "client/commands.hpp"
#include "client/rc_files.hpp"

#include <cstdio>

namespace zs::client {
namespace {

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

// One file item: saved (name, size, where) or shown (name, size, content).
bool print_files(const protocol::ZebFileList& list, const rc_request& req, bool save, bool json,
                 const char* sep) {
    bool ok = true;
    std::vector<std::string> saved(list.files.size());
    for (std::size_t i = 0; save && i < list.files.size(); ++i) {
        ok = save_returned_file(*list.files[i], req, saved[i]) && ok;
    }
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

} // namespace

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
    std::fflush(stdout); // events are followed live, also through a pipe
    return ok;
}

frame_printer::frame_printer(const rc_request& req, bool save, bool json)
    : req_(req), save_(save), json_(json) {
    if (json_) {
        std::printf("[");
    }
}

void frame_printer::print(const protocol::ZebResponse& r) {
    ok_ = print_rc_frame(r, req_, save_, json_, first_) && ok_;
    first_ = false;
}

void frame_printer::fail(const std::string& text) {
    std::fprintf(stderr, "zebrix-client: %s\n", text.c_str());
    if (json_) {
        std::printf("%s{\"kind\":\"error\",\"error\":%s}", first_ ? "" : ",",
                    json_quote(text).c_str());
        first_ = false;
    }
    ok_ = false;
}

bool frame_printer::finish() {
    if (json_) {
        std::printf("]\n");
    }
    return ok_;
}

} // namespace zs::client
