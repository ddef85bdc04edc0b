#pragma once
// `OvClient`: the protocol-1 client object for client type 2. It greets the
// client, takes the Orvanta binding if it is free and hands every request to
// it on the program's worker.
#include "orvanta/orvanta_controller.hpp"
#include "orvanta/ov_rc_interface.hpp"
#include "protocol/program_worker.hpp"
#include "protocol/proto1_interface.hpp"
#include "protocol/session_link.hpp"

#include <memory>

namespace zs::protocol {

class OvClient final : public proto1_interface {
public:
    OvClient(proto1_session& session, orvanta::orvanta_controller& controller,
             program_worker& worker);
    ~OvClient() override; // frees the binding (on the worker) when it may hold it

    void start() override;
    void handle_request(std::shared_ptr<ZebRequest> request) override;

private:
    using link = session_link<orvanta::ov_rc_interface>;

    void handle_greeting_written();
    void handle_attach_written();
    void handle_answered(bool keep);

    orvanta::orvanta_controller& controller_;
    program_worker& worker_;
    std::shared_ptr<link> link_; // the binding's sink while attached
    bool attached_ = false;
};

// The factory registered for client type 2.
client_factory make_ov_client_factory(orvanta::orvanta_controller& controller,
                                      program_worker& worker);

} // namespace zs::protocol
