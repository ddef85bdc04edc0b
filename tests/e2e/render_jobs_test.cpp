// Render jobs against the staged server and the stand-in zebw3.exe: submit,
// status, every result kind, failures, archives, audio copies, the password,
// unknown requests, the client's render commands and a refused second server.
#include "client/client_session.hpp"
#include "platform/desktop.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "tests/support/job_calls.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace zs;
using namespace std::chrono_literals;

namespace {

constexpr const char* unable = "Server is unable to process the request";

// A request as the wire carries it; `length` may differ from the body sent.
test::job_reply request(std::uint16_t port, std::int32_t type, std::int32_t id,
                        const std::string& body, const std::string& password = "kxvwq",
                        std::int32_t length = -2) {
    test::job_call_options options{password, std::nullopt, true, {}};
    if (length != -2) {
        options.announced_length = length;
    }
    const test::job_reply r = test::job_call(port, type, id, body, options);
    if (r.status != -2) {
        EXPECT_TRUE(r.padding_zero);
    }
    return r;
}

class render_jobs : public testing::Test {
protected:
    void SetUp() override {
        prepare();
        ASSERT_TRUE(server.start());
        port = server.tcp_port();
    }
    virtual void prepare() {}
    void TearDown() override {
        server.stop();
        for (const auto& w : server.windows()) {
            if (w.class_name == "TZebrix3Window") {
                server.end_program(w.pid);
            }
        }
    }

    std::int32_t submit(const std::string& text) {
        const test::job_reply r = request(port, 0, 0, text);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.length, 0);
        return r.id;
    }
    // Polls until the job is done (status 0), at most 20 s.
    bool wait_done(std::int32_t id) { return test::wait_job_state(port, id, 0, 20s); }

    test::staged_server server;
    std::uint16_t port = 0;
};

} // namespace

TEST_F(render_jobs, SubmitStatusAndFetchOfEveryResultKind) {
    const std::int32_t audio = submit("Output=audio\r\nRenderMs=100\r\n");
    EXPECT_GE(audio, 0);
    ASSERT_TRUE(wait_done(audio));
    test::job_reply r = request(port, 1, audio, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.id, audio);
    EXPECT_EQ(r.extra, 0);
    EXPECT_EQ(r.length, static_cast<std::int32_t>(r.body.size()));
    EXPECT_GT(r.body.size(), 4096u);
    EXPECT_EQ(r.body.substr(4, 4), "ftyp");
    EXPECT_TRUE(r.closed_after);

    // The fetch removed the job: its id is unknown now (39-byte text).
    r = request(port, 2, audio, "");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.id, -1);
    EXPECT_EQ(r.length, 39);
    EXPECT_EQ(r.body, unable);

    const std::pair<const char*, const char*> kinds[] = {
        // The renderer's text reaches the client in the code page, untouched.
        {"Output=stylelist", "Style1=Pop\r\nStyle2=Jazz Swing\r\nStyle3=Bossa Caf\xE9\r\n"},
        {"Output=songlist", "1=Demo Song One\r\n2=Demo Song Two\r\n"},
        {"Output=song", "[Song]\r\nTitle=Rendered Song\r\nTempo=100\r\n"}};
    for (const auto& [job, expected] : kinds) {
        const std::int32_t id = submit(std::string(job) + "\r\nRenderMs=20\r\n");
        ASSERT_TRUE(wait_done(id)) << job;
        r = request(port, 1, id, "");
        EXPECT_EQ(r.status, 0) << job;
        EXPECT_EQ(r.body, expected) << job;
    }

    const std::int32_t sig = submit("Output=stylelist\r\nStyleNameTimeSig=3\r\nRenderMs=20\r\n");
    ASSERT_TRUE(wait_done(sig));
    r = request(port, 1, sig, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.extra, 3);
    EXPECT_EQ(request(port, 2, sig, "").status, -1); // gone
}

TEST_F(render_jobs, FailedJobGivesItsMessageAndStaysQueued) {
    const std::int32_t id = submit("Fail=7,Bad style\r\nRenderMs=20\r\n");
    ASSERT_TRUE(wait_done(id));
    for (int i = 0; i < 2; ++i) {
        const test::job_reply r = request(port, 1, id, "");
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.id, -1);
        // The line's CR stays with the message, as the status reader keeps it.
        EXPECT_EQ(r.body, "Bad style\r");
        EXPECT_EQ(r.length, 10);
    }
    EXPECT_EQ(request(port, 2, id, "").status, 0);
}

