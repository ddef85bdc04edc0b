#pragma once
// The protocol-1 client objects of the remote-controlled programs: `RCClient`
// (client type 1, Zebrix) and `OvClient` (type 2, Orvanta). Each tells the
// client whether it got control of its program, hands every request to the
// program on its worker and passes the replies and events to the session.
#include "protocol/program_worker.hpp"
#include "protocol/proto1_interface.hpp"
#include "protocol/remote_program.hpp"
#include "protocol/session_link.hpp"

#include <memory>

namespace zs::protocol {

class remote_client : public proto1_interface {
public:
    remote_client(proto1_session& session, remote_program& program, program_worker& worker);
    ~remote_client() override; // frees the program (on the worker) when it may hold it

    void start() override;
    void handle_request(std::shared_ptr<ZebRequest> request) override;

    bool attached() const { return attached_; }

private:
    using link = session_link<rc_sink>;

    void handle_greeting_written();
    void handle_verdict_written();
    void handle_answered(bool keep);

    remote_program& program_;
    program_worker& worker_;
    std::shared_ptr<link> link_; // the program's sink while attached
    bool attached_ = false;
};

// The two differ only in the program they drive.
class RCClient final : public remote_client {
    using remote_client::remote_client;
};
class OvClient final : public remote_client {
    using remote_client::remote_client;
};

// The factories registered for client types 1 and 2.
client_factory make_rc_client_factory(remote_program& zebrix, program_worker& worker);
client_factory make_ov_client_factory(remote_program& orvanta, program_worker& worker);

} // namespace zs::protocol
