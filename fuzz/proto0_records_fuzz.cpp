// The protocol-0 record parsers on any bytes, without a socket: a parsed
// record writes back to bytes that parse to the same record, and the fields
// it keeps come back byte for byte.
#include "fuzz/fuzz_check.hpp"
#include "protocol/proto0_records.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

using namespace zs::protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto request = JOB_REQUEST_HEADER::from_bytes(bytes);
    ZS_FUZZ_CHECK(request.has_value() == (size >= job_request_size));
    if (request) {
        ZS_FUZZ_CHECK(request->password.size() <= job_password_size);
        ZS_FUZZ_CHECK(request->password.find('\0') == std::string::npos);
        const auto written = request->to_bytes();
        // The words and the password's bytes; reserved bytes are written as zero.
        ZS_FUZZ_CHECK(std::equal(written.begin(), written.begin() + 12, data));
        const auto* field = reinterpret_cast<const char*>(written.data() + 48);
        ZS_FUZZ_CHECK(std::string(field, request->password.size()) == request->password);
        const auto again = JOB_REQUEST_HEADER::from_bytes(written);
        ZS_FUZZ_CHECK(again && again->to_bytes() == written);
        ZS_FUZZ_CHECK(again->password == request->password);
        ZS_FUZZ_CHECK(request->body_length_valid() ==
                      (request->body_length >= 0 && request->body_length <= max_job_body));
    }
    const auto response = JOB_RESPONSE_HEADER::from_bytes(bytes);
    ZS_FUZZ_CHECK(response.has_value() == (size >= job_response_size));
    if (response) {
        const auto written = response->to_bytes();
        ZS_FUZZ_CHECK(std::equal(written.begin() + 4, written.begin() + 20, data + 4));
        ZS_FUZZ_CHECK(
            std::all_of(written.begin() + 20, written.end(), [](auto b) { return b == 0; }));
        const auto again = JOB_RESPONSE_HEADER::from_bytes(written);
        ZS_FUZZ_CHECK(again && again->to_bytes() == written);
    }
    return 0;
}
