// Reading and saving config.txt and OrvantaPath.txt byte for byte.
#include "core/config_store.hpp"
#include "platform/files.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <system_error>
#include <utility>
#include <vector>

namespace {

using zs::core::config_store;
using zs::test::temp_folder;

std::string read(const std::string& path) {
    std::string text;
    zs::platform::read_file(path, text);
    return text;
}

void write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(zs::platform::write_file(path, text));
}

std::string uuid_line(const config_store& c) {
    return "UUID=" + c.identity_text();
}

TEST(ConfigStore, NoFileCreatesTheFiveLinesInOrder) {
    temp_folder dir;
    config_store c;
    c.load(dir.path());
    EXPECT_EQ(read(dir / "config.txt"),
              "IdleTimeToShutDownZEBW3=30\r\nLanguage=default\r\nSERVER_NAME=Zebrix Server\r\n"
              "ServerPassword=kxvwq\r\n" +
                  uuid_line(c));
    EXPECT_EQ(read(dir / "OrvantaPath.txt"), "OrvantaPath=/opt/Orvanta/orvanta.exe\r\n");
    EXPECT_EQ(c.password(), "kxvwq");
    EXPECT_EQ(c.idle_minutes(), 30);
    EXPECT_EQ(c.stemora_folder(), "");
    EXPECT_EQ(c.orvanta_folder(), "/opt/Orvanta/");
    EXPECT_FALSE(c.debug_mode());

    config_store again;
    again.load(dir.path());
    EXPECT_EQ(again.identity_text(), c.identity_text());
}

TEST(ConfigStore, ZeroByteFileKeepsItsEmptyFirstLine) {
    temp_folder dir;
    write(dir / "config.txt", "");
    config_store c;
    c.load(dir.path());
    EXPECT_EQ(read(dir / "config.txt"),
              "\r\nIdleTimeToShutDownZEBW3=30\r\nLanguage=default\r\nSERVER_NAME=Zebrix "
              "Server\r\nServerPassword=kxvwq\r\n" +
                  uuid_line(c));
}

TEST(ConfigStore, HandEditedLinesSurviveASave) {
    temp_folder dir;
    const std::string uuid = "0123abcd-0000-4000-8000-00000000beef";
    write(dir / "config.txt", "# my notes\r\n"
                              "\r\n"
                              "  SERVER_NAME  =  Studio A  \r\n"
                              "=raw line\r\n"
                              "Custom=a=b\r\n"
                              "ServerPassword=Secret\r\n"
                              "Custom=second\r\n"
                              "serverpassword=other\r\n"
                              "IdleTimeToShutDownZEBW3=-12abc\r\n"
                              "Language=fr\r\n"
                              "UUID=" +
                                  uuid + "\r\n");
    config_store c;
    c.load(dir.path());
    EXPECT_EQ(c.server_name(), "Studio A");
    EXPECT_EQ(c.password(), "secret");
    EXPECT_EQ(c.idle_minutes(), -12);
    EXPECT_EQ(c.identity_text(), uuid);
    // Nothing was missing, so load wrote nothing.
    ASSERT_TRUE(c.save());
    EXPECT_EQ(read(dir / "config.txt"), "# my notes\r\n"
                                        "\r\n"
                                        "SERVER_NAME=Studio A\r\n"
                                        "=raw line\r\n"
                                        "Custom=second\r\n"
                                        "ServerPassword=secret\r\n"
                                        "Custom=second\r\n"
                                        "serverpassword=other\r\n"
                                        "IdleTimeToShutDownZEBW3=-12\r\n"
                                        "Language=fr\r\n"
                                        "UUID=" +
                                            uuid + "\r\n");
}

TEST(ConfigStore, NormalisesValuesAndIdentity) {
    temp_folder dir;
    write(dir / "config.txt",
          "ServerPassword=" + std::string(70, 'A') +
              "\nIdleTimeToShutDownZEBW3=abc\nUUID={0123ABCD00004000800000000000BEEF}");
    config_store c;
    c.load(dir.path());
    EXPECT_EQ(c.password(), std::string(64, 'a'));
    EXPECT_EQ(c.idle_minutes(), 0);
    EXPECT_EQ(c.identity_text(), "0123abcd-0000-4000-8000-00000000beef");
    const auto bytes = c.identity_bytes();
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[15], 0xef);
    // Missing keys were appended; the identity went back in canonical form.
    const std::string saved = read(dir / "config.txt");
    EXPECT_NE(saved.find("UUID=0123abcd-0000-4000-8000-00000000beef"), std::string::npos);
    EXPECT_EQ(saved.find("CustomDirectoryForStemora"), std::string::npos);
}

