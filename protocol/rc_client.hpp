#pragma once
// `RCClient`: the protocol-1 client object for client type 1. It tells the
// client whether it got control of Zebrix, hands every request to the
// controller and passes the controller's replies and events to the session.
#include "protocol/proto1_interface.hpp"
#include "zebrix/zebrix_controller.hpp"

#include <memory>

namespace zs::protocol {

class RCClient final : public proto1_interface, public zebrix::zebw_rc_interface {
public:
    RCClient(proto1_session& session, zebrix::zebrix_controller& controller);
    ~RCClient() override; // frees the controller when it held it

    void start() override;
    bool handle_request(std::shared_ptr<ZebRequest> request) override;
    void send_response(std::shared_ptr<ZebResponse> response) override;

    bool attached() const { return attached_; }

private:
    void handle_greeting_written();
    void handle_verdict_written();

    zebrix::zebrix_controller& controller_;
    bool attached_ = false;
};

// The factory registered for client type 1.
client_factory make_rc_client_factory(zebrix::zebrix_controller& controller);

} // namespace zs::protocol
