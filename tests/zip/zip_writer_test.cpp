// The archives the writer makes, checked by three independent readers and
// field by field, and the writer's result codes.
#include "platform/files.hpp"
#include "tests/support/staged_server.hpp"
#include "tests/support/temp_folder.hpp"
#include "zip/parallel_deflate.hpp"
#include "zip/zip_folder.hpp"
#include "zip/zip_format.hpp"
#include "zip/zip_writer.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using namespace zs;

namespace {

std::string random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

// Text that compresses, with repeats reaching across deflate blocks.
std::string log_text(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s;
    while (s.size() < n) {
        s += "step " + std::to_string(gen() % 5000) + " took " + std::to_string(gen() % 97) + "\n";
    }
    s.resize(n);
    return s;
}

// A tree with subfolders, an empty folder, a read-only file, an archive that
// must be stored, text that is deflated, an executable image and a hidden file.
void make_tree(const std::string& root) {
    platform::make_folders(root + "sub/deeper/");
    platform::make_folders(root + "empty/");
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "line " + std::to_string(i) + " of a text that compresses well\r\n";
    }
    platform::write_file(root + "notes.txt", text);
    platform::write_file(root + "inner.ZIP", random_bytes(5000, 1));
    platform::write_file(root + "sub/audio.mp4", random_bytes(300000, 2));
    platform::write_file(root + "sub/render.log", log_text(zip::deflate_block_size * 9 / 2, 3));
    platform::write_file(root + "sub/deeper/empty.dat", "");
    platform::write_file(root + "sub/.hidden", "h");
    std::string exe(256, '\0');
    exe[0] = 'M';
    exe[1] = 'Z';
    exe[60] = static_cast<char>(128);
    exe.replace(128, 4, std::string("PE\0\0", 4));
    platform::write_file(root + "tool.exe", exe);
    platform::write_file(root + "readonly.txt", "do not touch\n");
    fs::permissions(root + "readonly.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

int run(const std::vector<std::string>& argv, std::string& out) {
    std::string err;
    const int rc = test::run_program(argv, {}, out, err);
    out += err;
    return rc;
}

std::string read_all(const std::string& path) {
    std::string s;
    platform::read_file(path, s);
    return s;
}

} // namespace

TEST(ZipFolder, TreeIsValidForEveryReaderAndEveryFieldMatches) {
    test::temp_folder tmp("zs-zip");
    const std::string src = tmp / "src/";
    make_tree(src);
    const std::string archive = tmp / "out.zip";
    platform::write_file(archive, "an older file that must be replaced");
    ASSERT_TRUE(zip::zip_folder(src, archive));

    std::string out;
    EXPECT_EQ(run({"/usr/bin/unzip", "-t", archive}, out), 0) << out;
    EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
    EXPECT_EQ(run({"/usr/bin/zipinfo", "-v", archive}, out), 0) << out;
    EXPECT_NE(out.find("compression method:                             deflated"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("compression method:                             none (stored)"),
              std::string::npos)
        << out;
    EXPECT_EQ(run({"/usr/bin/env", "python3", ZS_CHECK_ARCHIVE, archive, src}, out), 0) << out;
}

TEST(ZipFolder, EmptyFolderGivesOnlyTheEndRecord) {
    test::temp_folder tmp("zs-zip");
    platform::make_folders(tmp / "empty/");
    ASSERT_TRUE(zip::zip_folder(tmp / "empty/", tmp / "e.zip"));
    const std::string bytes = read_all(tmp / "e.zip");
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x05\x06", 4));
    EXPECT_EQ(bytes.substr(4), std::string(18, '\0'));
}

TEST(ZipFolder, MissingFolderOrUnwritableTargetFails) {
    test::temp_folder tmp("zs-zip");
    EXPECT_FALSE(zip::zip_folder(tmp / "absent/", tmp / "a.zip"));
    platform::make_folders(tmp / "src/");
    EXPECT_FALSE(zip::zip_folder(tmp / "src/", tmp / "no/such/folder/a.zip"));
}

TEST(ZipWriter, ResultCodesAndStickyError) {
    test::temp_folder tmp("zs-zip");
    zip::zip_result rc = zip::ZR_OK;
    EXPECT_EQ(zip::create_zip(tmp / "missing/x.zip", &rc), nullptr);
    EXPECT_EQ(rc, zip::ZR_NOFILE);

    auto writer = zip::create_zip(tmp / "x.zip", &rc);
    ASSERT_NE(writer, nullptr);
    platform::write_file(tmp / "a.txt", "abc");
    EXPECT_EQ(zip::zip_add_file(*writer, "\\a.txt", tmp / "a.txt"), zip::ZR_OK);
    EXPECT_EQ(zip::zip_add_file(*writer, "\\gone.txt", tmp / "gone.txt"), zip::ZR_NOFILE);
    EXPECT_EQ(zip::zip_add_folder(*writer, "\\later"), zip::ZR_FAILED);
    EXPECT_EQ(zip::zip_add_file(*writer, std::string(300, 'n'), tmp / "a.txt"), zip::ZR_FAILED);
    EXPECT_EQ(writer->close(), zip::ZR_OK);
    EXPECT_EQ(writer->add_folder("\\x"), zip::ZR_ENDED);
    EXPECT_EQ(writer->close(), zip::ZR_ENDED);

    // The entry before the failure is kept and readable.
    std::string out;
    EXPECT_EQ(run({"/usr/bin/unzip", "-p", tmp / "x.zip", "/a.txt"}, out), 0) << out;
    EXPECT_EQ(out, "abc");

    auto second = zip::create_zip(tmp / "y.zip");
    EXPECT_EQ(zip::zip_add_file(*second, std::string(260, 'n'), tmp / "a.txt"), zip::ZR_ARGS);

    EXPECT_STREQ(zip::zip_result_text(zip::ZR_OK), "Success");
    EXPECT_STREQ(zip::zip_result_text(zip::ZR_NODUPH), "Culdn't duplicate handle");
    EXPECT_STREQ(zip::zip_result_text(zip::ZR_FAILED), "Caller: there was a previous error");
    EXPECT_STREQ(zip::zip_result_text(zip::ZR_FLATE), "Zip-bug: an internal error during flation");
    EXPECT_STREQ(zip::zip_result_text(0x123), "unknown zip result code");
}

// Blocks deflated apart must join into one stream that inflates to the input,
// whole or not, and the same bytes whatever the number of threads; a read
// failure mid-stream must return.
TEST(ZipWriter, DeflatedBlocksJoinIntoOneStreamWhateverTheThreads) {
    for (const std::size_t size : {zip::deflate_block_size * 3, zip::deflate_block_size * 7 / 2}) {
        const std::string data = log_text(size, 4);
        std::string first;
        for (const unsigned threads : {1u, 3u}) {
            std::size_t pos = 0;
            const zip::deflate_read read = [&](char* p, std::size_t n, std::size_t& got) {
                got = std::min<std::size_t>({n, data.size() - pos, 1000});
                data.copy(p, got, pos);
                pos += got;
                return true;
            };
            std::string packed;
            const zip::deflate_write write = [&](const char* p, std::size_t n) {
                packed.append(p, n);
                return true;
            };
            zip::deflate_totals totals;
            ASSERT_EQ(zip::deflate_stream(read, write, threads, totals), zip::deflate_status::ok);
            EXPECT_EQ(totals.crc, crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                        static_cast<uInt>(data.size())));
            EXPECT_EQ(totals.in, data.size());
            EXPECT_EQ(totals.out, packed.size());
            if (first.empty()) {
                first = packed;
            } else {
                EXPECT_EQ(packed, first) << threads << " threads";
            }
        }
        std::string inflated(size, '\0');
        z_stream z{};
        ASSERT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(first.data());
        z.avail_in = static_cast<uInt>(first.size());
        z.next_out = reinterpret_cast<Bytef*>(inflated.data());
        z.avail_out = static_cast<uInt>(inflated.size());
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
        EXPECT_EQ(z.avail_in, 0u);
        inflateEnd(&z);
        EXPECT_TRUE(inflated == data);
    }
    std::size_t reads = 0;
    const zip::deflate_read failing = [&](char* p, std::size_t n, std::size_t& got) {
        std::fill_n(p, n, 'x');
        got = n;
        return ++reads < 5;
    };
    zip::deflate_totals totals;
    EXPECT_EQ(zip::deflate_stream(
                  failing, [](const char*, std::size_t) { return true; }, 2, totals),
              zip::deflate_status::read_failed);
}

TEST(ZipFormat, NamesExtensionsAndTimes) {
    EXPECT_EQ(zip::stored_entry_name("\\\\sub\\\\a.txt", false), "//sub//a.txt");
    EXPECT_EQ(zip::stored_entry_name("\\\\sub", true), "//sub/");
    EXPECT_EQ(zip::stored_entry_name("//sub/", true), "//sub/");
    for (const char* name : {"a.Z", "b.ZIP", "c.zoo", "d.Arc", "e.lzh", "f.arj", "g.gz", "h.TGZ"}) {
        EXPECT_TRUE(zip::is_stored_extension(name)) << name;
    }
    for (const char* name : {"a.txt", "zip", "a.zip.txt", "a.gzip", "noext"}) {
        EXPECT_FALSE(zip::is_stored_extension(name)) << name;
    }
    // 2020-02-29 13:45:59 UTC: seconds are halved.
    const zip::dos_stamp s = zip::dos_stamp_utc(1582983959);
    EXPECT_EQ(s.date, (40 << 9) | (2 << 5) | 29);
    EXPECT_EQ(s.time, (13 << 11) | (45 << 5) | 29);
    const zip::dos_stamp early = zip::dos_stamp_utc(0);
    EXPECT_EQ(early.date, (0 << 9) | (1 << 5) | 1);
}
