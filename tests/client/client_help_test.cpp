// zebrix-client's help: every command answers --help on standard output with
// status 0 and names each option and verb that docs/operating.md and the
// README's tour use; misuse gives status 2 and a message on standard error.
#include "platform/files.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

using options_by_command = std::map<std::string, std::set<std::string>>;

struct documented {
    std::set<std::string> common; // options before the command
    options_by_command commands;  // options and render verbs of each command
};

std::string read_doc(const std::string& name) {
    std::string text;
    EXPECT_TRUE(zs::platform::read_file(std::string(ZS_SOURCE_DIR) + name, text)) << name;
    return text;
}

std::set<std::string> options_in(const std::string& text) {
    static const std::regex option(R"((?:^|[\s\[`(])(--?[a-z][a-z-]*))");
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

// One "zebrix-client [common options] COMMAND [VERB] [arguments]" line; the
// command and a render verb are the first lower-case words.
void add_invocation(const std::string& line, documented& docs) {
    static const std::regex name("[a-z]+");
    std::istringstream words(line);
    std::string word;
    std::string command;
    bool verb_seen = false;
    words >> word; // zebrix-client
    while (words >> word && word != "#") {
        if (command.empty() && std::regex_match(word, name)) {
            command = word;
            docs.commands[command];
        } else if (command == "render" && !verb_seen && std::regex_match(word, name)) {
            docs.commands[command].insert(word);
            verb_seen = true;
        } else {
            for (const auto& o : options_in(word)) {
                (command.empty() ? docs.common : docs.commands[command]).insert(o);
            }
        }
    }
}

documented read_documented() {
    documented docs;
    const std::string guide = read_doc("docs/operating.md");
    const auto start = guide.find("\n## zebrix-client\n");
    EXPECT_NE(start, std::string::npos);
    std::istringstream lines(guide.substr(start, guide.find("\n## ", start + 1) - start));
    std::string line;
    static const std::regex span("`([^`]+)`");
    while (std::getline(lines, line)) {
        if (line.rfind("    zebrix-client ", 0) == 0) {
            add_invocation(line, docs);
        } else if (line.rfind("| `", 0) == 0) {
            // "| `render fetch ID -o OUT`, `render archive ID -o OUT` | what it does | status |"
            const std::string cells = line.substr(0, line.rfind('|', line.size() - 2));
            const std::string first_cell = cells.substr(0, cells.find(" | "));
            std::string command;
            for (std::sregex_iterator it(first_cell.begin(), first_cell.end(), span), end;
                 it != end; ++it) {
                add_invocation("zebrix-client " + (*it)[1].str(), docs);
                command = (*it)[1].str().substr(0, (*it)[1].str().find(' '));
            }
            for (const auto& o : options_in(cells.substr(first_cell.size()))) {
                docs.commands[command].insert(o);
            }
        }
    }
    const std::string readme = read_doc("README.md");
    std::istringstream tour(readme);
    while (std::getline(tour, line)) {
        if (line.rfind("    zebrix-client ", 0) == 0) {
            add_invocation(line, docs);
        }
    }
    return docs;
}

int run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::vector<std::string> argv{ZS_CLIENT_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    // No server listens on these ports; nothing here may reach one.
    return zs::test::run_program(argv, {"ZEBRIX_TCP_PORT=1", "ZEBRIX_UDP_PORT=1"}, out, err);
}

TEST(ClientHelp, EveryCommandDocumentsItsOptionsOnStandardOutput) {
    const documented docs = read_documented();
    ASSERT_TRUE(docs.common.count("--host")) << "the synopsis in docs/operating.md was not found";
    for (const char* name : {"discover", "info", "zebrix", "orvanta", "render"}) {
        ASSERT_TRUE(docs.commands.count(name)) << name << " is not documented";
    }
    ASSERT_TRUE(docs.commands.at("zebrix").count("--want"));
    ASSERT_TRUE(docs.commands.at("render").count("archive"));

    std::string out, err;
    for (const char* flag : {"--help", "-h"}) {
        ASSERT_EQ(run({flag}, out, err), 0) << err;
        EXPECT_EQ(err, "");
        for (const auto& option : docs.common) {
            EXPECT_NE(out.find(option), std::string::npos) << "global help lacks " << option;
        }
        for (const auto& [command, options] : docs.commands) {
            EXPECT_NE(out.find("  " + command + " "), std::string::npos)
                << "global help lacks " << command;
        }
    }
    for (const auto& [command, options] : docs.commands) {
        for (const char* flag : {"--help", "-h"}) {
            ASSERT_EQ(run({command, flag}, out, err), 0) << command << ": " << err;
            EXPECT_EQ(err, "") << command;
            for (const auto& option : options) {
                EXPECT_NE(out.find(option), std::string::npos)
                    << command << " " << flag << " lacks " << option << ":\n"
                    << out;
            }
        }
    }
    // Help asked for after other arguments, before anything is sent.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"zebrix", "4", "--first", "1", "--help"},
          {"orvanta", "102", "-h"},
          {"render", "submit", "--help"},
          {"--json", "render", "run", "-h"}}) {
        ASSERT_EQ(run(args, out, err), 0) << args[0] << " " << args[1] << ": " << err;
        EXPECT_NE(out.find("Usage: zebrix-client"), std::string::npos) << out;
        EXPECT_EQ(err, "");
    }
}

TEST(ClientHelp, MisuseIsReportedOnStandardErrorWithStatus2) {
    const std::vector<std::vector<std::string>> misuse = {
        {},
        {"frobnicate"},
        {"--bogus", "info"},
        {"--port", "70000", "info"},
        {"--timeout", "0", "info"},
        {"info", "--host"},
        {"--host"},
        {"discover", "extra"},
        {"zebrix"},
        {"zebrix", "1", "--first"},
        {"orvanta", "1", "--out"},
        {"orvanta", "1", "--action", "x"},
        {"render"},
        {"render", "fetch", "3"},
        {"render", "status", "-4"},
    };
    for (const auto& args : misuse) {
        std::string out, err;
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_EQ(run(args, out, err), 2) << joined;
        EXPECT_EQ(out, "") << joined;
        EXPECT_NE(err.find("--help"), std::string::npos) << joined << ": " << err;
    }
}

TEST(ClientHelp, DiscoverReportsAnAddressItCannotUse) {
    std::string out, err;
    // A name instead of an address used to end the program with an uncaught exception.
    EXPECT_EQ(run({"--host", "no-such-host", "discover"}, out, err), 1);
    EXPECT_NE(err.find("no-such-host"), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

} // namespace
