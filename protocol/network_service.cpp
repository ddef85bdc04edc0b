#include "protocol/network_service.hpp"

namespace zs::protocol {

namespace {

std::shared_ptr<proto1_settings> settings_from(core::config_store& config, login_guard& guard) {
    auto s = std::make_shared<proto1_settings>();
    s->guard = &guard;
    s->password = [&config] { return config.password(); };
    s->identity_text = [&config] { return config.identity_text(); };
    s->server_name = [&config] { return config.server_name(); };
    return s;
}

net::discovery_settings discovery_from(core::config_store& config) {
    net::discovery_settings s;
    s.identity = [&config] { return config.identity_bytes(); };
    s.server_name = [&config] { return config.server_name(); };
    return s;
}

net::server_settings tcp_from(login_guard& guard, net::connection_limits limits) {
    net::server_settings s;
    s.connection.limits = limits;
    s.log_summaries = [&guard] { guard.write_summaries(); };
    return s;
}

} // namespace

network_service::network_service(core::config_store& config, login_guard_settings guarding,
                                 net::connection_limits limits)
    : guard_(std::move(guarding)), settings_(settings_from(config, guard_)),
      tcp_(net::session_factories{nullptr, make_proto1_factory(settings_)},
           tcp_from(guard_, limits)),
      discovery_(discovery_from(config)) {}

void network_service::set_clients(proto1_clients clients) {
    settings_->clients = std::move(clients);
}

void network_service::set_protocol0(net::session_factory factory) {
    protocol0_ = std::move(factory);
    refresh_factories();
}

void network_service::refresh_factories() {
    tcp_.set_factories(net::session_factories{protocol0_, make_proto1_factory(settings_)});
}

} // namespace zs::protocol
