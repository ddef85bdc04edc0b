#include "protocol/rc_client.hpp"

namespace zs::protocol {

RCClient::RCClient(proto1_session& owner, zebrix::zebrix_controller& controller)
    : proto1_interface(owner), controller_(controller) {}

RCClient::~RCClient() {
    if (attached_) {
        controller_.detach_client(this);
    }
}

void RCClient::start() {
    session().async_write_word(1, [this] { handle_greeting_written(); });
}

void RCClient::handle_greeting_written() {
    attached_ = controller_.attach_client(this);
    session().async_write_word(attached_ ? 1 : 0, [this] { handle_verdict_written(); });
}

void RCClient::handle_verdict_written() {
    if (attached_) {
        session().read_request();
    } else {
        session().post_close_session();
    }
}

bool RCClient::handle_request(std::shared_ptr<ZebRequest> request) {
    const bool keep = controller_.execute_request(*request);
    if (!keep && attached_) {
        // The client has said goodbye: the next client need not wait for the close.
        controller_.detach_client(this);
        attached_ = false;
    }
    return keep;
}

void RCClient::send_response(std::shared_ptr<ZebResponse> response) {
    session().send_response(std::move(response));
}

client_factory make_rc_client_factory(zebrix::zebrix_controller& controller) {
    return [&controller](proto1_session& owner) -> std::unique_ptr<proto1_interface> {
        return std::make_unique<RCClient>(owner, controller);
    };
}

} // namespace zs::protocol
