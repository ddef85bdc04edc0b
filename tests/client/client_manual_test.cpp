// The manual pages and the bash completion follow the programs' help texts:
// every option, command, render verb and named command that a help text
// lists is in the manual page, and the completion offers it.
#include "platform/files.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

namespace {

std::set<std::string> options_in(const std::string& text) {
    static const std::regex option(R"((?:^|[\s\[(])(--?[a-z][a-z-]*))");
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

// The first word of each line of the block under `heading` (up to a blank line).
std::vector<std::string> block_words(const std::string& text, const std::string& heading) {
    std::vector<std::string> words;
    const auto start = text.find(heading + "\n");
    EXPECT_NE(start, std::string::npos) << heading << " in:\n" << text;
    std::istringstream lines(text.substr(start + heading.size() + 1));
    std::string line;
    while (std::getline(lines, line) && !line.empty()) {
        std::istringstream first(line);
        std::string word;
        if (line.rfind("    ", 0) != 0 && first >> word) {
            words.push_back(word);
        }
    }
    return words;
}

std::string help(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    std::string out, err;
    EXPECT_EQ(zs::test::run_program(args, {"ZEBRIX_TCP_PORT=1"}, out, err), 0) << err;
    return out;
}

// The manual page as a reader sees its words: "\-" is "-", font changes go.
std::string manual(const std::string& name) {
    std::string roff;
    EXPECT_TRUE(
        zs::platform::read_file(std::string(ZS_SOURCE_DIR) + "packaging/man/" + name + ".1", roff));
    std::string text = std::regex_replace(roff, std::regex(R"(\\f[BIRP])"), "");
    return std::regex_replace(text, std::regex(R"(\\-)"), "-");
}

void expect_in(const std::string& text, const std::string& word, const std::string& where) {
    static const std::regex boundary_chars("[^A-Za-z0-9-]");
    const std::regex whole("(^|[^A-Za-z0-9-])" +
                           std::regex_replace(word, std::regex(R"([.*+?()\[\]|\\^$])"), R"(\$&)") +
                           "($|[^A-Za-z0-9-])");
    EXPECT_TRUE(std::regex_search(text, whole)) << where << " lacks " << word;
}

struct client_help {
    std::string global;
    std::vector<std::string> commands;
    std::map<std::string, std::string> of; // command -> its help
};

client_help read_client_help() {
    client_help h;
    h.global = help(ZS_CLIENT_PROGRAM, {"--help"});
    h.commands = block_words(h.global, "Commands:");
    for (const auto& c : h.commands) {
        h.of[c] = help(ZS_CLIENT_PROGRAM, {c, "--help"});
    }
    return h;
}

TEST(ClientManual, ManualPagesNameWhatTheHelpTextsList) {
    const client_help h = read_client_help();
    ASSERT_EQ(h.commands.size(), 5u) << h.global;
    const std::string page = manual("zebrix-client");
    for (const auto& o : options_in(h.global)) {
        expect_in(page, o, "zebrix-client.1");
    }
    for (const auto& [command, text] : h.of) {
        expect_in(page, command, "zebrix-client.1");
        for (const auto& o : options_in(text)) {
            expect_in(page, o, "zebrix-client.1 (" + command + ")");
        }
    }
    for (const auto& verb : block_words(h.of.at("render"), "Verbs:")) {
        expect_in(page, "render " + verb, "zebrix-client.1");
    }
    for (const char* program : {"zebrix", "orvanta"}) {
        for (const auto& name : block_words(h.of.at(program), "Named commands:")) {
            expect_in(page, std::string(program) + " " + name, "zebrix-client.1");
            expect_in(h.global, std::string(program) + " " + name, "zebrix-client --help");
        }
    }

    const std::string desktop_help = help(ZS_DESKTOP_PROGRAM, {"--help"});
    const std::string desktop_page = manual("zebrix-desktop");
    for (const auto& o : options_in(desktop_help)) {
        expect_in(desktop_page, o, "zebrix-desktop.1");
    }
    for (const char* command : {"list", "find", "send", "post"}) {
        expect_in(desktop_help, std::string("zebrix-desktop ") + command, "zebrix-desktop --help");
        expect_in(desktop_page, std::string("zebrix-desktop ") + command, "zebrix-desktop.1");
    }

    const std::string server_help = help(ZS_SERVER_PROGRAM, {"--help"});
    ASSERT_FALSE(options_in(server_help).empty()) << server_help;
    const std::string server_page = manual("ZebrixServer");
    for (const auto& o : options_in(server_help)) {
        expect_in(server_page, o, "ZebrixServer.1");
    }
}

// What the completion offers for the words typed so far (the last one is
// the word being completed).
std::set<std::string> complete(const std::vector<std::string>& words) {
    std::vector<std::string> argv = {
        "/bin/bash", "-c",
        "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _zebrix_client; "
        "printf '%s\\n' \"${COMPREPLY[@]}\"",
        "bash", std::string(ZS_SOURCE_DIR) + "packaging/bash-completion/zebrix-client"};
    argv.insert(argv.end(), words.begin(), words.end());
    std::string out, err;
    EXPECT_EQ(zs::test::run_program(argv, {}, out, err), 0) << err;
    std::set<std::string> offered;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            offered.insert(line);
        }
    }
    return offered;
}

