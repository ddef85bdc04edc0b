#pragma once
// Why a port could not be opened, in an operator's words.
#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <cstdint>
#include <exception>
#include <string>

namespace zs::net {

inline std::string port_failure(const char* kind, std::uint16_t port, const std::exception& e) {
    const std::string name = std::string(kind) + " port " + std::to_string(port);
    if (const auto* s = dynamic_cast<const boost::system::system_error*>(&e)) {
        if (s->code() == boost::asio::error::address_in_use) {
            return name + " is in use";
        }
        if (s->code() == boost::asio::error::access_denied) {
            return name + " may not be opened by this user";
        }
        return name + ": " + s->code().message();
    }
    return name + ": " + e.what();
}

} // namespace zs::net
