#include "protocol/ov_client.hpp"

namespace zs::protocol {

OvClient::OvClient(proto1_session& session, orvanta::orvanta_controller& controller,
                   program_worker& worker)
    : proto1_interface(session), controller_(controller), worker_(worker),
      link_(std::make_shared<link>(session)) {}

OvClient::~OvClient() {
    link_->cut();
    if (attached_) {
        // After any command of this client still queued; the link outlives
        // this object in the work, so the binding never holds a dangling sink.
        worker_.post_always(
            [&controller = controller_, sink = link_] { controller.detach_client(sink.get()); });
    }
}

void OvClient::start() {
    session().async_write_word(1, [this] { handle_greeting_written(); });
}

void OvClient::handle_greeting_written() {
    // Never waits for the program: the binding only starts it in the background.
    attached_ = controller_.attach_client(link_.get());
    session().async_write_word(attached_ ? 1 : 0, [this] { handle_attach_written(); });
}

void OvClient::handle_attach_written() {
    if (attached_) {
        session().read_request();
    } else {
        session().post_close_session();
    }
}

void OvClient::handle_request(std::shared_ptr<ZebRequest> request) {
    const bool queued = worker_.post([&controller = controller_, sink = link_, request, this] {
        const bool keep = controller.execute_request(*request);
        if (!keep) {
            // The client has said goodbye: the next client need not wait for the close.
            controller.detach_client(sink.get());
        }
        // `this` is used on the I/O thread only while the session lives.
        sink->post_work([this, keep] { handle_answered(keep); });
    });
    if (!queued) {
        session().request_done(false); // the program's queue is full
    }
}

void OvClient::handle_answered(bool keep) {
    if (!keep) {
        attached_ = false;
    }
    session().request_done(keep);
}

client_factory make_ov_client_factory(orvanta::orvanta_controller& controller,
                                      program_worker& worker) {
    return [&controller, &worker](proto1_session& session) -> std::unique_ptr<proto1_interface> {
        return std::make_unique<OvClient>(session, controller, worker);
    };
}

} // namespace zs::protocol
