// The zebrix and orvanta subcommands' session: log in, take control, send
// the one request, print its answers and the events asked for (or follow
// events until Ctrl-C), end the session politely.
#include "client/rc_runner.hpp"

#include "client/interrupt_watch.hpp"
#include "client/rc_files.hpp"
#include "client/rc_output.hpp"

#include <cstdio>
#include <optional>

namespace zs::client {
namespace {

// How often a follower looks for Ctrl-C while no event comes.
constexpr auto follow_slice = std::chrono::milliseconds(200);

constexpr int login_failed = 3;

bool take_control(session& s, const rc_program& program, const common_options& options) {
    const auto greeting = s.choose_client_type(program.client_type);
    const auto granted = greeting && *greeting == 1 ? s.read_word() : std::nullopt;
    if (!granted || *granted != 1) {
        report_error(options,
                     std::string(program.title) + " is " +
                         (granted ? "held by another client" : "not offered by this server"),
                     login_failed);
        return false;
    }
    return true;
}

} // namespace

int run_rc(const rc_program& program, const common_options& options,
           const std::vector<std::string>& args) {
    rc_request req;
    std::string error;
    switch (parse_rc_request(args, req, error, program.names)) {
    case rc_parse::help:
        std::fputs(program.help, stdout);
        return 0;
    case rc_parse::bad:
        return usage_error(options, program.command, error);
    case rc_parse::ok:
        break;
    }
    const bool save = program.save_by_default || req.has_out;
    // Files the server returns may be gone on its side once sent (Zebrix 2
    // and 3 delete them), so where they go is checked first.
    if (save && !check_save_targets(req, error)) {
        return report_error(options, error, 1);
    }
    std::optional<interrupt_watch> watch;
    if (req.follow) {
        watch.emplace();
    }
    session s;
    server_info info;
    if (!open_session(s, options, info, login_failed) || !take_control(s, program, options)) {
        return login_failed;
    }
    protocol::item_list items;
    if (req.has_text) {
        items.add_data(protocol::ITEM_DATA, req.text);
    }
    if (!req.wanted.empty()) {
        items.add_file_list()->names = req.wanted;
    }
    constexpr std::int32_t id = 1;
    const std::string where = address_text(options.host, options.port);
    if (!s.send_request({protocol::MSG_REQUEST, id, req.action, req.code, req.first, req.second, 0},
                        items.empty() ? nullptr : &items)) {
        return report_error(options, where + ": " + s.error(), login_failed);
    }
    frame_printer printer(req, save, options.json);
    int answers_left = program.answers(req);
    int events_left = req.events;
    while (answers_left > 0 || events_left > 0 || req.follow) {
        if (answers_left == 0 && req.follow) {
            if (watch->interrupted()) {
                break;
            }
            if (!s.wait_readable(follow_slice)) {
                if (!s.error().empty()) {
                    printer.fail(where + ": " + s.error());
                    break;
                }
                continue;
            }
        }
        const auto r = s.read_response();
        if (!r) {
            printer.fail(where + ": " + s.error());
            break;
        }
        printer.print(*r);
        if (r->kind == protocol::MSG_EVENT) {
            --events_left;
        } else {
            if (r->action != 1) {
                printer.answer_failed();
            }
            --answers_left;
        }
    }
    const bool ok = printer.finish();
    if (req.action != 0 && s.is_open()) {
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
