#include "protocol/ov_client.hpp"

namespace zs::protocol {

OvClient::OvClient(proto1_session& session, orvanta::orvanta_controller& controller)
    : proto1_interface(session), controller_(controller) {}

OvClient::~OvClient() {
    if (attached_) {
        controller_.detach_client(this);
    }
}

void OvClient::start() {
    session().async_write_word(1, [this] { handle_greeting_written(); });
}

void OvClient::handle_greeting_written() {
    attached_ = controller_.attach_client(this);
    session().async_write_word(attached_ ? 1 : 0, [this] { handle_attach_written(); });
}

void OvClient::handle_attach_written() {
    if (attached_) {
        session().read_request();
    } else {
        session().post_close_session();
    }
}

bool OvClient::handle_request(std::shared_ptr<ZebRequest> request) {
    const bool keep = controller_.execute_request(*request);
    if (!keep && attached_) {
        // The client has said goodbye: the next client need not wait for the close.
        controller_.detach_client(this);
        attached_ = false;
    }
    return keep;
}

void OvClient::send_response(std::shared_ptr<ZebResponse> response) {
    session().send_response(std::move(response));
}

client_factory make_ov_client_factory(orvanta::orvanta_controller& controller) {
    return [&controller](proto1_session& session) -> std::unique_ptr<proto1_interface> {
        return std::make_unique<OvClient>(session, controller);
    };
}

} // namespace zs::protocol
