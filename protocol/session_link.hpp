#pragma once
// The way back from a program worker to a protocol-1 session, shared by the
// client object and the work it queued: replies and continuations reach the
// session while the client object lives, and are dropped once it is gone.
// Sink is the program's reply interface (its send_response is overridden).
#include "protocol/proto1_interface.hpp"

#include <functional>
#include <memory>
#include <mutex>

namespace zs::protocol {

template <class Sink> class session_link final : public Sink {
public:
    explicit session_link(proto1_session& session) : session_(&session) {}

    send_outcome send_response(std::shared_ptr<ZebResponse> response) override {
        std::lock_guard lock(mutex_);
        if (session_ == nullptr) {
            return send_outcome::dropped;
        }
        return session_->send_response(std::move(response));
    }
    // Work for the session's I/O thread (see proto1_session::post_work).
    void post_work(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        if (session_ != nullptr) {
            session_->post_work(std::move(work));
        }
    }
    // The client object is going: nothing reaches the session any more.
    void cut() {
        std::lock_guard lock(mutex_);
        session_ = nullptr;
    }

private:
    std::mutex mutex_;
    proto1_session* session_;
};

} // namespace zs::protocol
