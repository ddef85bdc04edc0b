#pragma once
// `RCClient`: the protocol-1 client object for client type 1. It tells the
// client whether it got control of Zebrix, hands every request to the
// controller on the program's worker and passes the controller's replies and
// events to the session.
#include "protocol/program_worker.hpp"
#include "protocol/proto1_interface.hpp"
#include "protocol/session_link.hpp"
#include "zebrix/zebrix_controller.hpp"

#include <memory>

namespace zs::protocol {

class RCClient final : public proto1_interface {
public:
    RCClient(proto1_session& session, zebrix::zebrix_controller& controller,
             program_worker& worker);
    ~RCClient() override; // frees the controller (on the worker) when it may hold it

    void start() override;
    void handle_request(std::shared_ptr<ZebRequest> request) override;

    bool attached() const { return attached_; }

private:
    using link = session_link<zebrix::zebw_rc_interface>;

    void handle_greeting_written();
    void handle_verdict_written();
    void handle_answered(bool keep);

    zebrix::zebrix_controller& controller_;
    program_worker& worker_;
    std::shared_ptr<link> link_; // the controller's sink while attached
    bool attached_ = false;
};

// The factory registered for client type 1.
client_factory make_rc_client_factory(zebrix::zebrix_controller& controller,
                                      program_worker& worker);

} // namespace zs::protocol
