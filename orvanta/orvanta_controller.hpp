#pragma once
// The client binding of Orvanta: at most one client drives the program at a
// time. It runs that client's commands one after another under the command
// lock and turns the program's notifications into events for it.
#include "core/path_layout.hpp"
#include "orvanta/command_table.hpp"
#include "orvanta/ov_driver.hpp"
#include "protocol/remote_program.hpp"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace zs::orvanta {

// The attached client's reply sink: the one sink interface of both programs.
using ov_rc_interface = protocol::rc_sink;

class orvanta_controller final : public protocol::remote_program {
public:
    orvanta_controller(OV& driver, const core::path_layout& layout);

    // False when another client is attached. Starts the program in the
    // background; never waits for a command or the program.
    bool attach_client(ov_rc_interface* sink) override;
    // Unlinks the program and then frees the binding (when `sink` holds it);
    // after a running command.
    void detach_client(ov_rc_interface* sink) override;
    // An event (kind 1) numbered by the event counter; dropped without a
    // client. Never blocks the caller: while a command runs, the event is
    // queued and delivered right after that command's replies.
    void forward_event(std::int32_t code, std::int64_t wparam, std::int64_t lparam);
    // Runs one request; every reply goes to the attached sink. False ends the session.
    bool execute_request(const protocol::ZebRequest& request) override;

    OV& driver() { return driver_; }

private:
    struct pending_event {
        std::int32_t code;
        std::int64_t wparam;
        std::int64_t lparam;
    };
    using command_lock = std::unique_lock<std::mutex>;

    void release(command_lock& lock); // unlocks, delivering queued events first
    void deliver_events_locked();
    void reply(std::shared_ptr<protocol::ZebResponse> response);

    // Reply forms.
    std::shared_ptr<protocol::ZebResponse> success(std::int32_t id);
    void send_success(std::int32_t id);
    void send_data(std::int32_t id, std::string data);
    void send_error(std::int32_t id, std::int32_t code, std::int32_t detail,
                    const std::string& text);

    // Handling patterns of the command set (ov_commands.cpp); a refusal
    // answers with the text of the command's row.
    void dispatch(const protocol::ZebRequest& request);
    void plain_send(const protocol::ZebRequest& request, bool post, const char* failure);
    void posted_job(const protocol::ZebRequest& request, const ov_command& row);
    void song_transfer(const protocol::ZebRequest& request, const ov_command& row);
    void track_names(const protocol::ZebRequest& request, const ov_command& row);
    void section_names(const protocol::ZebRequest& request, const ov_command& row);
    void track_name_upload(const protocol::ZebRequest& request, const ov_command& row);
    void song_status_block(const protocol::ZebRequest& request, const ov_command& row);
    bool output_reports_error(std::int32_t id);
    std::string helper_file(const char* name) const;

    OV& driver_;
    const core::path_layout& layout_;

    std::mutex command_mutex_; // the command lock, before the driver lock
    std::mutex sink_mutex_;    // guards sink_; held for no wait
    ov_rc_interface* sink_ = nullptr;
    std::uint32_t event_counter_ = 0;

    std::mutex events_mutex_;
    std::deque<pending_event> events_;
};

} // namespace zs::orvanta