TEST_F(render_jobs, ArchiveOnceThenTheJobIsGone) {
    const std::int32_t id = submit("Output=song\r\nRenderMs=20\r\n");
    ASSERT_TRUE(wait_done(id));
    const test::job_reply r = request(port, 4, id, "");
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.body.substr(0, 4), std::string("PK\x03\x04", 4));
    const std::string zip = server.root() + "job.zip";
    ASSERT_TRUE(platform::write_file(zip, r.body));
    std::string out;
    std::string err;
    EXPECT_EQ(test::run_program({"/usr/bin/unzip", "-t", zip}, {}, out, err), 0) << out << err;
    EXPECT_NE(out.find("//Song.txt"), std::string::npos) << out;
    EXPECT_NE(out.find("//ZebOutput.txt"), std::string::npos) << out;
    // A result named beyond ASCII, in a folder named so, is packed under its
    // UTF-8 name (a path handed to the C runtime as ANSI never opened).
    EXPECT_NE(r.body.find("//R\xC3\xA9sum\xC3\xA9.txt"), std::string::npos);
    // Neither the folder nor the archive stays behind on the server.
    char name[8];
    std::snprintf(name, sizeof name, "%03d", id);
    EXPECT_FALSE(platform::folder_exists(server.helper_dir() + "outputs/" + name + "/"));
    EXPECT_FALSE(platform::file_exists(server.helper_dir() + "outputs/" + name + ".zip"));

    const test::job_reply again = request(port, 4, id, "");
    EXPECT_EQ(again.status, -1);
    EXPECT_EQ(again.body, unable);
}

TEST_F(render_jobs, BadRequestsGetErrorRepliesOrAClose) {
    test::job_reply r = request(port, 0, 0, "");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.id, -1);
    EXPECT_EQ(r.length, 16);
    EXPECT_EQ(r.body, "Connection error");
    EXPECT_TRUE(r.closed_after);

    r = request(port, 0, 0, "", "kxvwq", 0x1000001);
    EXPECT_EQ(r.body, "Connection error");
    r = request(port, 0, 0, "", "kxvwq", -5);
    EXPECT_EQ(r.body, "Connection error");

    r = request(port, 2, 4242, "");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.body, unable);
    r = request(port, 1, 4242, "");
    EXPECT_EQ(r.body, unable);

    // Unknown request types: the password word, then the server closes.
    for (const std::int32_t type : {3, 5, -1}) {
        r = request(port, type, 0, "");
        EXPECT_EQ(r.password_word, 1) << type;
        EXPECT_TRUE(r.closed_after) << type;
    }
}

TEST_F(render_jobs, QueuePositionsWhileOneJobRenders) {
    const std::int32_t first = submit("Output=song\r\nRenderMs=3000\r\n");
    const std::int32_t second = submit("Output=song\r\nRenderMs=20\r\n");
    const std::int32_t third = submit("Output=song\r\nRenderMs=20\r\n");
    for (int i = 0; i < 100 && request(port, 2, first, "").status != 1; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(request(port, 2, first, "").status, 1);
    EXPECT_EQ(request(port, 2, second, "").status, 1); // first in line
    const test::job_reply r = request(port, 2, third, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.extra, 1); // position 2
    EXPECT_TRUE(wait_done(third));
}

TEST_F(render_jobs, AudioCopyFromZebMini) {
    std::string demo;
    ASSERT_TRUE(platform::read_file(server.zebrix_dir() + "ZebMini/demo.mp4", demo));
    const std::int32_t id = submit("ZebMiniAudioFile=demo.mp4");
    ASSERT_TRUE(wait_done(id));
    test::job_reply r = request(port, 1, id, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.body, demo);

    // The job names the file in the code page ("démo.mp4").
    ASSERT_TRUE(platform::write_file(server.zebrix_dir() + "ZebMini/d\xC3\xA9mo.mp4", demo));
    const std::int32_t named = submit("ZebMiniAudioFile=d\xE9mo.mp4");
    ASSERT_TRUE(wait_done(named));
    r = request(port, 1, named, "");
    EXPECT_EQ(r.status, 0) << r.body;
    EXPECT_EQ(r.body, demo);

    const std::int32_t escape = submit("ZebMiniAudioFile=../ZebHelper/config.txt");
    ASSERT_TRUE(wait_done(escape));
    r = request(port, 1, escape, "");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.body, "Unable to download audio file");
}