TEST(ConfigStore, UnparsableIdentityIsReplaced) {
    temp_folder dir;
    write(dir / "config.txt", "UUID=not-a-uuid");
    config_store c;
    c.load(dir.path());
    EXPECT_EQ(c.identity_text().size(), 36u);
    EXPECT_NE(read(dir / "config.txt").find("UUID=" + c.identity_text()), std::string::npos);
}

TEST(ConfigStore, OrvantaPathRules) {
    temp_folder dir;
    write(dir / "OrvantaPath.txt", "Other=1\r\nOrvantaPath = /Music/Orvanta/Orvanta.EXE\r\n");
    config_store c;
    c.load(dir.path());
    EXPECT_EQ(c.orvanta_path(), "/Music/Orvanta/Orvanta.EXE/");
    EXPECT_EQ(c.orvanta_folder(), "/Music/Orvanta/"); // case kept
    EXPECT_EQ(read(dir / "OrvantaPath.txt"),
              "Other=1\r\nOrvantaPath = /Music/Orvanta/Orvanta.EXE\r\n");

    // An empty value counts as missing: the default applies and the file is rewritten.
    write(dir / "OrvantaPath.txt", "OrvantaPath=\r\n");
    config_store d;
    d.load(dir.path());
    EXPECT_EQ(d.orvanta_path(), "/opt/Orvanta/orvanta.exe");
    EXPECT_EQ(read(dir / "OrvantaPath.txt"), "OrvantaPath=/opt/Orvanta/orvanta.exe\r\n");
}

TEST(ConfigStore, OrvantaFolderRule) {
    using zs::core::orvanta_folder_of;
#ifdef _WIN32
    EXPECT_EQ(orvanta_folder_of("D:\\Orvanta\\orvanta.exe"), "d:\\orvanta\\");
    EXPECT_EQ(orvanta_folder_of("C:\\x\\orvanta.exe\\Y\\ORVANTA.exe"), "c:\\x\\orvanta.exe\\y\\");
    // Without the program name the path is used unchanged.
    EXPECT_EQ(orvanta_folder_of("E:\\Programs\\Ov\\"), "E:\\Programs\\Ov\\");
#else
    EXPECT_EQ(orvanta_folder_of("/A/Orvanta/orvanta.exe/"), "/A/Orvanta/");
    EXPECT_EQ(orvanta_folder_of("/x/orvanta.exe/y/ORVANTA.exe"), "/x/orvanta.exe/y/");
    EXPECT_EQ(orvanta_folder_of("/Programs/Ov/"), "/Programs/Ov/");
#endif
    EXPECT_EQ(orvanta_folder_of("a"), "a");
}

TEST(ConfigStore, DebugMarkerAndSettersSave) {
    temp_folder dir;
    write(dir / "debug.txt", "");
    config_store c;
    c.load(dir.path());
    EXPECT_TRUE(c.debug_mode());
    c.set_password("MiXeD");
    c.set_idle_minutes(5);
    c.set_server_name("Room 2");
    ASSERT_TRUE(c.save());
    const std::string saved = read(dir / "config.txt");
    EXPECT_NE(saved.find("ServerPassword=mixed\r\n"), std::string::npos);
    EXPECT_NE(saved.find("IdleTimeToShutDownZEBW3=5\r\n"), std::string::npos);
    EXPECT_NE(saved.find("SERVER_NAME=Room 2\r\n"), std::string::npos);
}

TEST(ConfigStore, PasswordLowersExactlyTheAsciiCapitalsStoredAndLoaded) {
    // Every byte but the line ends, in slices that fit the 64-byte limit
    // with the space inside (the value is trimmed); the capitals map onto the
    // small letters by position, every other byte ('@', '[', 0x80...) stays.
    const std::string capitals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string smalls = "abcdefghijklmnopqrstuvwxyz";
    for (int from = 0x01; from <= 0xFF; from += 64) {
        std::string typed;
        std::string expected;
        for (int b = from; b < from + 64 && b <= 0xFF; ++b) {
            const char c = static_cast<char>(b);
            if (c == '\r' || c == '\n') {
                continue;
            }
            typed += c;
            const auto at = capitals.find(c);
            expected += at == std::string::npos ? c : smalls[at];
        }
        temp_folder dir;
        config_store c;
        c.load(dir.path());
        c.set_password(typed);
        EXPECT_EQ(c.password(), expected) << "bytes from " << from;
        ASSERT_TRUE(c.save());
        EXPECT_NE(read(dir / "config.txt").find("ServerPassword=" + expected + "\r\n"),
                  std::string::npos)
            << "bytes from " << from;
        config_store loaded;
        loaded.load(dir.path());
        EXPECT_EQ(loaded.password(), expected) << "bytes from " << from;

        // Typed by hand into the file, the capitals are lowered on load.
        write(dir / "config.txt", "ServerPassword=" + typed + "\r\n");
        config_store edited;
        edited.load(dir.path());
        EXPECT_EQ(edited.password(), expected) << "bytes from " << from;
    }
}

