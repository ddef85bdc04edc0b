// The stand-in programs, each run from a private folder on a private desktop.
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "tests/support/staged_server.hpp"
#include "tests/support/temp_folder.hpp"

#include <condition_variable>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace zs::test {
namespace {

using platform::window_message;

// Records what reaches a window of the test (answered at once).
class recorder {
public:
    recorder()
        : window_(platform::desktop_window::answer_at_once, "TRecorder", "Recorder",
                  [this](const window_message& m) {
                      {
                          std::lock_guard lock(mutex_);
                          seen_.push_back(m);
                      }
                      cv_.notify_all();
                      return std::int64_t{0};
                  }) {}
    platform::window_handle handle() const { return window_.handle(); }
    std::vector<window_message> seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    bool wait_for(std::uint32_t message, window_message& out) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] {
            for (const auto& m : seen_) {
                if (m.message == message) {
                    out = m;
                    return true;
                }
            }
            return false;
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<window_message> seen_;
    platform::desktop_window window_;
};

class stand_in_test : public ::testing::Test {
protected:
    stand_in_test() : desktop_("zs-desk"), folder_("zs-sim") {
        ::setenv("ZEBRIX_DESKTOP", desktop_.path().c_str(), 1);
        platform::make_folders(folder_ / "ZebHelper/");
        platform::make_folders(folder_ / "OvHelper/");
    }
    ~stand_in_test() override {
        platform::terminate_process(pid_, std::chrono::seconds(5));
        ::unsetenv("ZEBRIX_DESKTOP");
    }
    // Copies the program, writes its behaviour file, starts it; its window.
    platform::window_handle run(const std::string& exe, const std::string& behaviour = "",
                                std::chrono::milliseconds wait = std::chrono::seconds(10),
                                const std::vector<std::string>& args = {}) {
        std::string out;
        std::string err;
        run_program({"/bin/cp", ZS_SIM_DIR + exe, folder_.path()}, {}, out, err);
        platform::write_file(folder_ / (exe + ".behaviour"), behaviour);
        pid_ = platform::start_process(folder_ / exe, args, folder_.path(), wait).pid;
        for (const auto& w : platform::enumerate_windows()) {
            if (static_cast<platform::process_id>(w.pid) == pid_) {
                info_ = w;
            }
        }
        return info_.handle;
    }
    std::string read(const std::string& name) {
        std::string text;
        platform::read_file(folder_ / name, text);
        return text;
    }
    bool wait_for_file(const std::string& path) {
        for (int i = 0; i < 500 && !platform::file_exists(path); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return platform::file_exists(path);
    }

    temp_folder desktop_;
    temp_folder folder_;
    platform::process_id pid_ = 0;
    platform::window_info info_;
};

TEST_F(stand_in_test, ZebwRepliesWritesFilesAndLogs) {
    const auto h = run("zebw.exe", "reply.4=9\nerror.5=7,Bad style\nping=3\n");
    ASSERT_NE(h, 0);
    EXPECT_EQ(info_.class_name, "TZebrixWindow");
    EXPECT_EQ(info_.title, "Zebrix");
    EXPECT_EQ(platform::send_message(h, 1286, 16, 0), 3);
    EXPECT_EQ(platform::send_message(h, 1286, 15, 0), 1);
    EXPECT_EQ(platform::send_message(h, 1286, 13, 8), 58);
    EXPECT_EQ(platform::send_message(h, 1286, 4, 0), 9);
    EXPECT_EQ(platform::send_message(h, 1286, 1, 0), 1);
    EXPECT_EQ(read("ZebHelper/zeboutput.txt"), "error=0\r\n");
    EXPECT_NE(read("ZebHelper/songlist.txt").find("1=Demo Song One\r\n"), std::string::npos);
    EXPECT_EQ(platform::send_message(h, 1286, 5, 0), 1);
    EXPECT_EQ(read("ZebHelper/zeboutput.txt"), "error=7\r\nZebInputErrorString=Bad style\r\n");
    EXPECT_EQ(platform::send_message(h, 1286, (4 << 16) | 2, 0), 1);
    EXPECT_EQ(read("ZebHelper/zeboutput.txt"), read("ZebHelper/song.txt"));
    EXPECT_NE(read("ZebHelper/song.txt").find("Number=4\r\n"), std::string::npos);
    EXPECT_EQ(platform::send_message(h, 1286, 12, 0), 1);
    EXPECT_NE(read("ZebHelper/sectionnames.txt").find("SectionName=1,Intro\r\n"),
              std::string::npos);
    EXPECT_TRUE(platform::post_message(h, 1286, 17, 0));
    EXPECT_EQ(platform::send_message(h, 999, 0, 0), 0);
    EXPECT_EQ(read("zebw.exe.log"), "sent 1286 16 0 3\nsent 1286 15 0 1\nsent 1286 13 8 58\n"
                                    "sent 1286 4 0 9\nsent 1286 1 0 1\nsent 1286 5 0 1\n"
                                    "sent 1286 262146 0 1\nsent 1286 12 0 1\nposted 1286 17 0 -\n"
                                    "sent 999 0 0 0\n");
}

TEST_F(stand_in_test, ZebwNotifiesTheRegisteredWindowOnly) {
    recorder server;
    const auto h = run("zebw.exe", "notify.4=1287,5,6\nsend_notify.9=1287,7,8\n");
    ASSERT_NE(h, 0);
    window_message m;
    EXPECT_EQ(platform::send_message(h, 1286, 18, server.handle()), 1);
    EXPECT_EQ(platform::send_message(h, 1286, 4, 0), 1);
    ASSERT_TRUE(server.wait_for(1287, m));
    EXPECT_FALSE(m.sent);
    EXPECT_EQ(m.wparam, 5);
    EXPECT_EQ(m.lparam, 6);
    EXPECT_EQ(platform::send_message(h, 1286, 19, 0), 1); // released: nothing more
    EXPECT_EQ(platform::send_message(h, 1286, 9, 0), 1);
    EXPECT_EQ(platform::send_message(h, 1286, 18, server.handle()), 1);
    EXPECT_EQ(platform::send_message(h, 1286, 9, 0), 1);
    // The sent notification arrived before the reply, and only while registered.
    const auto got = server.seen();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[1].sent);
    EXPECT_EQ(got[1].wparam, 7);
    EXPECT_EQ(got[1].lparam, 8);
}

// The real renderer does nothing unless started with "/x4": neither does its stand-in.
TEST_F(stand_in_test, ZebwThreeRendersIntoTheJobFolderAndReports) {
    EXPECT_EQ(run("zebw3.exe", "", std::chrono::seconds(2)), 0);
    recorder server;
    const auto h = run("zebw3.exe", "", std::chrono::seconds(10), {"/x4"});
    ASSERT_NE(h, 0);
    EXPECT_EQ(info_.title, "zebw3 window");
    temp_folder job("zs-job");
    platform::write_file(folder_ / "zebinput.txt",
                         "RenderMs=20\r\nStyleNameTimeSig=3\r\nWindowhandleForMessages=" +
                             std::to_string(server.handle()) + "\r\nOutputDirectory=" + job.path() +
                             "\r\n");
    EXPECT_EQ(platform::send_message(h, 1285, 0, 0), 1);
    window_message m;
    ASSERT_TRUE(server.wait_for(1424, m));
    std::string status;
    platform::read_file(job / "ZebOutput.txt", status);
    EXPECT_EQ(status, "Error=0\r\nStyleNameTimeSig=3\r\n");
    std::string audio;
    platform::read_file(job / "audio.mp4", audio);
    EXPECT_EQ(audio.substr(4, 4), "ftyp");

    temp_folder failed("zs-job");
    platform::write_file(folder_ / "zebinput.txt", "Output=song\nRenderMs=0\nFail=3,Broken\n"
                                                   "OutputDirectory=" +
                                                       failed.path() + "\n");
    EXPECT_EQ(platform::send_message(h, 1285, 0, 0), 1);
    ASSERT_TRUE(wait_for_file(failed / "ZebOutput.txt"));
    platform::read_file(failed / "ZebOutput.txt", status);
    EXPECT_EQ(status, "Error=3\r\n;Error #3, Broken\r\n");
    EXPECT_FALSE(platform::file_exists(failed / "Song.txt"));
    EXPECT_TRUE(platform::file_exists(folder_ / "zebinput.txt")); // input never deleted
}

TEST_F(stand_in_test, OrvantaIdentifiesAndRunsPostedJobs) {
    const auto h = run("orvanta.exe", "delay_ms.1=300\nerror.102=4,No song\n");
    ASSERT_NE(h, 0);
    EXPECT_EQ(info_.title, "Orvanta");
    EXPECT_EQ(platform::send_message(h, 1283, 0, 0), 259);
    EXPECT_EQ(platform::send_message(h, 1286, 36, 17), 17);
    EXPECT_EQ(platform::send_message(h, 1286, 31, 5), 5);
    EXPECT_TRUE(platform::post_message(h, 1286, 1, 0));
    // The job runs in the background: first state 0, later 1 with its files.
    EXPECT_EQ(platform::send_message(h, 1286, 24, 0), 0);
    EXPECT_FALSE(platform::file_exists(folder_ / "OvHelper/songlist.txt"));
    std::int64_t state = 0;
    for (int i = 0; i < 200 && state == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state = platform::send_message(h, 1286, 24, 0);
    }
    EXPECT_EQ(state, 1);
    EXPECT_EQ(read("OvHelper/ovoutput.txt"), "error=0\r\n");
    EXPECT_NE(read("OvHelper/songlist.txt").find("\r\n"), std::string::npos);
    EXPECT_TRUE(platform::post_message(h, 1286, 102, 0));
    EXPECT_EQ(platform::send_message(h, 1286, 24, 0), 1);
    EXPECT_EQ(read("OvHelper/ovoutput.txt"), "error=4\r\nZebInputErrorString=No song\r\n");
    EXPECT_EQ(platform::send_message(h, 1286, 28, 0), 1);
    EXPECT_TRUE(platform::file_exists(folder_ / "OvHelper/SectionNames.Txt"));
    EXPECT_EQ(platform::send_message(h, 1286, 10, 499), 1);
    EXPECT_FALSE(platform::file_exists(folder_ / "OvHelper/TrackNames.Txt"));
    EXPECT_EQ(platform::send_message(h, 1286, 10, 500), 1);
    EXPECT_TRUE(platform::file_exists(folder_ / "OvHelper/TrackNames.Txt"));
}

TEST_F(stand_in_test, WindowCanBeLateOrMissing) {
    EXPECT_EQ(run("zebw.exe", "no_window=1\n", std::chrono::milliseconds(300)), 0);
    EXPECT_TRUE(platform::process_runs(pid_));
    platform::terminate_process(pid_, std::chrono::seconds(5));
    run("zebw.exe", "window_delay_ms=100000\n", std::chrono::milliseconds(300));
    EXPECT_TRUE(platform::enumerate_windows().empty());
}

} // namespace
} // namespace zs::test
