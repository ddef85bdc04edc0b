// The ZIP writer fed odd entry names (separators, dots, control bytes, empty
// names) and contents, then the archive read back field by field: the end
// record, the central directory and each local header must agree, and every
// entry's data must inflate to the content with the recorded CRC-32.
#include "fuzz/fuzz_check.hpp"
#include "fuzz/fuzz_dir.hpp"
#include "platform/files.hpp"
#include "zip/zip_format.hpp"
#include "zip/zip_writer.hpp"

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace zs;

namespace {

struct expected_entry {
    std::string name;
    std::string content;
    bool folder = false;
};

std::uint32_t u16(const std::string& s, std::size_t at) {
    ZS_FUZZ_CHECK(at + 2 <= s.size());
    return static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8);
}
std::uint32_t u32(const std::string& s, std::size_t at) {
    return u16(s, at) | (u16(s, at + 2) << 16);
}

std::string inflate_raw(const std::string& in, std::size_t expected_size) {
    std::string out(expected_size + 1, '\0'); // one spare byte shows a too-long stream
    z_stream z{};
    ZS_FUZZ_CHECK(inflateInit2(&z, -MAX_WBITS) == Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    ZS_FUZZ_CHECK(rc == Z_STREAM_END);
    ZS_FUZZ_CHECK(z.avail_in == 0); // the stream fills the compressed size exactly
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

void check_archive(const std::string& zip, const std::vector<expected_entry>& expected) {
    ZS_FUZZ_CHECK(zip.size() >= 22);
    const std::size_t end = zip.size() - 22;
    ZS_FUZZ_CHECK(u32(zip, end) == 0x06054B50);
    ZS_FUZZ_CHECK(u16(zip, end + 8) == expected.size() && u16(zip, end + 10) == expected.size());
    const std::uint32_t cd_size = u32(zip, end + 12);
    std::size_t cd = u32(zip, end + 16);
    ZS_FUZZ_CHECK(cd + cd_size == end);
    for (const auto& want : expected) {
        ZS_FUZZ_CHECK(u32(zip, cd) == 0x02014B50);
        const std::uint32_t method = u16(zip, cd + 10);
        const std::uint32_t crc = u32(zip, cd + 16);
        const std::uint32_t packed = u32(zip, cd + 20);
        const std::uint32_t size = u32(zip, cd + 24);
        const std::uint32_t name_length = u16(zip, cd + 28);
        const std::uint32_t extra_length = u16(zip, cd + 30);
        const std::uint32_t local = u32(zip, cd + 42);
        ZS_FUZZ_CHECK(cd + 46 + name_length + extra_length <= end);
        const std::string name = zip.substr(cd + 46, name_length);
        ZS_FUZZ_CHECK(name == zip::stored_entry_name(want.name, want.folder));
        ZS_FUZZ_CHECK(size == want.content.size());
        ZS_FUZZ_CHECK(method == 0 || (method == 8 && !want.folder));
        // The local header, rewritten after the data, says the same.
        ZS_FUZZ_CHECK(u32(zip, local) == 0x04034B50);
        ZS_FUZZ_CHECK(u16(zip, local + 8) == method && u32(zip, local + 14) == crc);
        ZS_FUZZ_CHECK(u32(zip, local + 18) == packed && u32(zip, local + 22) == size);
        ZS_FUZZ_CHECK(u16(zip, local + 26) == name_length);
        const std::size_t data = local + 30 + name_length + u16(zip, local + 28);
        ZS_FUZZ_CHECK(zip.substr(local + 30, name_length) == name);
        ZS_FUZZ_CHECK(data + packed <= cd);
        const std::string stored = zip.substr(data, packed);
        const std::string content = method == 8 ? inflate_raw(stored, size) : stored;
        ZS_FUZZ_CHECK(content == want.content);
        const auto actual_crc = crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                      static_cast<uInt>(content.size()));
        ZS_FUZZ_CHECK(actual_crc == crc);
        cd += 46 + name_length + extra_length + u16(zip, cd + 32);
    }
    ZS_FUZZ_CHECK(cd == end);
}

} // namespace

// Input: records of [kind][name length][name][content length (2 bytes)][content];
// an odd kind adds a folder entry, an even one a file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::scratch_dir("zip");
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string archive = dir + "out.zip";
    zip::zip_result code = zip::ZR_OK;
    auto writer = zip::create_zip(archive, &code);
    ZS_FUZZ_CHECK(writer && code == zip::ZR_OK);

    std::vector<expected_entry> expected;
    bool failed = false;
    std::size_t at = 0;
    for (int n = 0; at + 2 <= input.size() && n < 16; ++n) {
        const bool folder = (input[at] & 1) != 0;
        const std::size_t name_length = static_cast<std::uint8_t>(input[at + 1]);
        const std::string name = input.substr(at + 2, name_length);
        at += 2 + name.size();
        std::size_t content_length = 0;
        if (!folder && at + 2 <= input.size()) {
            content_length = u16(input, at);
            at += 2;
        }
        const std::string content = folder ? std::string() : input.substr(at, content_length);
        at += content.size();
        zip::zip_result rc = zip::ZR_OK;
        if (folder) {
            rc = zip::zip_add_folder(*writer, name);
        } else {
            const std::string source = dir + "source";
            ZS_FUZZ_CHECK(platform::write_file(source, content));
            rc = zip::zip_add_file(*writer, name, source);
        }
        if (failed) {
            ZS_FUZZ_CHECK(rc == zip::ZR_FAILED); // an earlier failure sticks
        } else if (rc == zip::ZR_OK) {
            expected.push_back({name, content, folder});
        } else {
            // Only a name the archive cannot hold is refused.
            ZS_FUZZ_CHECK(rc == zip::ZR_ARGS);
            ZS_FUZZ_CHECK(zip::stored_entry_name(name, folder).empty() ||
                          zip::stored_entry_name(name, folder).size() > 259);
            failed = true;
        }
    }
    const zip::zip_result closed = zip::close_zip(std::move(writer));
    ZS_FUZZ_CHECK(failed || closed == zip::ZR_OK);
    std::string bytes;
    ZS_FUZZ_CHECK(platform::read_file(archive, bytes));
    check_archive(bytes, expected);
    return 0;
}
