// Packing a ~50 MB job-like tree: our writer against `zip -8 -r` on the same
// tree, for time and for archive size.
#include "bench/support/bench_report.hpp"
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
    int rc = 0;
    std::string err;
    const auto time = zs::bench::alternate(
        3,
        [&] {
            zs::platform::remove_file(ours);
            return seconds_of([&] { ok = zs::zip::zip_folder(src, ours) && ok; });
        },
        [&] {
            zs::platform::remove_file(theirs);
            return seconds_of([&] {
                std::string out;
                rc |= zs::test::run_program(
                    {"/bin/sh", "-c", "cd '" + src + "' && zip -8 -r -q '" + theirs + "' ."}, {},
                    out, err, minutes(5));
            });
        });
    if (!ok || rc != 0) {
        std::fprintf(stderr, "bench_zip: packing failed (ours %d, zip %d: %s)\n", ok, rc,
                     err.c_str());
        return 1;
    }
    zs::bench::report("zip_folder_time", time, "s", "%.3f");
    zs::bench::report("zip_folder_size", static_cast<double>(size_of(ours)), "bytes",
                      static_cast<double>(size_of(theirs)), "%.0f");
    return 0;
}
