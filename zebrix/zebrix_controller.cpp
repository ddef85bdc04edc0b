#include "zebrix/zebrix_controller.hpp"

#include "core/server_log.hpp"
#include "platform/trace.hpp"
#include "protocol/reply_texts.hpp"

namespace zs::zebrix {

zebrix_controller::zebrix_controller(ZEBW& driver, command_set& commands)
    : driver_(driver), commands_(commands) {}

bool zebrix_controller::attach_client(zebw_rc_interface* sink) {
    std::lock_guard<std::mutex> lock(sink_lock_);
    if (sink_ != nullptr || sink == nullptr) {
        return false;
    }
    sink_ = sink;
    driver_.start_background();
    return true;
}

void zebrix_controller::detach_client(zebw_rc_interface* sink) {
    // The controller stays taken until the release is done, so a client that
    // attaches next never has its fresh link forgotten by this release.
    std::lock_guard<std::mutex> lock(command_lock_);
    {
        std::lock_guard<std::mutex> sinks(sink_lock_);
        if (sink_ != sink) {
            return; // a refused client never disturbs the one holding control
        }
    }
    driver_.release();
    std::lock_guard<std::mutex> sinks(sink_lock_);
    sink_ = nullptr;
}

bool zebrix_controller::attached() {
    std::lock_guard<std::mutex> lock(sink_lock_);
    return sink_ != nullptr;
}

protocol::send_outcome zebrix_controller::deliver(std::shared_ptr<protocol::ZebResponse> response) {
    std::lock_guard<std::mutex> lock(sink_lock_);
    if (sink_ == nullptr) {
        return protocol::send_outcome::dropped;
    }
    return sink_->send_response(std::move(response));
}

void zebrix_controller::run_command(const protocol::ZebRequest& request) {
    auto reply = commands_.execute(request);
    const std::size_t size = reply->body_length();
    switch (deliver(std::move(reply))) {
    case protocol::send_outcome::accepted:
        commands_.remove_handed_out(); // the client has its files now
        return;
    case protocol::send_outcome::too_large:
        core::server_log::line("Zebrix command " + std::to_string(request.header.command) +
                               ": its answer of " + std::to_string(size) +
                               " bytes is too large to send; answered with an error, "
                               "no file was deleted");
        deliver(make_error_reply(request.header.request_id, protocol::ERR_SERVER, 0,
                                 protocol::TEXT_REPLY_TOO_LARGE));
        return;
    case protocol::send_outcome::dropped:
        return; // the client is gone: its files stay for the next one
    }
}

std::int32_t zebrix_controller::take_event_id() {
    std::lock_guard<std::mutex> lock(sink_lock_);
    const std::int32_t id = event_counter_;
    // The counter wraps like the program's own 32-bit counter would.
    event_counter_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(event_counter_) + 1u);
    return id;
}

void zebrix_controller::notify(protocol::program_worker& worker, std::int64_t wparam,
                               std::int64_t lparam) {
    const std::int32_t id = take_event_id();
    const bool queued =
        worker.post([this, id, wparam, lparam] { forward_event(id, wparam, lparam); });
    // One line when a run of drops begins and one when it ends, so a flood
    // never floods the log.
    std::string line;
    {
        std::lock_guard<std::mutex> lock(drops_lock_);
        if (!queued && dropped_++ == 0) {
            first_dropped_ = id;
            line = "Zebrix event " + std::to_string(id) +
                   " dropped: the command queue is full (a flood of notifications)";
        } else if (queued && dropped_ > 0) {
            line = "Zebrix events " + std::to_string(first_dropped_) + " to " +
                   std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(id) - 1u)) +
                   " dropped (" + std::to_string(dropped_) + " in all); events flow again";
            dropped_ = 0;
        }
    }
    if (!line.empty()) {
        core::server_log::line(line);
    }
}

void zebrix_controller::forward_event(std::int64_t wparam, std::int64_t lparam) {
    forward_event(take_event_id(), wparam, lparam);
}

void zebrix_controller::forward_event(std::int32_t id, std::int64_t wparam, std::int64_t lparam) {
    std::lock_guard<std::mutex> lock(sink_lock_);
    auto event = std::make_shared<protocol::ZebResponse>();
    event->kind = protocol::MSG_EVENT;
    event->request_id = id;
    event->action = 1;
    event->status = static_cast<std::int32_t>(wparam);
    event->value = static_cast<std::int32_t>(lparam);
    if (sink_ == nullptr) {
        platform::trace("zebrix event %d dropped: no client", event->request_id);
        return;
    }
    sink_->send_response(std::move(event));
}

bool zebrix_controller::execute_request(const protocol::ZebRequest& request) {
    std::lock_guard<std::mutex> lock(command_lock_);
    const auto& h = request.header;
    switch (h.action) {
    case 0:
        deliver(make_reply(h.request_id, 1, 0, 0));
        return false;
    case 1:
        run_command(request);
        return true;
    default:
        deliver(make_error_reply(h.request_id, ERR_UNKNOWN, 0, TEXT_UNKNOWN_COMMAND));
        return true;
    }
}

} // namespace zs::zebrix
