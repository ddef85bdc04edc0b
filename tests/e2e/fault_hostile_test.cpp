// A hostile client and hostile folders against the staged server: the
// server's own files asked for by name, an unreadable config.txt, a
// renderer orphaned by a crashed server, job texts that set the server's
// keys, a flood of waiting jobs; and the operator log that tells of them.
#include "client/client_session.hpp"
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "protocol/payload.hpp"
#include "protocol/reply_texts.hpp"
#include "tests/e2e/zebrix_e2e.hpp"
#include "tests/support/job_calls.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>
#include <tuple>

namespace {

using namespace zs;
using namespace zs::test;
using namespace std::chrono_literals;
using protocol::ITEM_DATA;

platform::process_id renderer_of(const staged_server& server, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        for (const auto& w : server.windows()) {
            if (w.class_name == "TZebrix3Window") {
                return static_cast<platform::process_id>(w.pid);
            }
        }
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return 0;
}

std::string read(const std::string& path) {
    std::string text;
    platform::read_file(path, text);
    return text;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

class OwnFiles : public zebrix_e2e {};

TEST_F(OwnFiles, CommandTwoLeavesConfigAndTheExecutableUntouched) {
    const std::string config = read(server.helper_dir() + "config.txt");
    ASSERT_FALSE(config.empty());
    const std::string executable = read(server.server_path());
    ASSERT_FALSE(executable.empty());
    auto c = take_control(server.tcp_port());
    ASSERT_TRUE(c);
    protocol::item_list items;
    items.add_data(ITEM_DATA, "Song=3\n");
    const std::string exe = server.server_path().substr(server.server_path().rfind('/') + 1);
    // Windows' other names of the same files, and devices that would hold the worker.
    items.add_file_list()->names = {"config.txt",
                                    "ZebrixServer",
                                    "CONFIG.TXT",
                                    "outputs",
                                    "config.txt.",
                                    "config.txt ",
                                    "OrvantaPath.txt. . .",
                                    "ZebrixServer.log.",
                                    exe + ".",
                                    "AUX",
                                    "COM1.txt",
                                    "nul",
                                    "song.txt"};
    const auto r = c->call(2, 3, 7, &items);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 1);
    const auto* files = r->find_file_list();
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->files.size(), 1u);
    EXPECT_EQ(files->files[0]->name, "song.txt");
    EXPECT_EQ(read(server.helper_dir() + "config.txt"), config);
    EXPECT_EQ(read(server.server_path()), executable);
    EXPECT_TRUE(platform::file_exists(server.helper_dir() + "OrvantaPath.txt"));
    EXPECT_TRUE(platform::folder_exists(server.helper_dir() + "outputs/"));
}

// A file larger than an answer may be (64 MiB) was deleted, then the
// session closed without a reply or a log line: the file was lost.
TEST_F(OwnFiles, CommandTwoKeepsAFileTooLargeToSendAndSaysWhy) {
    const std::string take = server.helper_dir() + "take.bin";
    ASSERT_TRUE(platform::write_file(take, "t"));
    std::filesystem::resize_file(take, protocol::max_unsent_bytes + (1 << 20));
    auto c = take_control(server.tcp_port());
    ASSERT_TRUE(c);
    protocol::item_list items;
    items.add_file_list()->names = {"take.bin"};
    const auto r = c->call(2, 3, 7, &items);
    ASSERT_TRUE(r) << c->s.error();
    EXPECT_EQ(std::tie(r->action, r->status), std::make_tuple(0, protocol::ERR_SERVER));
    EXPECT_NE(data_of(*r, protocol::ITEM_ERROR).find("64 MiB"), std::string::npos)
        << data_of(*r, protocol::ITEM_ERROR);
    EXPECT_EQ(platform::stat_path(take).size, protocol::max_unsent_bytes + (1 << 20));
    const auto next = c->call(4);
    ASSERT_TRUE(next) << "the session goes on: " << c->s.error();
    EXPECT_EQ(next->status, 1);
    EXPECT_EQ(count_of(read(server.helper_dir() + "ZebrixServer.log"),
                       "Zebrix command 2: the files asked for would not fit into one answer"),
              1u);
}

TEST(UnreadableConfig, AFolderNamedConfigTxtStopsTheServerNamingTheFile) {
    staged_server server;
    platform::remove_file(server.helper_dir() + "config.txt");
    ASSERT_TRUE(platform::make_folders(server.helper_dir() + "config.txt/"));
    std::string err;
    const int code = server.run_again(err);
    EXPECT_NE(code, 0) << err;
    EXPECT_NE(code, -1) << "the server did not exit by itself";
    EXPECT_NE(err.find(server.helper_dir() + "config.txt: Is a directory"), std::string::npos)
        << err;
    EXPECT_TRUE(platform::folder_exists(server.helper_dir() + "config.txt/"));
}

