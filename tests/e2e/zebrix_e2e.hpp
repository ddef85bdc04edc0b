#pragma once
// Shared pieces of the Zebrix remote-control end-to-end tests: a staged
// server with the stand-in zebw.exe, a remote-control client, the program's
// message log and behaviour file.
#include "client/client_session.hpp"
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "protocol/proto1_interface.hpp"
#include "tests/support/eventually.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zs::test {

using namespace std::chrono_literals;

// One line of zebw.exe.log.
struct logged_message {
    std::string how; // sent or posted
    long long message = 0;
    long long wparam = 0;
    long long lparam = 0;
    std::string reply;
};

class zebrix_e2e : public testing::Test {
protected:
    void SetUp() override {
        prepare();
        server_options options;
        options.env["ZEBRIX_TRACE"] = "1";
        ASSERT_TRUE(server.start(options));
    }
    // Runs before the server starts (change the stage here).
    virtual void prepare() {}

    void TearDown() override {
        server.stop();
        // The stand-in outlives the server by design; end it with the test.
        for (const auto& w : server.windows()) {
            if (w.class_name == "TZebrixWindow") {
                server.end_program(w.pid);
            }
        }
    }

    void behave(const std::string& lines) {
        ASSERT_TRUE(platform::replace_file(server.zebrix_dir() + "zebw.exe.behaviour", lines));
    }

    std::vector<logged_message> program_log() {
        std::string text;
        platform::read_file(server.zebrix_dir() + "zebw.exe.log", text);
        std::vector<logged_message> out;
        std::istringstream in(text);
        logged_message m;
        while (in >> m.how >> m.message >> m.wparam >> m.lparam >> m.reply) {
            out.push_back(m);
        }
        return out;
    }
    // The command messages (1286) whose low 16 bits of wParam are `code`.
    std::vector<logged_message> commands_logged(int code) {
        std::vector<logged_message> out;
        for (const auto& m : program_log()) {
            if (m.message == 1286 && (m.wparam & 0xFFFF) == code) {
                out.push_back(m);
            }
        }
        return out;
    }

    platform::window_handle main_window() {
        for (const auto& w : server.windows()) {
            if (w.class_name == "maindlg") {
                return w.handle;
            }
        }
        return 0;
    }

    staged_server server;
};

// A remote-control client of type 1.
struct rc_client {
    client::session s{20s};
    std::int32_t first_word = -1;
    std::int32_t second_word = -1;
    std::int32_t next_id = 1;

    bool open(std::uint16_t port) {
        if (!s.open_protocol1("127.0.0.1", port, "kxvwq")) {
            return false;
        }
        const auto a = s.choose_client_type(protocol::CLIENT_ZEBRIX_RC);
        const auto b = a ? s.read_word() : std::nullopt;
        first_word = a.value_or(-1);
        second_word = b.value_or(-1);
        return a && b;
    }
    bool controls() const { return first_word == 1 && second_word == 1; }

    // Sends one request and reads frames until its reply; events met on the
    // way are kept in `events`.
    std::shared_ptr<protocol::ZebResponse> call(std::int32_t command, std::int32_t first = 0,
                                                std::int32_t second = 0,
                                                const protocol::item_list* items = nullptr,
                                                std::int32_t action = 1) {
        const std::int32_t id = next_id++;
        if (!s.send_request({protocol::MSG_REQUEST, id, action, command, first, second, 0},
                            items)) {
            return nullptr;
        }
        for (;;) {
            auto r = s.read_response();
            if (!r || r->kind != protocol::MSG_EVENT) {
                return r;
            }
            events.push_back(r);
        }
    }
    std::shared_ptr<protocol::ZebResponse> next_event() {
        if (!events.empty()) {
            auto e = events.front();
            events.erase(events.begin());
            return e;
        }
        return s.read_response();
    }
    std::vector<std::shared_ptr<protocol::ZebResponse>> events;
};

// Connects until one client gets control (the last one may still be leaving).
inline std::unique_ptr<rc_client> take_control(std::uint16_t port,
                                               std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto c = std::make_unique<rc_client>();
        if (c->open(port) && c->controls()) {
            return c;
        }
        if (std::chrono::steady_clock::now() > end) {
            return nullptr;
        }
        std::this_thread::sleep_for(50ms);
    }
}

inline std::string data_of(const protocol::ZebResponse& r, std::uint32_t type) {
    const auto* d = r.find_data(type);
    return d ? d->data : "<none>";
}

} // namespace zs::test
