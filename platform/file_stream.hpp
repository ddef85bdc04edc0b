#pragma once
// Files read and written in pieces, for what is too large to hold at once
// (the archive writer): a file read while others may read it too, and one
// written with a seek back. Paths as in files.hpp; every failure carries the
// system's reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace zs::platform {

class input_stream {
public:
    input_stream() = default;
    ~input_stream();
    input_stream(const input_stream&) = delete;
    input_stream& operator=(const input_stream&) = delete;

    // A regular file only: a folder gives is_a_directory.
    bool open(const std::string& path, std::error_code* error = nullptr);
    // Up to size bytes into data; got is 0 at the end of the file.
    bool read(char* data, std::size_t size, std::size_t& got, std::error_code* error = nullptr);
    // The next read starts at offset.
    bool seek(std::uint64_t offset, std::error_code* error = nullptr);
    void close();

private:
    std::intptr_t handle_ = -1; // a descriptor or a system handle
};

class output_stream {
public:
    output_stream() = default;
    ~output_stream(); // closes without reporting
    output_stream(const output_stream&) = delete;
    output_stream& operator=(const output_stream&) = delete;

    // Creates the file anew, replacing one that exists.
    bool create(const std::string& path, std::error_code* error = nullptr);
    bool write(const char* data, std::size_t size, std::error_code* error = nullptr);
    // The next write goes to offset (from the start of the file).
    bool seek(std::uint64_t offset, std::error_code* error = nullptr);
    // Flushes and closes; false when the data could not all be stored.
    bool close(std::error_code* error = nullptr);
    bool is_open() const { return handle_ != -1; }

private:
    std::intptr_t handle_ = -1;
};

} // namespace zs::platform