TEST(ConfigStore, SaveThatCannotWriteReportsFalseAndKeepsSettings) {
    temp_folder dir;
    config_store c;
    c.load(dir.path() + "missing/"); // the folder does not exist: nothing can be written
    EXPECT_FALSE(zs::platform::file_exists(dir / "missing/config.txt"));
    c.set_server_name("changed");
    EXPECT_FALSE(c.save());
    EXPECT_EQ(c.server_name(), "changed");
    EXPECT_EQ(c.password(), "kxvwq");
    // The operator is told which file and why, and that nothing will last.
    const std::string why = c.save_failure();
    const std::string named = dir.path() + "missing/config.txt: ";
    ASSERT_NE(why.find(named), std::string::npos) << why;
    const std::string reason = why.substr(why.find(named) + named.size());
    // The system's own reason, not the text of "no error".
    EXPECT_NE(reason.rfind(std::generic_category().message(0), 0), 0u) << why;
    EXPECT_NE(reason.rfind(std::system_category().message(0), 0), 0u) << why;
    EXPECT_NE(reason.rfind(")", 0), 0u) << why;
    EXPECT_NE(why.find("last only until the server stops"), std::string::npos) << why;

    config_store fine;
    fine.load(dir.path());
    EXPECT_EQ(fine.save_failure(), "");
}

// An unreadable file must never be taken for a first start: its defaults
// would switch password checking off and replace the identity.
TEST(ConfigStore, ExistingButUnreadableFilesAreReportedAndNeverRewritten) {
    temp_folder dir;
    ASSERT_TRUE(zs::platform::make_folders(dir / "config.txt/"));
    config_store c;
    EXPECT_FALSE(c.load(dir.path()));
    EXPECT_NE(c.load_error().find(dir / "config.txt"), std::string::npos) << c.load_error();
    EXPECT_NE(c.load_error().find("Is a directory"), std::string::npos) << c.load_error();
    EXPECT_TRUE(zs::platform::folder_exists(dir / "config.txt/"));
    EXPECT_FALSE(zs::platform::file_exists(dir / "OrvantaPath.txt"));

    temp_folder other;
    write(other / "config.txt", "ServerPassword=secret\r\nUUID=x\r\n");
    ASSERT_TRUE(zs::platform::make_folders(other / "OrvantaPath.txt/"));
    config_store d;
    EXPECT_FALSE(d.load(other.path()));
    EXPECT_NE(d.load_error().find(other / "OrvantaPath.txt"), std::string::npos) << d.load_error();
    EXPECT_EQ(read(other / "config.txt"), "ServerPassword=secret\r\nUUID=x\r\n");
    EXPECT_TRUE(zs::platform::folder_exists(other / "OrvantaPath.txt/"));

    // A file that became unreadable while the server runs is left as it is.
    temp_folder third;
    config_store e;
    ASSERT_TRUE(e.load(third.path()));
    ASSERT_TRUE(zs::platform::remove_file(third / "config.txt"));
    ASSERT_TRUE(zs::platform::make_folders(third / "config.txt/"));
    EXPECT_FALSE(e.save());
    EXPECT_TRUE(zs::platform::folder_exists(third / "config.txt/"));
}

