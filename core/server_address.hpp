#pragma once
// The address shown in the main window.
#include <functional>
#include <string>
#include <vector>

namespace zs::core {

// Every address the resolver gives for the host's own name, in its order;
// "127.0.0.1" alone when there is none.
std::vector<std::string> host_addresses();

// The first IPv4 address other than 127.0.0.1, else the first without "::",
// else the first of a fresh list.
std::string choose_server_address(const std::vector<std::string>& addresses,
                                  const std::function<std::vector<std::string>()>& fresh);

// A host name that resolves only to loopback tells clients nothing: then the
// first non-loopback IPv4 address of the interfaces is shown instead.
std::string choose_shown_address(const std::vector<std::string>& resolved,
                                 const std::vector<std::string>& interfaces);

std::string server_ip_text();

} // namespace zs::core