TEST_F(render_jobs, ClientRenderCommands) {
    const std::string job = server.root() + "job.txt";
    platform::write_file(job, "Output=songlist\r\nRenderMs=600\r\n");
    const std::vector<std::string> env = server.environment();
    const std::string client = server.client_path();
    const std::string p = std::to_string(port);
    std::string out;
    std::string err;
    ASSERT_EQ(test::run_program(
                  {client, "--port", p, "render", "run", job, "-o", server.root() + "out.txt"}, env,
                  out, err),
              0)
        << err;
    EXPECT_NE(err.find("rendering"), std::string::npos) << err;
    EXPECT_NE(err.find("done"), std::string::npos) << err;
    std::string got;
    platform::read_file(server.root() + "out.txt", got);
    EXPECT_EQ(got, "1=Demo Song One\r\n2=Demo Song Two\r\n");

    ASSERT_EQ(test::run_program({client, "--port", p, "render", "submit", job}, env, out, err), 0);
    const std::string id = out.substr(0, out.find('\n'));
    ASSERT_EQ(
        test::run_program({client, "--port", p, "--json", "render", "status", id}, env, out, err),
        0);
    EXPECT_NE(out.find("\"id\":" + id), std::string::npos) << out;
    EXPECT_TRUE(wait_done(std::stoi(id)));
    ASSERT_EQ(test::run_program(
                  {client, "--port", p, "render", "archive", id, "-o", server.root() + "a.zip"},
                  env, out, err),
              0)
        << err;
    EXPECT_NE(test::run_program(
                  {client, "--port", p, "render", "fetch", id, "-o", server.root() + "b.txt"}, env,
                  out, err),
              0);
    EXPECT_NE(err.find(unable), std::string::npos) << err;
}

TEST_F(render_jobs, RefusedSecondInstanceLeavesJobFoldersAlone) {
    const std::int32_t id = submit("Output=song\r\nSilent=1\r\nRenderMs=0\r\n");
    char name[8];
    std::snprintf(name, sizeof name, "%03d", id);
    const std::string folder = server.helper_dir() + "outputs/" + name + "/";
    platform::write_file(folder + "marker.txt", "keep");
    std::string err;
    EXPECT_EQ(server.run_again(err), 0);
    EXPECT_TRUE(platform::file_exists(folder + "marker.txt"));
    EXPECT_NE(request(port, 2, id, "").status, -1);
}

class render_password : public render_jobs {
    void prepare() override {
        platform::write_file(server.helper_dir() + "config.txt", "ServerPassword=Secret\r\n");
    }
};

TEST_F(render_password, OnlyTheLowerCasePasswordIsAccepted) {
    test::job_reply r = request(port, 2, 0, "", "Secret");
    EXPECT_EQ(r.password_word, 0);
    EXPECT_TRUE(r.closed_after);
    r = request(port, 2, 0, "", "");
    EXPECT_EQ(r.password_word, 0);
    r = request(port, 0, 0, "Output=song", "secret");
    EXPECT_EQ(r.password_word, 1);
    EXPECT_EQ(r.status, 1);
}

// A password that fills the 64-byte field (no terminating zero) and holds the
// characters on either side of the capitals; stored, it is lowered.
const std::string full_password = "Z@[" + std::string(58, 'Q') + "`{z";

class render_full_password : public render_jobs {
    void prepare() override {
        platform::write_file(server.helper_dir() + "config.txt",
                             "ServerPassword=" + full_password + "\r\n");
    }
};

TEST_F(render_full_password, AllSixtyFourBytesCount) {
    const std::string lowered = "z@[" + std::string(58, 'q') + "`{z";
    ASSERT_EQ(full_password.size(), 64u);
    test::job_reply r = request(port, 0, 0, "Output=song", lowered);
    EXPECT_EQ(r.password_word, 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(request(port, 2, 0, "", full_password).password_word, 0);
    EXPECT_EQ(request(port, 2, 0, "", lowered.substr(0, 63)).password_word, 0);
    EXPECT_EQ(request(port, 2, 0, "", "z@[" + std::string(58, 'q') + "`{Z").password_word, 0);
}
