#pragma once
// Reads the worked examples of docs/protocol.md: fenced blocks that begin
// with "# example: NAME" (a byte exchange) or "# digest: PASSWORD".
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zs::test::docs {

// One expected or sent byte; `any` matches every value.
struct pattern_byte {
    std::uint8_t value = 0;
    bool any = false;
};

struct step {
    bool from_client = true;
    std::vector<pattern_byte> bytes;
};

struct example {
    std::string name;
    bool udp = false;
    bool repeat = false;                       // poll on new connections until the answer matches
    bool closed = false;                       // the server closes after the last step
    std::map<std::string, std::string> config; // config.txt lines beyond the defaults
    std::vector<step> steps;
};

struct digest_example {
    std::string password;
    std::vector<std::uint8_t> challenge;
    std::vector<std::uint8_t> answer;
};

struct document {
    std::vector<example> examples;
    std::vector<digest_example> digests;
};

// Parses the Markdown text; a malformed example line gives an error text.
std::optional<document> parse(const std::string& markdown, std::string& error);

// Whether the received bytes match the expected pattern exactly.
bool matches(const std::vector<pattern_byte>& expected, const std::vector<std::uint8_t>& got);
std::vector<std::uint8_t> values(const std::vector<pattern_byte>& bytes);
std::string hex(const std::vector<std::uint8_t>& bytes);

} // namespace zs::test::docs
