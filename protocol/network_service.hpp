#pragma once
// The composition of the network front end for the server's entry: the TCP
// service with its protocol sessions and the discovery responder, both
// reading the password, name and identity from the configuration at use time.
//
// Before the first start, server/main.cpp registers what other subsystems add:
//   network.set_clients({{CLIENT_ZEBRIX_RC, ...}, {CLIENT_ORVANTA_RC, ...}});
//   network.set_protocol0(factory);                               // render jobs
#include "core/config_store.hpp"
#include "net/discovery_responder.hpp"
#include "net/zebsock_server.hpp"
#include "protocol/login_guard.hpp"
#include "protocol/proto1_client.hpp"

#include <memory>

namespace zs::protocol {

class network_service {
public:
    explicit network_service(core::config_store& config, login_guard_settings guarding = {},
                             net::connection_limits limits = {});

    // Only while the service is stopped.
    void set_clients(proto1_clients clients);
    void set_protocol0(net::session_factory factory);

    core::service_piece& tcp() { return tcp_; }
    core::service_piece& discovery() { return discovery_; }
    // Shared by both protocols' password checks (the render-job settings
    // take it from here).
    login_guard& guard() { return guard_; }

private:
    void refresh_factories();

    login_guard guard_; // before the sessions that use it
    std::shared_ptr<proto1_settings> settings_;
    net::session_factory protocol0_;
    net::zebsock_server tcp_;
    net::discovery_responder discovery_;
};

} // namespace zs::protocol
