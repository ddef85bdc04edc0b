// Replays the worked examples of docs/protocol.md byte for byte against the
// staged server, so the guide cannot drift from what the server sends.
// Examples whose names share the part before the first '-' (render-submit,
// render-status, ...) run in document order on one server; every other
// example gets a fresh server, so one example's session never affects the next.
#include "client/client_session.hpp"
#include "platform/files.hpp"
#include "tests/e2e/docs_examples.hpp"
#include "tests/support/staged_server.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace zs::test::docs;
using zs::test::staged_server;

const document& docs() {
    static const document doc = [] {
        std::string text;
        EXPECT_TRUE(zs::platform::read_file(ZS_DOCS_DIR "/protocol.md", text));
        std::string error;
        auto parsed = parse(text, error);
        EXPECT_TRUE(parsed.has_value()) << error;
        return parsed.value_or(document{});
    }();
    return doc;
}

std::vector<const example*> group(const std::string& prefix) {
    std::vector<const example*> out;
    for (const auto& ex : docs().examples) {
        if (ex.name.substr(0, ex.name.find('-')) == prefix) {
            out.push_back(&ex);
        }
    }
    return out;
}

void write_config(const staged_server& server, const example& ex) {
    std::map<std::string, std::string> config = {
        {"IdleTimeToShutDownZEBW3", "30"},
        {"Language", "default"},
        {"SERVER_NAME", "Demo Studio"},
        {"ServerPassword", "kxvwq"},
        {"UUID", "0f1e2d3c-4b5a-4978-8796-a5b4c3d2e1f0"},
    };
    for (const auto& [k, v] : ex.config) {
        config[k] = v;
    }
    std::string text;
    for (const auto& [k, v] : config) {
        text += k + "=" + v + "\r\n";
    }
    zs::platform::write_file(server.helper_dir() + "config.txt", text);
}

// One pass of a TCP example; an empty result means every byte matched.
std::string replay_tcp(const example& ex, std::uint16_t port) {
    zs::client::session s(20s); // the first Zebrix command may wait for the program's start
    if (!s.connect("127.0.0.1", port)) {
        return "connect: " + s.error();
    }
    int number = 0;
    for (const auto& st : ex.steps) {
        ++number;
        if (st.from_client) {
            const auto bytes = values(st.bytes);
            if (!s.write_bytes(bytes.data(), bytes.size())) {
                return "step " + std::to_string(number) + ": write: " + s.error();
            }
            continue;
        }
        const auto got = s.read_exact(st.bytes.size());
        if (!got) {
            return "step " + std::to_string(number) + ": read: " + s.error();
        }
        if (!matches(st.bytes, *got)) {
            return "step " + std::to_string(number) + ": got " + hex(*got);
        }
    }
    if (ex.closed) {
        s.set_timeout(20s);
        std::size_t extra = 0;
        if (!s.wait_closed(&extra) || extra != 0) {
            return "the server did not close the connection (" + std::to_string(extra) +
                   " more bytes)";
        }
    }
    return "";
}

std::string replay_udp(const example& ex, std::uint16_t port) {
    std::vector<std::uint8_t> request;
    std::vector<pattern_byte> expected;
    for (const auto& st : ex.steps) {
        if (st.from_client) {
            const auto bytes = values(st.bytes);
            request.insert(request.end(), bytes.begin(), bytes.end());
        } else {
            expected.insert(expected.end(), st.bytes.begin(), st.bytes.end());
        }
    }
    using boost::asio::ip::udp;
    boost::asio::io_context io;
    udp::socket sock(io, udp::endpoint(udp::v4(), 0));
    sock.send_to(boost::asio::buffer(request),
                 udp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port));
    std::vector<std::uint8_t> buffer(70000);
    std::optional<std::size_t> size;
    udp::endpoint from;
    sock.async_receive_from(boost::asio::buffer(buffer), from,
                            [&](const boost::system::error_code& ec, std::size_t n) {
                                if (!ec) {
                                    size = n;
                                }
                            });
    io.run_for(20s); // returns as soon as the reply is in
    if (!size) {
        return "no reply";
    }
    buffer.resize(*size);
    return matches(expected, buffer) ? "" : "got " + hex(buffer);
}

