// The protocol-0 records byte for byte: the fields at their offsets, round
// trips, and what the parsers refuse.
#include "net/wire.hpp"
#include "protocol/proto0_records.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace zs;
using protocol::JOB_REQUEST_HEADER;
using protocol::JOB_RESPONSE_HEADER;

TEST(JobRequestHeader, FieldsSitAtTheirOffsetsAndRoundTrip) {
    const JOB_REQUEST_HEADER h{protocol::JOB_FETCH_ARCHIVE, 0x01020304, -7, "kxvwq"};
    const auto bytes = h.to_bytes();
    ASSERT_EQ(bytes.size(), 112u);
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 12)),
              (std::vector<std::uint8_t>{4, 0, 0, 0, 4, 3, 2, 1, 0xF9, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::memcmp(bytes.data() + 48, "kxvwq\0", 6), 0);
    for (std::size_t i = 12; i < 48; ++i) {
        EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
    }
    const auto back = JOB_REQUEST_HEADER::from_bytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type, h.type);
    EXPECT_EQ(back->id, h.id);
    EXPECT_EQ(back->body_length, h.body_length);
    EXPECT_EQ(back->password, h.password);
}

TEST(JobRequestHeader, PasswordFieldEndsAtItsFirstNulOrItsSixtyFourthByte) {
    std::vector<std::uint8_t> bytes(112, 0);
    std::memset(bytes.data() + 48, 'q', 64);
    auto h = JOB_REQUEST_HEADER::from_bytes(bytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->password, std::string(64, 'q')) << "no terminating NUL needed";
    bytes[48 + 5] = 0;
    bytes[12] = 0x55; // reserved bytes do not matter
    h = JOB_REQUEST_HEADER::from_bytes(bytes);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->password, "qqqqq");
    // Written back, a password is cut to the field.
    const auto written = JOB_REQUEST_HEADER{0, 0, 0, std::string(70, 'z')}.to_bytes();
    EXPECT_EQ(JOB_REQUEST_HEADER::from_bytes(written)->password, std::string(64, 'z'));
}

TEST(JobRequestHeader, ShortBuffersAreRefusedAndBodyLengthsChecked) {
    const std::vector<std::uint8_t> bytes(111, 0);
    EXPECT_FALSE(JOB_REQUEST_HEADER::from_bytes(bytes));
    EXPECT_FALSE(JOB_REQUEST_HEADER::from_bytes({}));
    // Bytes after the header belong to the body and are not read.
    std::vector<std::uint8_t> longer(200, 0xAB);
    net::write_word(longer.data() + 8, 3);
    std::memset(longer.data() + 48, 0, 64);
    const auto h = JOB_REQUEST_HEADER::from_bytes(longer);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->body_length, 3);
    EXPECT_TRUE(h->password.empty());

    for (const auto& [length, valid] : std::vector<std::pair<std::int32_t, bool>>{
             {0, true}, {1, true}, {0x1000000, true}, {0x1000001, false}, {-1, false}}) {
        EXPECT_EQ((JOB_REQUEST_HEADER{0, 0, length, ""}.body_length_valid()), valid) << length;
    }
}

TEST(JobResponseHeader, FieldsSitAtTheirOffsetsAndTheRestIsZero) {
    const JOB_RESPONSE_HEADER h{2, 17, 300, -1};
    const auto bytes = h.to_bytes();
    ASSERT_EQ(bytes.size(), 116u);
    EXPECT_EQ(net::read_word(bytes.data()), 0);
    EXPECT_EQ(net::read_word(bytes.data() + 4), 2);
    EXPECT_EQ(net::read_word(bytes.data() + 8), 17);
    EXPECT_EQ(net::read_word(bytes.data() + 12), 300);
    EXPECT_EQ(net::read_word(bytes.data() + 16), -1);
    for (std::size_t i = 20; i < 116; ++i) {
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    }
    const auto back = JOB_RESPONSE_HEADER::from_bytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->to_bytes(), bytes);
    EXPECT_FALSE(JOB_RESPONSE_HEADER::from_bytes(std::span(bytes).first(115)));
}

} // namespace
