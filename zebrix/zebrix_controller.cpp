#include "zebrix/zebrix_controller.hpp"

#include "platform/trace.hpp"

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

void zebrix_controller::deliver(std::shared_ptr<protocol::ZebResponse> response) {
    std::lock_guard<std::mutex> lock(sink_lock_);
    if (sink_ != nullptr) {
        sink_->send_response(std::move(response));
    }
}

void zebrix_controller::forward_event(std::int64_t wparam, std::int64_t lparam) {
    std::lock_guard<std::mutex> lock(sink_lock_);
    auto event = std::make_shared<protocol::ZebResponse>();
    event->kind = protocol::MSG_EVENT;
    event->request_id = event_counter_;
    // The counter wraps like the program's own 32-bit counter would.
    event_counter_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(event_counter_) + 1u);
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
        deliver(commands_.execute(request));
        return true;
    default:
        deliver(make_error_reply(h.request_id, ERR_UNKNOWN, 0, TEXT_UNKNOWN_COMMAND));
        return true;
    }
}

} // namespace zs::zebrix