// Notepad's "UTF-8 with BOM" hid the first key (the factory password came
// back) and its "Unicode" was read as no key at all and appended to in ASCII.
TEST(ConfigStore, NotepadEncodingsAreReadAsSavedAndKeptOnSaving) {
    const std::string uuid = "0123abcd-0000-4000-8000-00000000beef";
    const std::string text = "ServerPassword=Secret\r\nSERVER_NAME=Studio\r\nUUID=" + uuid;
    auto utf16 = [](const std::string& ascii, bool big_endian) {
        std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char c : ascii) {
            out += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
        }
        return out;
    };
    const std::vector<std::pair<std::string, std::function<std::string(const std::string&)>>>
        encodings = {{"UTF-8 with BOM", [](const std::string& t) { return "\xEF\xBB\xBF" + t; }},
                     {"UTF-16 LE", [&](const std::string& t) { return utf16(t, false); }},
                     {"UTF-16 BE", [&](const std::string& t) { return utf16(t, true); }}};
    for (const auto& [name, encode] : encodings) {
        SCOPED_TRACE(name);
        temp_folder dir;
        write(dir / "config.txt", encode(text));
        config_store c;
        ASSERT_TRUE(c.load(dir.path())) << c.load_error();
        EXPECT_EQ(c.password(), "secret");
        EXPECT_EQ(c.server_name(), "Studio");
        EXPECT_EQ(c.identity_text(), uuid);
        // The missing keys were added in the file's own encoding, nothing twice.
        EXPECT_EQ(read(dir / "config.txt"),
                  encode("ServerPassword=secret\r\nSERVER_NAME=Studio\r\nUUID=" + uuid +
                         "\r\nIdleTimeToShutDownZEBW3=30\r\nLanguage=default"));
    }
}

// A settings file the server cannot read back unchanged stops it, like an
// unreadable one, and is never rewritten.
TEST(ConfigStore, SettingsInAnEncodingTheServerCannotReadStopItUntouched) {
    const std::vector<std::string> unreadable = {
        std::string("\xFF\xFES\0=\0\x00\xD8x\0", 10), // a lone surrogate
        std::string("\xFF\xFES\0=\0x", 7),            // cut in half a character
        std::string("S\0e\0r\0v\0e\0r\0=\0x\0", 16)}; // UTF-16 without its mark
    for (const auto& bytes : unreadable) {
        temp_folder dir;
        write(dir / "config.txt", bytes);
        config_store c;
        EXPECT_FALSE(c.load(dir.path()));
        EXPECT_NE(c.load_error().find(dir / "config.txt"), std::string::npos) << c.load_error();
        EXPECT_EQ(read(dir / "config.txt"), bytes);
        EXPECT_FALSE(zs::platform::file_exists(dir / "OrvantaPath.txt"));
    }
}

// An OrvantaPath.txt with a BOM, or one holding text without a usable path,
// was replaced by the default: the user's path was lost.
TEST(ConfigStore, OrvantaPathFileIsOnlyRewrittenWhenEmpty) {
    const char sep = zs::platform::path_separator;
    const std::string program = std::string("Ov") + sep + "orvanta.exe";
    temp_folder dir;
    const std::string with_bom = "\xEF\xBB\xBFOrvantaPath=" + program + "\r\n";
    write(dir / "OrvantaPath.txt", with_bom);
    config_store c;
    ASSERT_TRUE(c.load(dir.path()));
    EXPECT_EQ(c.orvanta_path(), program + sep);
    EXPECT_EQ(read(dir / "OrvantaPath.txt"), with_bom);
    EXPECT_EQ(c.load_notice(), "");

    const std::string plain_path = program + "\r\n"; // no key
    write(dir / "OrvantaPath.txt", plain_path);
    config_store d;
    ASSERT_TRUE(d.load(dir.path()));
    EXPECT_EQ(d.orvanta_path(), zs::core::default_orvanta_path);
    EXPECT_EQ(read(dir / "OrvantaPath.txt"), plain_path);
    EXPECT_NE(d.load_notice().find(dir / "OrvantaPath.txt"), std::string::npos) << d.load_notice();

    // An empty file saved with a BOM is filled in and keeps its BOM.
    write(dir / "OrvantaPath.txt", "\xEF\xBB\xBF");
    config_store e;
    ASSERT_TRUE(e.load(dir.path()));
    EXPECT_EQ(read(dir / "OrvantaPath.txt"),
              std::string("\xEF\xBB\xBFOrvantaPath=") + zs::core::default_orvanta_path + "\r\n");
    EXPECT_EQ(e.load_notice(), "");
}

TEST(ConfigStore, LineSplitting) {
    using zs::core::split_lines;
    EXPECT_EQ(split_lines(""), std::vector<std::string>{""});
    EXPECT_EQ(split_lines("a\r\nb\n"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(split_lines("a\rb"), std::vector<std::string>{"a\rb"});
    EXPECT_EQ(zs::core::parse_leading_int("  42x"), 42);
    EXPECT_EQ(zs::core::parse_leading_int("-7"), -7);
    EXPECT_EQ(zs::core::parse_leading_int("99999999999"), 2147483647);
}

} // namespace