std::string replay(const example& ex, const staged_server& server) {
    if (ex.udp) {
        return replay_udp(ex, server.udp_port());
    }
    std::string why = replay_tcp(ex, server.tcp_port());
    // Polling: the answer may take a few rounds to reach the documented state.
    for (int round = 0; ex.repeat && !why.empty() && round < 40; ++round) {
        std::this_thread::sleep_for(250ms);
        why = replay_tcp(ex, server.tcp_port());
    }
    return why;
}

void replay_group(const std::string& prefix, std::size_t expected_count) {
    const auto examples = group(prefix);
    ASSERT_EQ(examples.size(), expected_count) << "examples named " << prefix;
    staged_server server;
    write_config(server, *examples.front());
    ASSERT_TRUE(server.start()) << server.stderr_text();
    for (const example* ex : examples) {
        EXPECT_EQ(replay(*ex, server), "") << "example " << ex->name;
    }
    EXPECT_EQ(server.stop(), 0);
}

TEST(DocsExamples, EveryExampleIsReplayedBelow) {
    std::set<std::string> names;
    for (const auto& ex : docs().examples) {
        EXPECT_FALSE(ex.steps.empty()) << ex.name;
        names.insert(ex.name);
    }
    // A new example must get its test; a renamed one must not be dropped silently.
    EXPECT_EQ(names, (std::set<std::string>{"refusal", "handshake", "track-values", "wrong-answer",
                                            "discovery", "render-submit", "render-status",
                                            "render-fetch", "render-gone"}));
    EXPECT_EQ(docs().digests.size(), 1u);
}

TEST(DocsExamples, DigestMatchesTheClientComputation) {
    for (const auto& d : docs().digests) {
        ASSERT_EQ(d.challenge.size(), 16u);
        std::array<std::uint8_t, 16> challenge{};
        std::copy(d.challenge.begin(), d.challenge.end(), challenge.begin());
        const auto answer = zs::client::answer_challenge(challenge, d.password);
        EXPECT_EQ(std::vector<std::uint8_t>(answer.begin(), answer.end()), d.answer);
    }
}

TEST(DocsExamples, Refusal) {
    replay_group("refusal", 1);
}
TEST(DocsExamples, HandshakeRequestAndEnd) {
    replay_group("handshake", 1);
}
TEST(DocsExamples, TrackValues) {
    replay_group("track", 1);
}
TEST(DocsExamples, WrongAnswer) {
    replay_group("wrong", 1);
}
TEST(DocsExamples, Discovery) {
    replay_group("discovery", 1);
}
TEST(DocsExamples, RenderJobSubmitPollFetch) {
    replay_group("render", 4);
}

TEST(DocsExampleParser, ReadsTokensAndRejectsGarbage) {
    std::string error;
    const auto doc = parse(
        "```\n# example: x\n# closed\nC> 01 \"ab\" [2 zeros] ; c\nS> .. [1 bytes]\n```\n", error);
    ASSERT_TRUE(doc) << error;
    ASSERT_EQ(doc->examples.size(), 1u);
    const auto& ex = doc->examples.front();
    EXPECT_TRUE(ex.closed);
    ASSERT_EQ(ex.steps.size(), 2u);
    EXPECT_EQ(values(ex.steps[0].bytes), (std::vector<std::uint8_t>{1, 'a', 'b', 0, 0}));
    EXPECT_TRUE(matches(ex.steps[1].bytes, {7, 9}));
    EXPECT_FALSE(matches(ex.steps[1].bytes, {7}));
    EXPECT_FALSE(parse("```\n# example: y\nC> 0g\n```\n", error));
    EXPECT_FALSE(parse("```\n# example: z\nS> [3 apples]\n```\n", error));
    EXPECT_FALSE(parse("```\n# example: open\n", error));
}

} // namespace
