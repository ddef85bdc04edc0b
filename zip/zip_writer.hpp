#pragma once
// Writes a ZIP archive entry by entry from files on disk: deflated or stored
// data, the extended timestamp extra field, MS-DOS and Unix attributes.
#include "platform/file_stream.hpp"
#include "zip/zip_result.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace zs::zip {

class byte_sink;

class zip_writer {
public:
    // Creates the archive anew (replacing any file); nothing on failure,
    // with `code` set to ZR_NOFILE.
    static std::unique_ptr<zip_writer> create(const std::string& path, zip_result& code,
                                              std::error_code* why = nullptr);

    zip_result add_file(const std::string& entry_name, const std::string& source_path);
    zip_result add_folder(const std::string& entry_name);
    // Central directory and end record (once), then closes the file.
    zip_result close();
    // The system's reason for the last failure of a file operation, if any.
    const std::error_code& system_error() const { return system_error_; }
    // Threads that deflate a large file; 0 (the default) is one per processor.
    // The archive is the same whatever the number.
    void set_deflate_threads(unsigned threads) { deflate_threads_ = threads; }

    ~zip_writer();
    zip_writer(const zip_writer&) = delete;
    zip_writer& operator=(const zip_writer&) = delete;

private:
    struct entry {
        std::string name;
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint16_t time = 0;
        std::uint16_t date = 0;
        std::uint32_t crc = 0;
        std::uint32_t compressed = 0;
        std::uint32_t uncompressed = 0;
        std::uint32_t external = 0;
        std::uint32_t offset = 0;
        std::uint32_t times[3] = {0, 0, 0}; // modified, accessed, created
    };

    zip_writer() = default;
    zip_result check_open() const;
    zip_result fail(zip_result code, std::error_code why = {});
    zip_result write(const char* data, std::size_t size);
    zip_result write(const std::string& bytes);
    static void put_common_fields(byte_sink& s, const entry& e);
    std::string local_header(const entry& e) const;
    zip_result write_data(platform::input_stream& source, entry& e);
    zip_result rewrite_local_header(const entry& e);

    platform::output_stream out_;
    std::error_code system_error_;
    std::uint64_t written_ = 0;
    std::vector<entry> entries_;
    zip_result error_ = ZR_OK;
    unsigned deflate_threads_ = 0;
    bool closed_ = false;
};

// The operations by their usual names.
// `why`, when given, gets the system's reason for a failure.
std::unique_ptr<zip_writer> create_zip(const std::string& path, zip_result* code = nullptr,
                                       std::error_code* why = nullptr);
zip_result zip_add_file(zip_writer& writer, const std::string& entry_name,
                        const std::string& source_path);
zip_result zip_add_folder(zip_writer& writer, const std::string& entry_name);
zip_result close_zip(std::unique_ptr<zip_writer> writer); // releases the writer

// The entry name as stored: "\" turned into "/", a folder's name ending in "/".
std::string stored_entry_name(const std::string& name, bool folder);

// Whether the file carries an executable image header (owner-execute bit).
bool looks_executable(const std::string& path, std::uint64_t size);

} // namespace zs::zip
