// zebrix-client never loses a result: outputs checked before a fetch (which
// removes the job on the server), standard output as a target, no silent
// overwriting of saved files, Ctrl-C leaving the job to fetch later, and a
// fetch that fails saying why. Also the progress lines and render wait.
#include "tests/e2e/client_e2e.hpp"

namespace zs::test {
namespace {

const char* const song_list = "1=Demo Song One\r\n2=Demo Song Two\r\n";

class client_results : public client_e2e {
protected:
    std::string job(const std::string& name, const std::string& text) {
        const std::string path = config_home / name;
        EXPECT_TRUE(platform::write_file(path, text));
        return path;
    }
    std::string submit(const std::string& text) {
        std::string out, err;
        EXPECT_EQ(client({"render", "submit", job("job.txt", text)}, out, err), 0) << err;
        return out.substr(0, out.find('\n'));
    }
    std::string slurp(const std::string& path) {
        std::string text;
        platform::read_file(path, text);
        return text;
    }
};

TEST_F(client_results, OutputsAreCheckedBeforeTheJobIsFetched) {
    std::string out, err;
    const std::string missing = config_home / "no/such/folder/out.txt";
    const std::string file = job("job.txt", "Output=songlist\r\nRenderMs=100\r\n");
    EXPECT_EQ(client({"render", "run", file, "-o", missing}, out, err), 1);
    EXPECT_NE(err.find("cannot write " + missing + ": No such file or directory"),
              std::string::npos)
        << err;
    EXPECT_EQ(submit("Output=songlist\r\n"), "0") << "run submitted a job it could not keep";

    // fetch with a bad target leaves the job; a good one then gets it.
    ASSERT_EQ(client({"render", "wait", "0"}, out, err), 0) << err;
    EXPECT_EQ(out, "job 0: done\n");
    EXPECT_EQ(client({"render", "fetch", "0", "-o", missing}, out, err), 1);
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
    EXPECT_EQ(client({"render", "fetch", "0", "--output", "-"}, out, err), 0) << err;
    EXPECT_EQ(out, song_list) << "standard output carries the result alone";
    EXPECT_NE(err.find("job 0: 34 bytes written to standard output"), std::string::npos) << err;

    // A target that fails only while it is written: the result goes to a rescue file.
    if (platform::file_exists("/dev/full")) {
        const std::string id = submit("Output=songlist\r\n");
        ASSERT_EQ(client({"render", "wait", id}, out, err), 0) << err;
        EXPECT_EQ(client({"render", "fetch", id, "-o", "/dev/full"}, out, err,
                         {"TMPDIR=" + config_home.path()}),
                  1);
        const std::string saved = "; the result is saved as ";
        const auto at = err.find(saved);
        ASSERT_NE(at, std::string::npos) << err;
        EXPECT_NE(err.find("cannot write /dev/full: No space left on device"), std::string::npos)
            << err;
        const std::string rescue =
            err.substr(at + saved.size(), err.find('\n', at) - at - saved.size());
        EXPECT_EQ(rescue.rfind(config_home / "zebrix-job-" + id + "-", 0), 0u) << rescue;
        EXPECT_EQ(slurp(rescue), song_list);
    }

    // Reading a job file names the reason too.
    EXPECT_EQ(client({"render", "submit", config_home / "absent.txt"}, out, err), 1);
    EXPECT_NE(err.find("cannot read " + config_home / "absent.txt" + ": No such file or directory"),
              std::string::npos)
        << err;
}

TEST_F(client_results, AFailedFetchSaysWhichCaseItIs) {
    std::string out, err;
    EXPECT_EQ(client({"render", "fetch", "42", "-o", config_home / "x"}, out, err), 1);
    EXPECT_NE(err.find("job 42: Server is unable to process the request: the server does not "
                       "know this job (never submitted, already fetched"),
              std::string::npos)
        << err;

    const std::string slow = submit("Output=songlist\r\nRenderMs=3000\r\n");
    EXPECT_EQ(client({"render", "fetch", slow, "-o", config_home / "x"}, out, err), 1);
    EXPECT_NE(err.find("job " + slow + " is not done yet"), std::string::npos) << err;

    const std::string failing = submit("Fail=5,Broken mixer\r\n");
    ASSERT_EQ(client({"render", "wait", failing}, out, err), 0) << err;
    EXPECT_EQ(client({"render", "fetch", failing, "-o", config_home / "x"}, out, err), 1);
    EXPECT_NE(err.find("job " + failing + " failed: "), std::string::npos) << err;
    EXPECT_NE(err.find("Broken mixer"), std::string::npos) << err;

    // The slow job was never lost by the early fetch.
    ASSERT_EQ(client({"render", "wait", slow}, out, err), 0) << err;
    ASSERT_EQ(client({"render", "fetch", slow, "-o", config_home / "slow.txt"}, out, err), 0)
        << err;
    EXPECT_EQ(slurp(config_home / "slow.txt"), song_list);
    EXPECT_EQ(client({"render", "fetch", slow, "-o", config_home / "again.txt"}, out, err), 1);
    EXPECT_NE(err.find("already fetched"), std::string::npos) << err;
}

TEST_F(client_results, ProgressIsOneLinePerStateOffATerminalAndRedrawnOnOne) {
    std::string out, err;
    const std::string file = job("job.txt", "Output=songlist\r\nRenderMs=1500\r\n");
    // Options before the operands, --output for -o.
    ASSERT_EQ(client({"render", "run", "--output", config_home / "a.txt", file}, out, err), 0)
        << err;
    EXPECT_EQ(slurp(config_home / "a.txt"), song_list);
    EXPECT_EQ(err.find('\r'), std::string::npos) << err;
    EXPECT_NE(err.find("job 0: rendering (0."), std::string::npos) << err;
    EXPECT_NE(err.find(" s)\njob 0: done ("), std::string::npos) << err;

    std::string screen;
    ASSERT_EQ(on_terminal({}, {"render", "run", file, "-o", config_home / "b.txt"}, screen), 0)
        << screen;
    EXPECT_NE(screen.find("\rjob 1: rendering ("), std::string::npos) << screen;
    EXPECT_NE(screen.find("\rjob 1: done ("), std::string::npos) << screen;
}

TEST_F(client_results, CtrlCDuringRunLeavesTheJobAndSaysHowToFetchIt) {
    const std::string file = job("job.txt", "Output=songlist\r\nRenderMs=2000\r\n");
    const std::string target = config_home / "my result.txt";
    std::string screen;
    EXPECT_EQ(on_terminal({"--expect", "rendering", "--interrupt"},
                          {"render", "run", file, "-o", target}, screen),
              130)
        << screen;
    const std::string later =
        "zebrix-client --host 127.0.0.1 --port " + port() + " render fetch 0 -o '" + target + "'";
    EXPECT_NE(screen.find("job 0 stays on the server"), std::string::npos) << screen;
    EXPECT_NE(screen.find(later), std::string::npos) << screen;
    EXPECT_FALSE(platform::file_exists(target));

    std::string out, err;
    ASSERT_EQ(client({"render", "wait", "0"}, out, err), 0) << err;
    ASSERT_EQ(client({"render", "fetch", "0", "-o", target}, out, err), 0) << err;
    EXPECT_EQ(slurp(target), song_list);
}

TEST_F(client_results, SavedFilesReplaceNothingWithoutForce) {
    temp_folder dir("zc-want");
    ASSERT_TRUE(platform::write_file(dir / "song.txt", "mine"));
    std::string out, err;
    EXPECT_EQ(client({"zebrix", "song", "4", "--want", "song.txt", "--out", dir.path()}, out, err),
              1);
    EXPECT_NE(err.find(dir / "song.txt" + " exists (--force replaces it)"), std::string::npos)
        << err;
    EXPECT_EQ(slurp(dir / "song.txt"), "mine");
    EXPECT_TRUE(commands_logged(2).empty()) << "nothing may be sent before the check";

    ASSERT_EQ(client({"zebrix", "song", "4", "--want", "song.txt", "--out", dir.path(), "--force"},
                     out, err),
              0)
        << err;
    EXPECT_NE(slurp(dir / "song.txt").find("Number=4"), std::string::npos);

    // A folder that is not there is refused before sending as well.
    EXPECT_EQ(client({"zebrix", "2", "--want", "song.txt", "--out", dir / "none/"}, out, err), 1);
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
    EXPECT_EQ(commands_logged(2).size(), 1u);
}

} // namespace
} // namespace zs::test
