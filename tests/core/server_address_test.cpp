// The address the main window shows clients.
#include "core/server_address.hpp"

#include <gtest/gtest.h>

namespace {

using zs::core::choose_shown_address;
using list = std::vector<std::string>;

TEST(ServerAddress, HostNameGivingOnlyLoopbackShowsTheFirstInterfaceAddress) {
    EXPECT_EQ(choose_shown_address({"127.0.0.1"}, {"192.0.2.2", "10.0.0.7"}), "192.0.2.2");
    // Debian names the host 127.0.1.1; IPv6 loopback counts as loopback too.
    EXPECT_EQ(choose_shown_address({"127.0.1.1", "::1"}, {"10.0.0.7"}), "10.0.0.7");
    // A network address from the host name still wins over the interfaces.
    EXPECT_EQ(choose_shown_address({"127.0.0.1", "10.1.1.1"}, {"192.0.2.2"}), "10.1.1.1");
    EXPECT_EQ(choose_shown_address({"fe80::1", "172.16.0.4"}, {"192.0.2.2"}), "172.16.0.4");
    // With no interface address there is nothing better than loopback.
    EXPECT_EQ(choose_shown_address({"127.0.0.1"}, list{}), "127.0.0.1");
}

} // namespace
