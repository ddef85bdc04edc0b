#pragma once
// Protocol-1 frames: the request and response headers and their in-memory
// forms with their payload item lists.
//
// Drivers build replies like this:
//   auto r = std::make_shared<ZebResponse>();
//   r->kind = MSG_RESPONSE; r->request_id = request.header.request_id;
//   r->action = 1; r->status = 1; r->value = 0;
//   r->add_data(ITEM_DATA, "text");                 // or add_item(ITEM_DATA)
//   r->add_file_list()->add_file("x.txt")->content = bytes;
//   session.send_response(r);
#include "protocol/payload.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zs::protocol {

inline constexpr std::int32_t MSG_EVENT = 1;     // response kind: event sent on the server's own
inline constexpr std::int32_t MSG_RESPONSE = 2;  // response kind: answer to a request
inline constexpr std::int32_t MSG_REQUEST = 2;   // request kind: for the client object
inline constexpr std::int32_t MSG_KEEPALIVE = 3; // request kind: keep-alive

inline constexpr std::int32_t max_body_length = 16777216; // 16 MiB
inline constexpr std::size_t request_header_size = 28;
// The names one file request (commands 2 and 3) may ask for: each costs the
// server a file object and a read, so a 16 MiB list of empty names must not.
inline constexpr std::size_t max_requested_names = 1000;
// Replies and events of one session accepted and not yet written. A reply
// alone larger than this is refused (the session stays); a session whose
// backlog passes it does not read and is closed.
inline constexpr std::size_t max_unsent_bytes = std::size_t{64} << 20;

// What became of a reply handed to a session.
enum class send_outcome {
    accepted,  // queued whole for writing
    too_large, // larger than max_unsent_bytes on its own; the session goes on
    dropped,   // the session is closed or closes now (a client that does not read)
};
inline constexpr std::size_t response_header_size = 24;

struct REQUEST_HEADER {
    std::int32_t kind = 0;
    std::int32_t request_id = 0;
    std::int32_t action = 0;
    std::int32_t command = 0;
    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
    std::int32_t body_length = 0;

    static REQUEST_HEADER from_bytes(const std::uint8_t* bytes); // 28 bytes
    std::array<std::uint8_t, request_header_size> to_bytes() const;
};

struct RESPONSE_HEADER {
    std::int32_t kind = 0;
    std::int32_t request_id = 0;
    std::int32_t action = 0;
    std::int32_t status = 0;
    std::int32_t value = 0;
    std::int32_t body_length = 0;

    static RESPONSE_HEADER from_bytes(const std::uint8_t* bytes); // 24 bytes
    std::array<std::uint8_t, response_header_size> to_bytes() const;
};

struct payload_item {
    std::uint32_t type = 0;
    std::unique_ptr<ZebDataInterface> payload;
};

// The ordered item list kept by requests and responses.
class item_list {
public:
    // Creates an empty payload of the code's kind, appends it, returns it.
    ZebDataInterface* add_item(std::uint32_t type_code);
    ZebRawData* add_data(std::uint32_t type_code, std::string bytes); // any code but ITEM_FILE
    ZebFileList* add_file_list();                                     // an ITEM_FILE item
    // The first item with that code, or null.
    ZebDataInterface* find_item(std::uint32_t type_code) const;
    const ZebRawData* find_data(std::uint32_t type_code) const;
    const ZebFileList* find_file_list() const;

    const std::vector<payload_item>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    // 0 without items, else 4 + sum of (4 + payload size).
    std::size_t body_length() const;
    void write_body(std::uint8_t* at) const; // exactly body_length() bytes
    // Parses a request body; on failure the items read so far stay.
    bool parse_body(const std::uint8_t* body, std::size_t length);

private:
    std::vector<payload_item> items_;
};

struct ZebRequest : item_list {
    REQUEST_HEADER header;
};

struct ZebResponse : item_list {
    std::int32_t kind = MSG_RESPONSE;
    std::int32_t request_id = 0;
    std::int32_t action = 0;
    std::int32_t status = 0;
    std::int32_t value = 0;

    RESPONSE_HEADER header() const; // with body_length filled in
    // The whole frame: 24-byte header, then the body, in one buffer.
    std::vector<std::uint8_t> serialize() const;
};

// Parses a response frame's body into a response (client side); true when valid.
bool parse_response_body(ZebResponse& response, const std::uint8_t* body, std::size_t length);

} // namespace zs::protocol
