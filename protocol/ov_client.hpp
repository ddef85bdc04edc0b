#pragma once
// `OvClient`: the protocol-1 client object for client type 2. It greets the
// client, takes the Orvanta binding if it is free and hands every request to it.
#include "orvanta/orvanta_controller.hpp"
#include "orvanta/ov_rc_interface.hpp"
#include "protocol/proto1_interface.hpp"

#include <memory>

namespace zs::protocol {

class OvClient final : public proto1_interface, public orvanta::ov_rc_interface {
public:
    OvClient(proto1_session& session, orvanta::orvanta_controller& controller);
    ~OvClient() override; // frees the binding when it held it

    void start() override;
    bool handle_request(std::shared_ptr<ZebRequest> request) override;
    void send_response(std::shared_ptr<ZebResponse> response) override;

private:
    void handle_greeting_written();
    void handle_attach_written();

    orvanta::orvanta_controller& controller_;
    bool attached_ = false;
};

// The factory registered for client type 2.
client_factory make_ov_client_factory(orvanta::orvanta_controller& controller);

} // namespace zs::protocol
