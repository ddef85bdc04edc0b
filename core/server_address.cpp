#include "core/server_address.hpp"

#include "platform/host_network.hpp"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/host_name.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace zs::core {

std::vector<std::string> host_addresses() {
    std::vector<std::string> out;
    try {
        boost::asio::io_context io;
        boost::asio::ip::tcp::resolver resolver(io);
        boost::system::error_code ec;
        auto results = resolver.resolve(boost::asio::ip::host_name(), "", ec);
        if (!ec) {
            for (const auto& entry : results) {
                out.push_back(entry.endpoint().address().to_string());
            }
        }
    } catch (const std::exception&) {
        out.clear();
    }
    if (out.empty()) {
        out.emplace_back("127.0.0.1");
    }
    return out;
}

std::string choose_server_address(const std::vector<std::string>& addresses,
                                  const std::function<std::vector<std::string>()>& fresh) {
    for (const auto& a : addresses) {
        if (a.find(':') == std::string::npos && a != "127.0.0.1") {
            return a;
        }
    }
    for (const auto& a : addresses) {
        if (a.find("::") == std::string::npos) {
            return a;
        }
    }
    const auto again = fresh();
    return again.empty() ? std::string("127.0.0.1") : again.front();
}

namespace {
bool is_loopback(const std::string& address) {
    return address.starts_with("127.") || address == "::1";
}
} // namespace

std::string choose_shown_address(const std::vector<std::string>& resolved,
                                 const std::vector<std::string>& interfaces) {
    const bool only_loopback =
        std::all_of(resolved.begin(), resolved.end(), [](const auto& a) { return is_loopback(a); });
    if (only_loopback && !interfaces.empty()) {
        return interfaces.front();
    }
    return choose_server_address(resolved, host_addresses);
}

std::string server_ip_text() {
    return choose_shown_address(host_addresses(), platform::interface_ipv4_addresses());
}

} // namespace zs::core