void expect_offered(const std::set<std::string>& offered, const std::string& word,
                    const std::string& where) {
    EXPECT_TRUE(offered.count(word)) << "completing '" << where << "' lacks " << word;
}

TEST(ClientManual, BashCompletionOffersWhatTheHelpLists) {
    const client_help h = read_client_help();
    const auto top = complete({"zebrix-client", ""});
    for (const auto& c : h.commands) {
        expect_offered(top, c, "zebrix-client");
    }
    const auto global_options = complete({"zebrix-client", "--"});
    const auto common = h.global.find("\nCommon options");
    ASSERT_NE(common, std::string::npos) << h.global;
    for (const auto& o :
         options_in(h.global.substr(common, h.global.find("\n\n", common) - common))) {
        if (o.rfind("--", 0) == 0) {
            expect_offered(global_options, o, "zebrix-client --");
        }
    }
    const auto verbs = complete({"zebrix-client", "--host", "h", "render", ""});
    for (const auto& verb : block_words(h.of.at("render"), "Verbs:")) {
        expect_offered(verbs, verb, "render");
    }
    const auto render_options = complete({"zebrix-client", "render", "run", "job.txt", "--"});
    for (const auto& o : options_in(h.of.at("render"))) {
        if (o.rfind("--", 0) == 0) {
            expect_offered(render_options, o, "render run job.txt --");
        }
    }
    for (const std::string program : {"zebrix", "orvanta"}) {
        const auto names = complete({"zebrix-client", program, ""});
        for (const auto& name : block_words(h.of.at(program), "Named commands:")) {
            expect_offered(names, name, program);
        }
        const auto options = complete({"zebrix-client", program, "1", "--text", "--x", "--"});
        for (const auto& o : options_in(h.of.at(program))) {
            if (o.rfind("--", 0) == 0) {
                expect_offered(options, o, program + " 1 --");
            }
        }
    }
    // A value is never completed as a command.
    EXPECT_TRUE(complete({"zebrix-client", "--port", ""}).empty());
}

TEST(ClientManual, ManualPagesFormatWithoutWarnings) {
    if (!zs::platform::file_exists("/usr/bin/groff")) {
        GTEST_SKIP() << "groff is not installed";
    }
    for (const char* page : {"ZebrixServer", "zebrix-client", "zebrix-desktop"}) {
        std::string out, err;
        EXPECT_EQ(
            zs::test::run_program({"/usr/bin/groff", "-man", "-Tutf8", "-ww", "-z",
                                   std::string(ZS_SOURCE_DIR) + "packaging/man/" + page + ".1"},
                                  {}, out, err),
            0);
        EXPECT_EQ(err, "") << page;
    }
}

} // namespace
