// Faults of the interactive program and of the helper folder while a client
// controls Zebrix: the program killed in the middle of a command, a program
// that never answers, and input and output files that cannot be used. Each
// ends in the error reply the design gives, and the next command is served.
#include "tests/e2e/zebrix_e2e.hpp"

#include <filesystem>
#include <future>

namespace {

using namespace zs;
using namespace zs::test;
using namespace std::chrono_literals;

constexpr int command_stop = 4; // a plain command: one message to the program

class ZebrixFault : public zebrix_e2e {
protected:
    void SetUp() override {
        server_options options;
        options.env["ZEBRIX_TRACE"] = "1";
        options.env["ZEBRIX_SEND_TIMEOUT_MS"] = "1500"; // a hung program holds nothing long
        ASSERT_TRUE(server.start(options));
        ASSERT_TRUE(client.open(server.tcp_port()));
        ASSERT_TRUE(client.controls());
        // The program runs once a first command went through.
        auto r = client.call(command_stop);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 1);
    }

    platform::process_id program_pid() {
        for (const auto& w : server.windows()) {
            if (w.class_name == "TZebrixWindow") {
                return static_cast<platform::process_id>(w.pid);
            }
        }
        return 0;
    }

    // A command after a fault gets its success reply again (the program is
    // started anew when it is gone), within a bounded number of tries.
    bool served_again() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            auto r = client.call(command_stop);
            if (!r) {
                return false; // the session itself broke
            }
            if (r->action == 1 && r->status == 1) {
                return true;
            }
            std::this_thread::sleep_for(250ms);
        }
        return false;
    }

    rc_client client;
};

TEST_F(ZebrixFault, ProgramKilledMidCommandGivesErrorWithDetailZero) {
    behave("delay_ms.4=5000\n");
    auto pending = std::async(std::launch::async, [this] { return client.call(command_stop); });
    std::this_thread::sleep_for(800ms); // the program is inside the delayed command
    const auto pid = program_pid();
    ASSERT_NE(pid, 0);
    ASSERT_TRUE(server.end_program(static_cast<int>(pid)));
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready) << "the command never ended";
    auto reply = pending.get();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->action, 0);
    EXPECT_EQ(reply->status, 4);
    EXPECT_EQ(reply->value, 0) << "a send the program never answered gives 0";
    behave("");
    EXPECT_TRUE(served_again()) << server.stderr_text();
}

TEST_F(ZebrixFault, ProgramThatNeverAnswersTimesOutAndFreesTheCommandLock) {
    behave("delay_ms.4=30000\n");
    const auto start = std::chrono::steady_clock::now();
    auto reply = client.call(command_stop);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->action, 0);
    EXPECT_EQ(reply->status, 4);
    EXPECT_EQ(reply->value, 0);
    std::printf("send time-out reply after %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    // The command lock is free: a request that needs no program is answered.
    auto unknown = client.call(0, 0, 0, nullptr, 7);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 3);
    // The hung program is ended; a fresh one serves the next command.
    behave("");
    ASSERT_TRUE(server.end_program(static_cast<int>(program_pid())));
    EXPECT_TRUE(served_again()) << server.stderr_text();
}

TEST_F(ZebrixFault, UnwritableInputFileGivesCantWriteInput) {
    const std::string input = server.helper_dir() + "zebinput.txt";
    std::filesystem::remove_all(input);
    std::filesystem::create_directory(input); // a folder where the file should be
    protocol::item_list items;
    items.add_data(protocol::ITEM_DATA, "Song=demo\n");
    auto reply = client.call(2, 0, 0, &items);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->action, 0);
    EXPECT_EQ(reply->status, 1);
    ASSERT_NE(reply->find_data(protocol::ITEM_ERROR), nullptr);
    EXPECT_EQ(reply->find_data(protocol::ITEM_ERROR)->data, "Can't write input");
    std::filesystem::remove_all(input);
    EXPECT_TRUE(served_again());
}

TEST_F(ZebrixFault, UnreadableOutputFileGivesUnknownError) {
    const std::string output = server.helper_dir() + "zeboutput.txt";
    std::filesystem::remove_all(output);
    std::filesystem::create_directory(output); // the program cannot write its answer
    auto reply = client.call(1);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->action, 0);
    EXPECT_EQ(reply->status, 2);
    EXPECT_EQ(reply->value, 0);
    ASSERT_NE(reply->find_data(protocol::ITEM_ERROR), nullptr);
    EXPECT_EQ(reply->find_data(protocol::ITEM_ERROR)->data, "Unknown error");
    std::filesystem::remove_all(output);
    auto again = client.call(1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 1) << "the song list is served once the file can be written";
}

} // namespace
