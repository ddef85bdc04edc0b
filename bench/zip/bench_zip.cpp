// Packing a ~50 MB job-like tree: our writer against `zip -8 -r` on the same
// tree, for time and for archive size.
#include "platform/files.hpp"
#include "tests/support/staged_server.hpp"
#include "tests/support/temp_folder.hpp"
#include "zip/zip_folder.hpp"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

namespace {

using namespace std::chrono;

// Half text that compresses well, half noise like encoded audio.
void make_tree(const std::string& root) {
    std::mt19937 gen(7);
    for (int d = 0; d < 5; ++d) {
        const std::string dir = root + "part" + std::to_string(d) + "/";
        zs::platform::make_folders(dir + "stems/");
        std::string text;
        while (text.size() < 5 * 1024 * 1024) {
            text += "Bar " + std::to_string(gen() % 10000) + " chord C7 velocity " +
                    std::to_string(gen() % 128) + "\r\n";
        }
        zs::platform::write_file(dir + "song.txt", text);
        std::string noise(5 * 1024 * 1024, '\0');
        for (auto& c : noise) {
            c = static_cast<char>(gen());
        }
        zs::platform::write_file(dir + "stems/audio.mp4", noise);
    }
}

double seconds_of(const auto& work) {
    const auto start = steady_clock::now();
    work();
    return duration<double>(steady_clock::now() - start).count();
}

std::uint64_t size_of(const std::string& path) {
    return zs::platform::stat_path(path).size;
}

} // namespace

int main() {
    zs::test::temp_folder tmp("zs-bench-zip");
    const std::string src = tmp / "tree/";
    make_tree(src);
    const std::string ours = tmp / "ours.zip";
    const std::string theirs = tmp / "theirs.zip";
    bool ok = true;
    const double t_ours = seconds_of([&] { ok = zs::zip::zip_folder(src, ours); });
    std::string out;
    std::string err;
    int rc = 0;
    const double t_theirs = seconds_of([&] {
        rc = zs::test::run_program(
            {"/bin/sh", "-c", "cd '" + src + "' && zip -8 -r -q '" + theirs + "' ."}, {}, out, err,
            minutes(5));
    });
    if (!ok || rc != 0) {
        std::fprintf(stderr, "bench_zip: packing failed (ours %d, zip %d: %s)\n", ok, rc,
                     err.c_str());
        return 1;
    }
    std::printf("BENCH name=zip_folder_time value=%.3f unit=s baseline=%.3f ratio=%.3f\n", t_ours,
                t_theirs, t_ours / t_theirs);
    const auto s_ours = static_cast<double>(size_of(ours));
    const auto s_theirs = static_cast<double>(size_of(theirs));
    std::printf("BENCH name=zip_folder_size value=%.0f unit=bytes baseline=%.0f ratio=%.4f\n",
                s_ours, s_theirs, s_ours / s_theirs);
    return 0;
}
