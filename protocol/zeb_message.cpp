#include "protocol/zeb_message.hpp"

#include "net/wire.hpp"

namespace zs::protocol {

REQUEST_HEADER REQUEST_HEADER::from_bytes(const std::uint8_t* b) {
    return {net::read_word(b),      net::read_word(b + 4),  net::read_word(b + 8),
            net::read_word(b + 12), net::read_word(b + 16), net::read_word(b + 20),
            net::read_word(b + 24)};
}

std::array<std::uint8_t, request_header_size> REQUEST_HEADER::to_bytes() const {
    std::array<std::uint8_t, request_header_size> out{};
    const std::int32_t fields[] = {kind, request_id, action, command, param1, param2, body_length};
    for (std::size_t i = 0; i < 7; ++i) {
        net::write_word(out.data() + 4 * i, fields[i]);
    }
    return out;
}

RESPONSE_HEADER RESPONSE_HEADER::from_bytes(const std::uint8_t* b) {
    return {net::read_word(b),      net::read_word(b + 4),  net::read_word(b + 8),
            net::read_word(b + 12), net::read_word(b + 16), net::read_word(b + 20)};
}

std::array<std::uint8_t, response_header_size> RESPONSE_HEADER::to_bytes() const {
    std::array<std::uint8_t, response_header_size> out{};
    const std::int32_t fields[] = {kind, request_id, action, status, value, body_length};
    for (std::size_t i = 0; i < 6; ++i) {
        net::write_word(out.data() + 4 * i, fields[i]);
    }
    return out;
}

ZebDataInterface* item_list::add_item(std::uint32_t type_code) {
    items_.push_back({type_code, factory_for_type(type_code).create()});
    return items_.back().payload.get();
}

ZebRawData* item_list::add_data(std::uint32_t type_code, std::string bytes) {
    auto* raw = dynamic_cast<ZebRawData*>(add_item(type_code == ITEM_FILE ? ITEM_DATA : type_code));
    raw->data = std::move(bytes);
    return raw;
}

ZebFileList* item_list::add_file_list() {
    return static_cast<ZebFileList*>(add_item(ITEM_FILE));
}

ZebDataInterface* item_list::find_item(std::uint32_t type_code) const {
    for (const auto& item : items_) {
        if (item.type == type_code) {
            return item.payload.get();
        }
    }
    return nullptr;
}

const ZebRawData* item_list::find_data(std::uint32_t type_code) const {
    return dynamic_cast<const ZebRawData*>(find_item(type_code));
}

const ZebFileList* item_list::find_file_list() const {
    return dynamic_cast<const ZebFileList*>(find_item(ITEM_FILE));
}

std::size_t item_list::body_length() const {
    if (items_.empty()) {
        return 0;
    }
    std::size_t total = 4;
    for (const auto& item : items_) {
        total += 4 + item.payload->size();
    }
    return total;
}

void item_list::write_body(std::uint8_t* at) const {
    if (items_.empty()) {
        return;
    }
    net::write_word(at, static_cast<std::int32_t>(items_.size()));
    at += 4;
    for (const auto& item : items_) {
        net::write_word(at, static_cast<std::int32_t>(item.type));
        const std::size_t n = item.payload->size();
        item.payload->serialize(at + 4, n);
        at += 4 + n;
    }
}

bool item_list::parse_body(const std::uint8_t* body, std::size_t length) {
    if (length < 4) {
        return false;
    }
    const std::int32_t count = net::read_word(body);
    if (count == 0) {
        return false;
    }
    std::size_t cursor = 4;
    // A negative count reads items until the bytes run out, then fails.
    for (std::int64_t read = 0; count < 0 || read < count; ++read) {
        if (cursor >= length || length - cursor < 4) {
            return false;
        }
        const auto type = static_cast<std::uint32_t>(net::read_word(body + cursor));
        auto payload = factory_for_type(type).create();
        if (!payload->deserialize(body + cursor + 4, length - cursor - 4)) {
            return false;
        }
        cursor += 4 + payload->size();
        items_.push_back({type, std::move(payload)});
    }
    return cursor == length;
}

RESPONSE_HEADER ZebResponse::header() const {
    return {kind, request_id, action, status, value, static_cast<std::int32_t>(body_length())};
}

std::vector<std::uint8_t> ZebResponse::serialize() const {
    const std::size_t body = body_length();
    std::vector<std::uint8_t> frame(response_header_size + body);
    const auto head = header().to_bytes();
    std::copy(head.begin(), head.end(), frame.begin());
    write_body(frame.data() + response_header_size);
    return frame;
}

bool parse_response_body(ZebResponse& response, const std::uint8_t* body, std::size_t length) {
    return length == 0 || response.parse_body(body, length);
}

} // namespace zs::protocol
