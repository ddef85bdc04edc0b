#pragma once
// What the machine's network and display look like, for the address the
// window shows and for the choice between the window and headless.
#include <string>
#include <vector>

namespace zs::platform {

// IPv4 addresses of the interfaces that are up, loopback left out, in the
// order the system lists them.
std::vector<std::string> interface_ipv4_addresses();

// True when an X display named like $DISPLAY ("[host]:n[.screen]") accepts a
// connection within a short bound; an unreachable display would make the
// toolkit abort instead of letting the server run headless.
bool x_display_reachable(const std::string& display);

} // namespace zs::platform
