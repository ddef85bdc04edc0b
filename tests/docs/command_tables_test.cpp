// The command tables of the guide (docs/protocol.md) against the tables the
// server, the stand-ins and the client read: a code added to one and
// forgotten in the other, or a row whose pattern or texts differ, fails here.
#include "orvanta/command_table.hpp"
#include "orvanta/ov_settings.hpp"
#include "platform/files.hpp"
#include "protocol/zeb_message.hpp"
#include "zebrix/command_table.hpp"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using row = std::vector<std::string>;

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    const auto last = s.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

// The body rows of the first Markdown table after the heading `heading`.
std::vector<row> table_after(const std::string& doc, const std::string& heading) {
    std::vector<row> rows;
    const auto at = doc.find("\n" + heading + "\n");
    if (at == std::string::npos) {
        return rows;
    }
    std::istringstream in(doc.substr(at + heading.size() + 2));
    std::string line;
    bool in_table = false;
    int line_no = 0;
    while (std::getline(in, line)) {
        if (line.rfind("|", 0) != 0) {
            if (in_table) {
                break;
            }
            continue;
        }
        in_table = true;
        if (++line_no <= 2) {
            continue; // the header and its rule
        }
        row cells;
        std::string cell;
        for (std::size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '|') {
                cells.push_back(trim(cell));
                cell.clear();
            } else {
                cell += line[i];
            }
        }
        rows.push_back(cells);
    }
    return rows;
}

// "4, 5, 9, 11 to 17" -> {4, 5, 9, 11, ..., 17}; the bound after "below" or
// "above" and words other than numbers and "to" are ignored.
std::set<int> codes_of(const std::string& cell) {
    std::set<int> codes;
    std::string text = cell;
    for (char& c : text) {
        if (c == ',') {
            c = ' ';
        }
    }
    std::istringstream in(text);
    std::string word;
    int last = -1;
    bool range = false;
    bool bound = false;
    while (in >> word) {
        if (word == "to") {
            range = true;
            continue;
        }
        if (word == "below" || word == "above") {
            bound = true;
            continue;
        }
        if (std::exchange(bound, false)) {
            continue;
        }
        if (word.find_first_not_of("0123456789") != std::string::npos) {
            range = false;
            continue;
        }
        const int n = std::stoi(word);
        if (range && last >= 0) {
            for (int c = last + 1; c <= n; ++c) {
                codes.insert(c);
            }
        } else {
            codes.insert(n);
        }
        last = n;
        range = false;
    }
    return codes;
}

std::string guide() {
    std::string text;
    EXPECT_TRUE(zs::platform::read_file(ZS_DOCS_DIR "/protocol.md", text));
    return text;
}

// How the guide names each Zebrix failure text.
std::string guide_text(const char* failure) {
    const std::string text = failure;
    return text == zs::zebrix::TEXT_NOT_RUNNING ? "not running" : "\"" + text + "\"";
}

// Whether the failure cell gives `text` as the program's refusal ("4, r, "
// or "4, 9999, " before it), not merely somewhere in the cell: the 2, 3 cell
// names two texts, and a row with the other one passed.
bool names_refusal(const std::string& cell, const std::string& text) {
    static const std::regex refusal("4, (r|[0-9]+), $");
    for (auto at = cell.find(text); at != std::string::npos; at = cell.find(text, at + 1)) {
        if (std::regex_search(cell.substr(0, at), refusal)) {
            return true;
        }
    }
    return false;
}

TEST(CommandTables, ZebrixGuideAndTableAgree) {
    using namespace zs::zebrix;
    const auto rows = table_after(guide(), "### Zebrix (client type 1)");
    ASSERT_FALSE(rows.empty()) << "the guide's Zebrix command table is missing";
    std::set<int> documented;
    for (const row& r : rows) {
        ASSERT_EQ(r.size(), 4u) << r.front();
        if (r[0] == "any other") {
            EXPECT_NE(r[3].find(TEXT_UNKNOWN_COMMAND), std::string::npos);
            continue;
        }
        const std::set<int> codes = codes_of(r[0]);
        ASSERT_FALSE(codes.empty()) << r[0];
        const zebw_command* first = find_zebw_command(*codes.begin());
        for (const int code : codes) {
            documented.insert(code);
            const zebw_command* command = find_zebw_command(code);
            ASSERT_NE(command, nullptr) << "code " << code << " is in the guide only";
            EXPECT_EQ(command->pattern, first->pattern) << "code " << code << " in row " << r[0];
            EXPECT_TRUE(names_refusal(r[3], guide_text(command->failure)))
                << "code " << code << ": the guide's failure is " << r[3];
            const std::string answer = "(1, " + std::to_string(command->success_status) + ", 0)";
            EXPECT_NE(r[2].find(answer), std::string::npos)
                << "code " << code << ": the guide's answer is " << r[2];
        }
    }
    for (const zebw_command& command : ZEBW_COMMANDS) {
        EXPECT_TRUE(documented.count(command.code))
            << "code " << command.code << " is not in the guide";
    }
}

