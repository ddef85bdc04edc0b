#include "orvanta/orvanta_controller.hpp"

#include "core/server_log.hpp"
#include "platform/trace.hpp"
#include "protocol/reply_texts.hpp"

namespace zs::orvanta {

using protocol::ZebResponse;

orvanta_controller::orvanta_controller(OV& driver, const core::path_layout& layout)
    : driver_(driver), layout_(layout) {}

bool orvanta_controller::attach_client(ov_rc_interface* sink) {
    std::lock_guard sinks(sink_mutex_);
    if (sink_ != nullptr || sink == nullptr) {
        return false;
    }
    sink_ = sink;
    driver_.start_background();
    return true;
}

void orvanta_controller::detach_client(ov_rc_interface* sink) {
    command_lock lock(command_mutex_);
    bool holder = false;
    {
        std::lock_guard sinks(sink_mutex_);
        holder = sink_ == sink;
    }
    if (!holder) {
        release(lock);
        return;
    }
    // The binding stays taken until the unlink is done, so a client that
    // binds next never has its fresh link withdrawn by this one.
    driver_.unlink(); // driver lock after command lock
    {
        std::lock_guard sinks(sink_mutex_);
        sink_ = nullptr;
    }
    release(lock);
}

void orvanta_controller::forward_event(std::int32_t code, std::int64_t wparam,
                                       std::int64_t lparam) {
    {
        std::lock_guard queue(events_mutex_);
        events_.push_back({code, wparam, lparam});
    }
    // Whoever holds the command lock delivers the event when it lets go.
    command_lock lock(command_mutex_, std::try_to_lock);
    if (lock.owns_lock()) {
        release(lock);
    }
}

void orvanta_controller::deliver_events_locked() {
    for (;;) {
        pending_event e{};
        {
            std::lock_guard queue(events_mutex_);
            if (events_.empty()) {
                return;
            }
            e = events_.front();
            events_.pop_front();
        }
        auto r = std::make_shared<ZebResponse>();
        r->kind = protocol::MSG_EVENT;
        r->request_id = static_cast<std::int32_t>(event_counter_++);
        r->action = e.code;
        r->status = static_cast<std::int32_t>(e.wparam);
        r->value = static_cast<std::int32_t>(e.lparam);
        reply(std::move(r));
    }
}

void orvanta_controller::release(command_lock& lock) {
    for (;;) {
        deliver_events_locked();
        lock.unlock();
        {
            std::lock_guard queue(events_mutex_);
            if (events_.empty()) {
                return;
            }
        }
        // An event came in after the last delivery; if another thread holds
        // the lock now, it delivers the event itself.
        if (!lock.try_lock()) {
            return;
        }
    }
}

void orvanta_controller::reply(std::shared_ptr<ZebResponse> response) {
    std::lock_guard sinks(sink_mutex_);
    if (sink_ == nullptr) {
        return;
    }
    const std::int32_t id = response->request_id;
    const std::size_t size = response->body_length();
    if (sink_->send_response(std::move(response)) == protocol::send_outcome::too_large) {
        core::server_log::line("Orvanta: an answer of " + std::to_string(size) +
                               " bytes is too large to send; answered with an error");
        auto r = std::make_shared<ZebResponse>();
        r->kind = protocol::MSG_RESPONSE;
        r->request_id = id;
        r->status = protocol::ERR_SERVER;
        r->add_data(protocol::ITEM_ERROR, protocol::TEXT_REPLY_TOO_LARGE);
        sink_->send_response(std::move(r));
    }
}

std::shared_ptr<ZebResponse> orvanta_controller::success(std::int32_t id) {
    auto r = std::make_shared<ZebResponse>();
    r->kind = protocol::MSG_RESPONSE;
    r->request_id = id;
    r->action = 1;
    r->status = 1;
    r->value = 0;
    return r;
}

void orvanta_controller::send_success(std::int32_t id) {
    reply(success(id));
}

void orvanta_controller::send_data(std::int32_t id, std::string data) {
    auto r = success(id);
    r->add_data(protocol::ITEM_DATA, std::move(data));
    reply(std::move(r));
}

void orvanta_controller::send_error(std::int32_t id, std::int32_t code, std::int32_t detail,
                                    const std::string& text) {
    auto r = std::make_shared<ZebResponse>();
    r->kind = protocol::MSG_RESPONSE;
    r->request_id = id;
    r->action = 0;
    r->status = code;
    r->value = detail;
    r->add_data(protocol::ITEM_ERROR, text);
    reply(std::move(r));
}

bool orvanta_controller::execute_request(const protocol::ZebRequest& request) {
    command_lock lock(command_mutex_);
    const auto& h = request.header;
    bool keep = true;
    if (h.action == 0) {
        auto r = std::make_shared<ZebResponse>();
        r->kind = protocol::MSG_RESPONSE;
        r->request_id = h.request_id;
        r->action = 1;
        reply(std::move(r));
        keep = false;
    } else if (h.action == 1) {
        platform::trace("request %d", h.command);
        dispatch(request);
    } else {
        send_error(h.request_id, 3, 0, TEXT_UNKNOWN_COMMAND);
    }
    release(lock);
    return keep;
}

} // namespace zs::orvanta
