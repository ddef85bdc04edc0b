// Payload forms, request body parsing and response frames, byte for byte.
#include "net/wire.hpp"
#include "protocol/proto1_client.hpp"
#include "protocol/zeb_message.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace zs::protocol;
using bytes = std::vector<std::uint8_t>;

void word(bytes& b, std::int32_t v) {
    b.resize(b.size() + 4);
    zs::net::write_word(b.data() + b.size() - 4, v);
}
void text(bytes& b, const std::string& t) {
    word(b, static_cast<std::int32_t>(t.size()));
    b.insert(b.end(), t.begin(), t.end());
}
bytes serialized(const ZebDataInterface& p) {
    bytes out(p.size());
    p.serialize(out.data(), out.size());
    return out;
}
bool parses(const bytes& body) {
    ZebRequest request;
    return request.parse_body(body.data(), body.size());
}

TEST(Payload, RawDataFormAndCapacity) {
    ZebRawData raw(&ZebRawDataFactory::instance());
    raw.data = "abc";
    EXPECT_EQ(raw.size(), 7u);
    EXPECT_EQ(serialized(raw), (bytes{3, 0, 0, 0, 'a', 'b', 'c'}));
    bytes small(6, 0xee);
    raw.serialize(small.data(), small.size());
    EXPECT_EQ(small, bytes(6, 0xee)) << "a short buffer is left untouched";

    ZebRawData back(&ZebRawDataFactory::instance());
    const bytes form = serialized(raw);
    EXPECT_TRUE(back.deserialize(form.data(), form.size()));
    EXPECT_EQ(back.data, "abc");
    EXPECT_FALSE(back.deserialize(form.data(), 6)) << "length beyond the available bytes";
    EXPECT_FALSE(back.deserialize(form.data(), 3));
    bytes negative;
    word(negative, -1);
    EXPECT_FALSE(back.deserialize(negative.data(), negative.size()));
}

TEST(Payload, FileAndFileListRoundTrip) {
    ZebFileList list(&ZebFileListFactory::instance());
    list.names = {"one.txt", "two"};
    const bytes names_only = serialized(list);
    EXPECT_EQ(names_only.size(), list.size());
    ZebFileList names_back(&ZebFileListFactory::instance());
    ASSERT_TRUE(names_back.deserialize(names_only.data(), names_only.size()));
    EXPECT_EQ(names_back.names, list.names);
    EXPECT_TRUE(names_back.files.empty());

    ZebFileList files(&ZebFileListFactory::instance());
    files.add_file("a.txt")->content = std::string("x\0y", 3);
    files.add_file("b.bin")->content = "longer content";
    EXPECT_EQ(files.files[0]->factory(), &ZebFileFactory::instance());
    const bytes form = serialized(files);
    EXPECT_EQ(form.size(), 4u + 4u + (8 + 5 + 3) + (8 + 5 + 14));
    ZebFileList back(&ZebFileListFactory::instance());
    ASSERT_TRUE(back.deserialize(form.data(), form.size()));
    ASSERT_EQ(back.files.size(), 2u);
    EXPECT_EQ(back.files[0]->name, "a.txt");
    EXPECT_EQ(back.files[0]->content, std::string("x\0y", 3));
    EXPECT_EQ(back.files[1]->name, "b.bin");
    EXPECT_EQ(back.files[1]->content, "longer content");
    // Every cut of the form short of its end fails cleanly.
    for (std::size_t cut = 0; cut < form.size(); ++cut) {
        ZebFileList part(&ZebFileListFactory::instance());
        EXPECT_FALSE(part.deserialize(form.data(), cut)) << cut;
    }
}

TEST(Payload, FactoriesByTypeCode) {
    EXPECT_EQ(&factory_for_type(ITEM_FILE), &ZebFileListFactory::instance());
    EXPECT_EQ(&factory_for_type(ITEM_DATA), &ZebRawDataFactory::instance());
    EXPECT_EQ(&factory_for_type(0x61626364), &ZebRawDataFactory::instance());
    auto p = ZebFileListFactory::instance().create();
    EXPECT_EQ(p->factory(), &ZebFileListFactory::instance());
    EXPECT_NE(dynamic_cast<ZebFileList*>(p.get()), nullptr);
}