// The guide's words for each handling pattern, up to the first ':' or ','.
const std::map<zs::orvanta::ov_pattern, std::string> ov_handling = {
    {zs::orvanta::ov_pattern::plain_send, "sent"},
    {zs::orvanta::ov_pattern::plain_post, "posted"},
    {zs::orvanta::ov_pattern::posted_job, "posted job"},
    {zs::orvanta::ov_pattern::song_transfer, "song transfer"},
    {zs::orvanta::ov_pattern::track_names, "with `param2` 500"},
    {zs::orvanta::ov_pattern::section_names, "section names"},
    {zs::orvanta::ov_pattern::track_name_upload,
     "optional `ITEM_DATA` is written to `Track_Name.txt`"},
    {zs::orvanta::ov_pattern::folder_query, "folder query"},
    {zs::orvanta::ov_pattern::song_status, "song status"},
};

TEST(CommandTables, OrvantaGuideAndTableAgree) {
    using namespace zs::orvanta;
    const std::string doc = guide();
    const auto rows = table_after(doc, "### Orvanta (client type 2)");
    ASSERT_FALSE(rows.empty()) << "the guide's Orvanta command table is missing";
    std::set<int> documented;
    for (const row& r : rows) {
        ASSERT_EQ(r.size(), 3u) << r.front();
        if (r[0].rfind("any other", 0) == 0) {
            for (const int code : codes_of(r[0])) {
                EXPECT_EQ(find_ov_command(code), nullptr) << "code " << code << " is known";
            }
            continue;
        }
        const std::string handling = r[1].substr(0, r[1].find_first_of(":,"));
        for (const int code : codes_of(r[0])) {
            documented.insert(code);
            const ov_command* command = find_ov_command(code);
            ASSERT_NE(command, nullptr) << "code " << code << " is in the guide only";
            EXPECT_EQ(ov_handling.at(command->pattern), handling) << "code " << code;
        }
    }
    for (const ov_command& command : OV_COMMANDS) {
        EXPECT_TRUE(documented.count(command.code))
            << "code " << command.code << " is not in the guide";
        if (command.failure != nullptr) {
            const std::string text =
                command.failure == std::string(TEXT_NOT_RUNNING) ? "not running" : command.failure;
            EXPECT_NE(doc.find("| " + text + " |"), std::string::npos)
                << "code " << command.code << ": its failure text is not in the error table";
        }
    }
}

// The numbers the guide states against those the server keeps: a posted
// job's polls (tests run with shorter ones, so only this sees the default
// change) and the limits of one request.
TEST(CommandTables, GuideStatesTheServersTimingAndLimits) {
    const std::string doc = guide();
    const zs::orvanta::ov_timing timing;
    const std::string polls = std::to_string(timing.polls);
    const std::string wait = std::to_string(timing.poll_wait.count());
    EXPECT_NE(doc.find("| Orvanta posted job | " + polls + " polls at " + wait + " ms"),
              std::string::npos);
    EXPECT_NE(doc.find("polls the job state every " + wait + " ms, at most " + polls + " times"),
              std::string::npos);
    EXPECT_NE(doc.find("| file names per request | " +
                       std::to_string(zs::protocol::max_requested_names) + " "),
              std::string::npos);
    EXPECT_NE(doc.find("| " + std::string(zs::protocol::TEXT_TOO_MANY_NAMES) + " |"),
              std::string::npos);
    EXPECT_NE(doc.find("pass " + std::to_string(zs::protocol::max_unsent_bytes >> 20) + " MiB"),
              std::string::npos);
}

} // namespace