// The orphaned renderer of a crashed server kept writing into outputs/000,
// which the next server handed to its own job 0.
TEST(CrashedServer, RestartEndsTheOldRendererAndHandsOutOnlyItsOwnResults) {
    staged_server server;
    ASSERT_TRUE(server.start());
    const auto submitted = std::chrono::steady_clock::now();
    const auto old_job = job_call(server.tcp_port(), 0, 0, "Output=song\r\nRenderMs=4000\r\n");
    ASSERT_EQ(old_job.status, 1);
    ASSERT_EQ(old_job.id, 0);
    const platform::process_id orphan = renderer_of(server, 20s);
    ASSERT_NE(orphan, 0u);
    ASSERT_TRUE(server.signal(SIGKILL));
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (server.running() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_FALSE(server.running());
    ASSERT_TRUE(platform::process_runs(orphan)) << "the renderer outlives its server";

    ASSERT_TRUE(server.start());
    EXPECT_FALSE(platform::process_runs(orphan));
    const auto job = job_call(server.tcp_port(), 0, 0, "Output=stylelist\r\nRenderMs=50\r\n");
    ASSERT_EQ(job.status, 1);
    ASSERT_EQ(job.id, 0);
    ASSERT_TRUE(wait_job_state(server.tcp_port(), job.id, 0, 20s));
    // Past the moment the old renderer would have written its song.
    std::this_thread::sleep_until(submitted + 5s);
    EXPECT_FALSE(platform::file_exists(server.helper_dir() + "outputs/000/Song.txt"));
    const auto result = job_call(server.tcp_port(), 1, job.id, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.body.find("Style1=Pop"), std::string::npos) << result.body;
    EXPECT_EQ(server.stop(), 0);
}

class HostileJobs : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    staged_server server;
};

TEST_F(HostileJobs, KeysTheServerAddsAppearOnceTheServers) {
    const std::string elsewhere = server.root() + "elsewhere/";
    ASSERT_TRUE(platform::make_folders(elsewhere));
    const auto job = job_call(server.tcp_port(), 0, 0,
                              "OutputDirectory=" + elsewhere +
                                  "\r\nwindowhandleformessages=1\r\nOutput=songlist\r\n"
                                  "RenderMs=50\r\n");
    ASSERT_EQ(job.status, 1);
    ASSERT_TRUE(wait_job_state(server.tcp_port(), job.id, 0, 20s))
        << "the renderer's report never reached the server";
    const std::string input = read(server.zebrix_dir() + "zebinput.txt");
    EXPECT_EQ(count_of(input, "OutputDirectory="), 1u) << input;
    EXPECT_EQ(count_of(input, "WindowhandleForMessages="), 1u) << input;
    EXPECT_EQ(count_of(input, "windowhandleformessages="), 0u) << input;
    const auto result = job_call(server.tcp_port(), 1, job.id, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.body.find("Demo Song One"), std::string::npos) << result.body;
    std::vector<platform::folder_entry> written;
    platform::list_folder(elsewhere, written);
    EXPECT_TRUE(written.empty());
}

TEST_F(HostileJobs, TheThousandAndFirstWaitingJobIsRefused) {
    const auto port = server.tcp_port();
    const std::string slow = "Output=song\r\nRenderMs=60000\r\n";
    const auto first = job_call(port, 0, 0, slow);
    ASSERT_EQ(first.status, 1);
    // Status 1 also means first in line: the renderer's log tells it started.
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (read(server.zebrix_dir() + "zebw3.exe.log").find("sent 1285") == std::string::npos) {
        ASSERT_LT(std::chrono::steady_clock::now(), end) << "the first job never started";
        std::this_thread::sleep_for(50ms);
    }
    // One address takes at most its share of 100 places; ten fill the queue.
    job_call_options from;
    for (int i = 0; i < 1000; ++i) {
        from.source = "127.0.0." + std::to_string(1 + i / 100);
        const auto accepted = job_call(port, 0, 0, slow, from);
        ASSERT_EQ(accepted.status, 1) << "job " << i << ": " << accepted.body;
        if (i % 100 == 99 && i < 999) { // (at 1,000 the whole queue is full)
            const auto over = job_call(port, 0, 0, slow, from);
            ASSERT_EQ(over.status, -1) << "a 101st job of " << from.source << " was taken";
            EXPECT_EQ(over.id, -1);
            EXPECT_NE(over.body.find("queue is full for this client"), std::string::npos)
                << over.body;
        }
    }
    from.source = "127.0.0.11";
    const auto refused = job_call(port, 0, 0, slow, from);
    EXPECT_EQ(refused.status, -1);
    EXPECT_EQ(refused.id, -1);
    EXPECT_NE(refused.body.find("The job queue is full; try again later"), std::string::npos)
        << refused.body;
    // Status queries go on.
    EXPECT_EQ(job_call(port, 2, first.id, "").status, 1);
}