TEST(RequestBody, AcceptsWellFormedItems) {
    bytes body;
    word(body, 3);
    word(body, static_cast<std::int32_t>(ITEM_DATA));
    text(body, "hello");
    word(body, static_cast<std::int32_t>(ITEM_FILE));
    word(body, 1);
    text(body, "song.txt");
    word(body, 0);
    word(body, 0x61626364); // 'abcd' is carried as raw data
    text(body, "");
    ZebRequest request;
    ASSERT_TRUE(request.parse_body(body.data(), body.size()));
    ASSERT_EQ(request.items().size(), 3u);
    EXPECT_EQ(request.find_data(ITEM_DATA)->data, "hello");
    ASSERT_NE(request.find_file_list(), nullptr);
    EXPECT_EQ(request.find_file_list()->names, std::vector<std::string>{"song.txt"});
    EXPECT_NE(dynamic_cast<ZebRawData*>(request.find_item(0x61626364)), nullptr);
    EXPECT_EQ(request.find_item(ITEM_ERROR), nullptr);
}

TEST(RequestBody, RejectsMalformedBodies) {
    EXPECT_FALSE(parses({}));
    EXPECT_FALSE(parses({1}));
    EXPECT_FALSE(parses({1, 0, 0}));
    bytes zero;
    word(zero, 0);
    EXPECT_FALSE(parses(zero)) << "count 0";
    bytes count_only;
    word(count_only, 1);
    EXPECT_FALSE(parses(count_only)) << "items missing";
    bytes short_raw;
    word(short_raw, 1);
    word(short_raw, static_cast<std::int32_t>(ITEM_DATA));
    word(short_raw, 5);
    short_raw.insert(short_raw.end(), {'a', 'b', 'c'});
    EXPECT_FALSE(parses(short_raw));
    bytes stray;
    word(stray, 1);
    word(stray, static_cast<std::int32_t>(ITEM_DATA));
    text(stray, "ab");
    EXPECT_TRUE(parses(stray));
    stray.push_back(0);
    EXPECT_FALSE(parses(stray)) << "one stray byte";
    bytes negative;
    word(negative, -1);
    word(negative, static_cast<std::int32_t>(ITEM_DATA));
    text(negative, "ab");
    EXPECT_FALSE(parses(negative)) << "a negative count fails once the bytes run out";
    bytes truncated_type;
    word(truncated_type, 2);
    word(truncated_type, static_cast<std::int32_t>(ITEM_DATA));
    text(truncated_type, "ab");
    truncated_type.insert(truncated_type.end(), {'a', 't'});
    EXPECT_FALSE(parses(truncated_type));
}

TEST(ResponseFrame, HeaderAndBodyBytes) {
    ZebResponse empty;
    empty.request_id = 9;
    empty.action = 1;
    const bytes frame = empty.serialize();
    bytes expected;
    for (std::int32_t v : {2, 9, 1, 0, 0, 0}) {
        word(expected, v);
    }
    EXPECT_EQ(frame, expected);

    ZebResponse data;
    data.add_item(ITEM_DATA);
    const bytes f2 = data.serialize();
    ASSERT_EQ(f2.size(), 24u + 12u);
    EXPECT_EQ(zs::net::read_word(f2.data() + 20), 12);
    EXPECT_EQ(bytes(f2.begin() + 24, f2.end()),
              (bytes{1, 0, 0, 0, 'a', 't', 'a', 'd', 0, 0, 0, 0}));

    ZebResponse file;
    file.add_file_list()->add_file("n")->content = "c";
    const bytes f3 = file.serialize();
    EXPECT_EQ(std::string(f3.begin() + 28, f3.begin() + 32), "elif");
    ZebResponse back;
    ASSERT_TRUE(parse_response_body(back, f3.data() + 24, f3.size() - 24));
    EXPECT_EQ(back.find_file_list()->files.at(0)->content, "c");
}

TEST(RequestHeader, RoundTrip) {
    const REQUEST_HEADER h{2, 7, 1, 13, -4, 5, 16};
    const auto b = h.to_bytes();
    const auto back = REQUEST_HEADER::from_bytes(b.data());
    EXPECT_EQ(back.param1, -4);
    EXPECT_EQ(back.body_length, 16);
    EXPECT_EQ(b[12], 13);
}

TEST(Password, DefaultSkipsCheckOtherNeedsExactDigest) {
    const std::array<std::uint8_t, 16> challenge{1, 2,  3,  4,  5,  6,  7,  8,
                                                 9, 10, 11, 12, 13, 14, 15, 16};
    const std::array<std::uint8_t, 16> zeros{};
    EXPECT_TRUE(password_accepts("kxvwq", challenge, zeros));
    EXPECT_FALSE(password_accepts("secret", challenge, zeros));
    EXPECT_TRUE(password_accepts("secret", challenge, challenge_digest(challenge, "secret")));
    EXPECT_FALSE(password_accepts("secret", challenge, challenge_digest(challenge, "SECRET")));
    // With an empty password the digest is MD5 of sixteen zero bytes: 4a e7 13 36 ...
    const auto d = challenge_digest(zeros, "");
    EXPECT_EQ(d[0], 0x4a);
    EXPECT_EQ(d[1], 0xe7);
}

} // namespace
