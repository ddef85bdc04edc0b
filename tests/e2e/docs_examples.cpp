#include "tests/e2e/docs_examples.hpp"

#include "core/text.hpp"

#include <charconv>
#include <cstdio>
#include <sstream>

namespace zs::test::docs {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return "";
    }
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The part of a line before a ';' that is not inside quotes.
std::string strip_comment(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ';' && !quoted) {
            return line.substr(0, i);
        }
    }
    return line;
}

bool parse_count(const std::string& text, std::size_t& n) {
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && p == text.data() + text.size();
}

// Tokens: hex pairs, "..", "text", [N zeros], [N bytes].
bool parse_bytes(const std::string& text, std::vector<pattern_byte>& out) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '"') {
            const auto end = text.find('"', i + 1);
            if (end == std::string::npos) {
                return false;
            }
            for (std::size_t k = i + 1; k < end; ++k) {
                out.push_back({static_cast<std::uint8_t>(text[k]), false});
            }
            i = end + 1;
        } else if (c == '[') {
            const auto end = text.find(']', i);
            if (end == std::string::npos) {
                return false;
            }
            std::istringstream in(text.substr(i + 1, end - i - 1));
            std::string count;
            std::string kind;
            std::size_t n = 0;
            if (!(in >> count >> kind) || !parse_count(count, n) ||
                (kind != "zeros" && kind != "bytes")) {
                return false;
            }
            out.insert(out.end(), n, pattern_byte{0, kind == "bytes"});
            i = end + 1;
        } else if (text.compare(i, 2, "..") == 0) {
            out.push_back({0, true});
            i += 2;
        } else {
            unsigned value = 0;
            auto [p, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
            if (i + 2 > text.size() || ec != std::errc() || p != text.data() + i + 2) {
                return false;
            }
            out.push_back({static_cast<std::uint8_t>(value), false});
            i += 2;
        }
    }
    return true;
}

bool parse_line(const std::string& raw, example& ex) {
    const std::string line = trim(raw);
    if (line.empty()) {
        return true;
    }
    if (line == "# udp") {
        ex.udp = true;
    } else if (line == "# repeat") {
        ex.repeat = true;
    } else if (line == "# closed") {
        ex.closed = true;
    } else if (line.rfind("# config: ", 0) == 0) {
        const std::string kv = line.substr(10);
        const auto pair = core::split_key_value(kv);
        if (!pair) {
            return false;
        }
        ex.config[std::string(pair->first)] = pair->second;
    } else if (line.rfind("C>", 0) == 0 || line.rfind("S>", 0) == 0) {
        const bool client = line[0] == 'C';
        if (ex.steps.empty() || ex.steps.back().from_client != client) {
            ex.steps.push_back({client, {}});
        }
        return parse_bytes(strip_comment(line.substr(2)), ex.steps.back().bytes);
    } else {
        return false;
    }
    return true;
}

bool parse_digest_line(const std::string& raw, digest_example& d) {
    const std::string line = trim(raw);
    std::vector<pattern_byte> bytes;
    std::vector<std::uint8_t>* target = nullptr;
    if (line.rfind("challenge ", 0) == 0) {
        target = &d.challenge;
    } else if (line.rfind("answer ", 0) == 0) {
        target = &d.answer;
    } else {
        return line.empty();
    }
    if (!parse_bytes(strip_comment(line.substr(line.find(' '))), bytes)) {
        return false;
    }
    *target = values(bytes);
    return true;
}

} // namespace

std::optional<document> parse(const std::string& markdown, std::string& error) {
    document doc;
    std::istringstream in(markdown);
    std::string line;
    std::vector<std::string> block;
    bool inside = false;
    int number = 0;
    int block_start = 0;
    while (std::getline(in, line)) {
        ++number;
        if (trim(line).rfind("```", 0) != 0) {
            if (inside) {
                block.push_back(line);
            }
            continue;
        }
        if (!inside) {
            inside = true;
            block.clear();
            block_start = number;
            continue;
        }
        inside = false;
        if (block.empty()) {
            continue;
        }
        const std::string head = trim(block.front());
        const std::string where = "block at line " + std::to_string(block_start);
        if (head.rfind("# example: ", 0) == 0) {
            example ex;
            ex.name = head.substr(11);
            for (std::size_t i = 1; i < block.size(); ++i) {
                if (!parse_line(block[i], ex)) {
                    error = where + ": cannot read \"" + block[i] + "\"";
                    return std::nullopt;
                }
            }
            doc.examples.push_back(std::move(ex));
        } else if (head.rfind("# digest: ", 0) == 0) {
            digest_example d;
            d.password = head.substr(10);
            for (std::size_t i = 1; i < block.size(); ++i) {
                if (!parse_digest_line(block[i], d)) {
                    error = where + ": cannot read \"" + block[i] + "\"";
                    return std::nullopt;
                }
            }
            doc.digests.push_back(std::move(d));
        }
    }
    if (inside) {
        error = "unterminated block at line " + std::to_string(block_start);
        return std::nullopt;
    }
    return doc;
}

bool matches(const std::vector<pattern_byte>& expected, const std::vector<std::uint8_t>& got) {
    if (expected.size() != got.size()) {
        return false;
    }
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (!expected[i].any && expected[i].value != got[i]) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> values(const std::vector<pattern_byte>& bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    for (const auto& b : bytes) {
        out.push_back(b.value);
    }
    return out;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char two[4];
    for (const auto b : bytes) {
        std::snprintf(two, sizeof two, "%02x ", b);
        out += two;
    }
    return out;
}

} // namespace zs::test::docs
