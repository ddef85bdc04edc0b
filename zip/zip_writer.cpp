#include "zip/zip_writer.hpp"

#include "platform/files.hpp"
#include "zip/parallel_deflate.hpp"
#include "zip/zip_format.hpp"

#include <zlib.h>

#include <limits>

namespace zs::zip {

namespace {

constexpr std::size_t chunk_size = 64 * 1024;
constexpr std::uint64_t max_u32 = std::numeric_limits<std::uint32_t>::max();

constexpr std::uint32_t attr_read_only = 0x01;
constexpr std::uint32_t attr_hidden = 0x02;
constexpr std::uint32_t attr_archive = 0x20;
constexpr std::uint32_t mode_file = 0x8000;
constexpr std::uint32_t mode_read = 0x0100;
constexpr std::uint32_t mode_write = 0x0080;
constexpr std::uint32_t mode_execute = 0x0040;

std::uint32_t read_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Fills data with exactly size bytes unless the file ends first.
bool read_exactly(platform::input_stream& in, char* data, std::size_t size) {
    while (size > 0) {
        std::size_t got = 0;
        if (!in.read(data, size, got) || got == 0) {
            return false;
        }
        data += got;
        size -= got;
    }
    return true;
}

// Stored data: copied as it is, in pieces.
deflate_status copy_stream(const deflate_read& read, const deflate_write& write,
                           deflate_totals& totals) {
    totals = {};
    std::string buffer(chunk_size, '\0');
    for (;;) {
        std::size_t got = 0;
        if (!read(buffer.data(), buffer.size(), got)) {
            return deflate_status::read_failed;
        }
        if (got == 0) {
            return deflate_status::ok;
        }
        totals.crc = static_cast<std::uint32_t>(crc32(
            totals.crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(got)));
        totals.in += got;
        totals.out += got;
        if (!write(buffer.data(), got)) {
            return deflate_status::write_failed;
        }
    }
}

} // namespace

std::string stored_entry_name(const std::string& name, bool folder) {
    std::string out = name;
    for (char& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (folder && (out.empty() || out.back() != '/')) {
        out += '/';
    }
    return out;
}

bool looks_executable(const std::string& path, std::uint64_t size) {
    platform::input_stream in;
    unsigned char head[64];
    if (!in.open(path) || !read_exactly(in, reinterpret_cast<char*>(head), sizeof head) ||
        head[0] != 'M' || head[1] != 'Z') {
        return false;
    }
    const std::uint64_t offset = read_u32(head + 60);
    if (offset + 52 >= size) {
        return false;
    }
    unsigned char sig[4];
    if (!in.seek(offset) || !read_exactly(in, reinterpret_cast<char*>(sig), sizeof sig)) {
        return false;
    }
    const std::uint32_t v = read_u32(sig);
    return v == 0x00004550 || v == 0x0000454E || v == 0x0000454C || v == 0x00005A4D;
}

std::unique_ptr<zip_writer> zip_writer::create(const std::string& path, zip_result& code,
                                               std::error_code* why) {
    std::unique_ptr<zip_writer> writer(new zip_writer());
    if (!writer->out_.create(path, why)) {
        code = ZR_NOFILE;
        return nullptr;
    }
    code = ZR_OK;
    return writer;
}

zip_writer::~zip_writer() {
    if (!closed_) {
        close();
    }
}

zip_result zip_writer::check_open() const {
    if (closed_) {
        return ZR_ENDED;
    }
    return error_ != ZR_OK ? ZR_FAILED : ZR_OK;
}

zip_result zip_writer::fail(zip_result code, std::error_code why) {
    error_ = code;
    if (why) {
        system_error_ = why;
    }
    return code;
}

zip_result zip_writer::write(const char* data, std::size_t size) {
    if (std::error_code why; !out_.write(data, size, &why)) {
        return fail(ZR_WRITE, why);
    }
    written_ += size;
    return ZR_OK;
}

zip_result zip_writer::write(const std::string& bytes) {
    return write(bytes.data(), bytes.size());
}

// The fields a local header and its central record share, flags to name length.
void zip_writer::put_common_fields(byte_sink& s, const entry& e) {
    s.u16(e.flags);
    s.u16(e.method);
    s.u16(e.time);
    s.u16(e.date);
    s.u32(e.crc);
    s.u32(e.compressed);
    s.u32(e.uncompressed);
    s.u16(static_cast<std::uint16_t>(e.name.size()));
}

std::string zip_writer::local_header(const entry& e) const {
    byte_sink s;
    s.u32(local_header_signature);
    s.u16(version_needed);
    put_common_fields(s, e);
    s.u16(local_extra_size);
    s.text(e.name);
    s.u16(timestamp_extra_id);
    s.u16(13);
    s.bytes.push_back(7);
    s.u32(e.times[0]);
    s.u32(e.times[1]);
    s.u32(e.times[2]);
    return s.bytes;
}

zip_result zip_writer::add_folder(const std::string& entry_name) {
    if (const zip_result rc = check_open(); rc != ZR_OK) {
        return rc;
    }
    entry e;
    e.name = stored_entry_name(entry_name, true);
    if (e.name.size() > max_name_bytes || written_ > max_u32) {
        return fail(ZR_ARGS);
    }
    const local_now now = local_time_now();
    e.time = now.stamp.time;
    e.date = now.stamp.date;
    e.times[0] = e.times[1] = e.times[2] = now.unix_time;
    e.method = method_stored;
    e.external = folder_attributes;
    e.offset = static_cast<std::uint32_t>(written_);
    if (const zip_result rc = write(local_header(e)); rc != ZR_OK) {
        return rc;
    }
    entries_.push_back(std::move(e));
    return ZR_OK;
}

zip_result zip_writer::add_file(const std::string& entry_name, const std::string& source_path) {
    if (const zip_result rc = check_open(); rc != ZR_OK) {
        return rc;
    }
    const platform::file_info info = platform::stat_path(source_path);
    platform::input_stream source;
    if (std::error_code why; !source.open(source_path, &why)) {
        return fail(ZR_NOFILE, why);
    }
    entry e;
    e.name = stored_entry_name(entry_name, false);
    if (e.name.empty() || e.name.size() > max_name_bytes || info.size > max_u32 ||
        written_ > max_u32) {
        return fail(ZR_ARGS);
    }
    const dos_stamp stamp = dos_stamp_utc(info.modified);
    e.time = stamp.time;
    e.date = stamp.date;
    e.times[0] = static_cast<std::uint32_t>(info.modified);
    e.times[1] = static_cast<std::uint32_t>(info.accessed);
    e.times[2] = static_cast<std::uint32_t>(info.created);
    e.method = is_stored_extension(e.name) ? method_stored : method_deflated;
    e.flags = e.method == method_deflated ? flags_max_compression : 0;
    // Windows keeps the file's own bits (system and archive included); Linux
    // keeps none, and a freshly written file carries the archive bit elsewhere.
    std::uint32_t dos = info.dos_attributes.value_or(attr_archive);
    std::uint32_t mode = mode_file | mode_read;
    if (info.read_only) {
        dos |= attr_read_only;
    } else {
        mode |= mode_write;
    }
    if (info.hidden) {
        dos |= attr_hidden;
    }
    if (looks_executable(source_path, info.size)) {
        mode |= mode_execute;
    }
    e.external = (mode << 16) | dos;
    e.offset = static_cast<std::uint32_t>(written_);
    if (const zip_result rc = write(local_header(e)); rc != ZR_OK) {
        return rc;
    }
    if (const zip_result rc = write_data(source, e); rc != ZR_OK) {
        return rc;
    }
    if (const zip_result rc = rewrite_local_header(e); rc != ZR_OK) {
        return rc;
    }
    entries_.push_back(std::move(e));
    return ZR_OK;
}

zip_result zip_writer::write_data(platform::input_stream& source, entry& e) {
    std::error_code read_why;
    const deflate_read read = [&](char* data, std::size_t size, std::size_t& got) {
        return source.read(data, size, got, &read_why);
    };
    const deflate_write write_out = [this](const char* data, std::size_t size) {
        return write(data, size) == ZR_OK;
    };
    deflate_totals totals;
    const deflate_status status = e.method == method_deflated
                                      ? deflate_stream(read, write_out, deflate_threads_, totals)
                                      : copy_stream(read, write_out, totals);
    switch (status) {
    case deflate_status::ok:
        break;
    case deflate_status::read_failed:
        return fail(ZR_READ, read_why);
    case deflate_status::write_failed:
        return ZR_WRITE; // set by write
    case deflate_status::flate_failed:
        return fail(ZR_FLATE);
    }
    if (totals.in > max_u32 || totals.out > max_u32) {
        return fail(ZR_MISSIZE);
    }
    e.crc = totals.crc;
    e.uncompressed = static_cast<std::uint32_t>(totals.in);
    e.compressed = static_cast<std::uint32_t>(totals.out);
    return ZR_OK;
}

zip_result zip_writer::rewrite_local_header(const entry& e) {
    const std::string header = local_header(e);
    std::error_code why;
    if (!out_.seek(e.offset, &why)) {
        return fail(ZR_SEEK, why);
    }
    if (!out_.write(header.data(), header.size(), &why)) {
        return fail(ZR_WRITE, why);
    }
    return out_.seek(written_, &why) ? ZR_OK : fail(ZR_SEEK, why);
}

zip_result zip_writer::close() {
    if (closed_) {
        return ZR_ENDED;
    }
    closed_ = true;
    byte_sink s;
    for (const entry& e : entries_) {
        s.u32(central_header_signature);
        s.u16(version_made_by);
        s.u16(version_needed);
        put_common_fields(s, e);
        s.u16(central_extra_size);
        s.u16(0); // comment
        s.u16(0); // disk
        s.u16(0); // internal attributes
        s.u32(e.external);
        s.u32(e.offset);
        s.text(e.name);
        s.u16(timestamp_extra_id);
        s.u16(5);
        s.bytes.push_back(7);
        s.u32(e.times[0]);
    }
    const std::uint64_t directory_offset = written_;
    const std::uint64_t directory_size = s.bytes.size();
    const auto count = static_cast<std::uint16_t>(entries_.size());
    s.u32(end_record_signature);
    s.u16(0);
    s.u16(0);
    s.u16(count);
    s.u16(count);
    s.u32(static_cast<std::uint32_t>(directory_size));
    s.u32(static_cast<std::uint32_t>(directory_offset));
    s.u16(0);
    zip_result rc = ZR_OK;
    if (directory_offset > max_u32 || entries_.size() > 0xFFFF) {
        rc = ZR_ARGS;
    } else if (std::error_code why; !out_.write(s.bytes.data(), s.bytes.size(), &why)) {
        system_error_ = why;
        rc = ZR_WRITE;
    }
    if (std::error_code why; !out_.close(&why) && rc == ZR_OK) {
        system_error_ = why;
        rc = ZR_WRITE;
    }
    return rc;
}

std::unique_ptr<zip_writer> create_zip(const std::string& path, zip_result* code,
                                       std::error_code* why) {
    zip_result rc = ZR_OK;
    auto writer = zip_writer::create(path, rc, why);
    if (code != nullptr) {
        *code = rc;
    }
    return writer;
}

zip_result zip_add_file(zip_writer& writer, const std::string& entry_name,
                        const std::string& source_path) {
    return writer.add_file(entry_name, source_path);
}

zip_result zip_add_folder(zip_writer& writer, const std::string& entry_name) {
    return writer.add_folder(entry_name);
}

zip_result close_zip(std::unique_ptr<zip_writer> writer) {
    return writer ? writer->close() : ZR_ARGS;
}

} // namespace zs::zip