TEST(OperatorLog, StartStopFailedJobsAndTheFactoryPasswordWarning) {
    staged_server server;
    ASSERT_TRUE(server.start());
    const auto port = server.tcp_port();
    const auto job = job_call(port, 0, 0, "Fail=3,Broken drum\r\nRenderMs=10\r\n");
    ASSERT_EQ(job.status, 1);
    ASSERT_TRUE(wait_job_state(port, job.id, 0, 20s));
    EXPECT_EQ(server.stop(), 0);
    const std::string log = read(server.helper_dir() + "ZebrixServer.log");
    const std::string ports =
        "TCP port " + std::to_string(port) + ", UDP port " + std::to_string(server.udp_port());
    EXPECT_NE(log.find(" Service started on " + ports +
                       ": version 2.0.1 build 5058, helper folder " + server.helper_dir() +
                       ", desktop folder " + server.desktop() +
                       "; the factory password is in use, so password checking is off and "
                       "anyone on the network can connect\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" Render job " + std::to_string(job.id) + " failed: Broken drum\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" Service stopped on " + ports + "\r\n"), std::string::npos) << log;
    EXPECT_NE(server.stderr_text().find(" Service stopped on " + ports), std::string::npos);
}

TEST(OperatorLog, RefusedLoginsAreLogged) {
    staged_server server;
    ASSERT_TRUE(
        platform::write_file(server.helper_dir() + "config.txt", "ServerPassword=secret\r\n"));
    ASSERT_TRUE(server.start());
    EXPECT_EQ(
        job_call(server.tcp_port(), 2, 0, "",
                 {.password = "wrong", .announced_length = {}, .wait_close = false, .source = {}})
            .password_word,
        0);
    client::session s{20s};
    EXPECT_FALSE(s.open_protocol1("127.0.0.1", server.tcp_port(), "wrong"));

    // 30,000 guesses in 24 s were checked and logged one line each: a burst
    // from one address locks it out, the right password too, while another
    // address logs in at once, and the log sums the burst up.
    constexpr int burst = 30;
    std::vector<std::future<bool>> guesses;
    for (int i = 0; i < burst; ++i) {
        guesses.push_back(std::async(std::launch::async, [port = server.tcp_port(), i] {
            client::session g{20s};
            return g.open_protocol1("127.0.0.1", port, "guess" + std::to_string(i)).has_value();
        }));
    }
    for (auto& g : guesses) {
        EXPECT_FALSE(g.get());
    }
    client::session locked{20s};
    EXPECT_FALSE(locked.open_protocol1("127.0.0.1", server.tcp_port(), "secret"))
        << "the address was not locked out";
    client::session other{20s};
    other.set_source("127.0.0.2");
    EXPECT_TRUE(other.open_protocol1("127.0.0.1", server.tcp_port(), "secret"));
    EXPECT_EQ(server.stop(), 0);
    const std::string log = read(server.helper_dir() + "ZebrixServer.log");
    EXPECT_EQ(count_of(log, " Refused a render-job request with a wrong password from 127.0.0.1:"),
              1u)
        << log;
    EXPECT_EQ(count_of(log, " Refused a login with a wrong password from 127.0.0.1:"), 1u) << log;
    // The rest in summary lines (two when a minute ended during the burst).
    const std::string more = " more logins from 127.0.0.1 in the last minute";
    EXPECT_GE(count_of(log, more), 1u) << log;
    EXPECT_LE(count_of(log, more), 2u) << log;
    long summed = 0;
    for (auto at = log.find(more); at != std::string::npos; at = log.find(more, at + 1)) {
        const auto start = log.rfind(" Refused ", at) + 9;
        summed += std::stol(log.substr(start, at - start));
    }
    EXPECT_EQ(summed, burst + 1) << log;
    EXPECT_NE(log.find("; the address is locked out for 60 s after 10 wrong passwords in a row"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("factory password"), std::string::npos) << log;
}

// The stand-ins outlive the server by design; the test that started the
// server ends them, or they run on with their stage folder deleted.
TEST(TestStage, StopEndsEveryProgramOfTheServersDesktop) {
    staged_server server;
    ASSERT_TRUE(server.start());
    {
        auto c = take_control(server.tcp_port());
        ASSERT_TRUE(c);
        ASSERT_TRUE(c->call(4));
    }
    const auto job = job_call(server.tcp_port(), 0, 0, "Output=song\r\nRenderMs=50\r\n");
    ASSERT_TRUE(wait_job_state(server.tcp_port(), job.id, 0, 20s));
    ASSERT_GE(desktop_processes(server.desktop()).size(), 3u) << "server, zebw.exe, zebw3.exe";
    server.stop();
    EXPECT_TRUE(desktop_processes(server.desktop()).empty());
}

} // namespace
