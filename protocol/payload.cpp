#include "protocol/payload.hpp"

#include "net/wire.hpp"

#include <cstring>

namespace zs::protocol {

namespace {

// Reads a length word and checks it against what remains after it.
bool read_length(const std::uint8_t* bytes, std::size_t available, std::size_t& length) {
    if (available < 4) {
        return false;
    }
    const std::int32_t n = net::read_word(bytes);
    if (n < 0 || static_cast<std::size_t>(n) > available - 4) {
        return false;
    }
    length = static_cast<std::size_t>(n);
    return true;
}

std::uint8_t* put_text(std::uint8_t* at, const std::string& text) {
    net::write_word(at, static_cast<std::int32_t>(text.size()));
    if (!text.empty()) {
        std::memcpy(at + 4, text.data(), text.size());
    }
    return at + 4 + text.size();
}

} // namespace

void ZebRawData::serialize(std::uint8_t* buffer, std::size_t capacity) const {
    if (capacity < size()) {
        return;
    }
    put_text(buffer, data);
}

bool ZebRawData::deserialize(const std::uint8_t* bytes, std::size_t available) {
    std::size_t n = 0;
    if (!read_length(bytes, available, n)) {
        return false;
    }
    data.assign(reinterpret_cast<const char*>(bytes + 4), n);
    return true;
}

void ZebFile::serialize(std::uint8_t* buffer, std::size_t capacity) const {
    if (capacity < size()) {
        return;
    }
    put_text(put_text(buffer, name), content);
}

bool ZebFile::deserialize(const std::uint8_t* bytes, std::size_t available) {
    std::size_t a = 0;
    if (!read_length(bytes, available, a)) {
        return false;
    }
    const std::size_t rest = available - 4 - a;
    std::size_t b = 0;
    if (!read_length(bytes + 4 + a, rest, b)) {
        return false;
    }
    name.assign(reinterpret_cast<const char*>(bytes + 4), a);
    content.assign(reinterpret_cast<const char*>(bytes + 8 + a), b);
    return true;
}

std::size_t ZebFileList::size() const {
    std::size_t total = 8;
    for (const auto& n : names) {
        total += 4 + n.size();
    }
    for (const auto& f : files) {
        total += f->size();
    }
    return total;
}

void ZebFileList::serialize(std::uint8_t* buffer, std::size_t capacity) const {
    if (capacity < size()) {
        return;
    }
    std::uint8_t* at = buffer;
    net::write_word(at, static_cast<std::int32_t>(names.size()));
    at += 4;
    for (const auto& n : names) {
        at = put_text(at, n);
    }
    net::write_word(at, static_cast<std::int32_t>(files.size()));
    at += 4;
    for (const auto& f : files) {
        f->serialize(at, f->size());
        at += f->size();
    }
}

bool ZebFileList::deserialize(const std::uint8_t* bytes, std::size_t available) {
    if (available < 4) {
        return false;
    }
    const std::int32_t name_count = net::read_word(bytes);
    std::size_t pos = 4;
    for (std::int32_t i = 0; i < name_count; ++i) {
        std::size_t n = 0;
        if (!read_length(bytes + pos, available - pos, n)) {
            return false;
        }
        names.emplace_back(reinterpret_cast<const char*>(bytes + pos + 4), n);
        pos += 4 + n;
    }
    if (available - pos < 4) {
        return false;
    }
    const std::int32_t file_count = net::read_word(bytes + pos);
    pos += 4;
    for (std::int32_t i = 0; i < file_count; ++i) {
        auto file = ZebFileFactory::instance().create_file();
        if (!file->deserialize(bytes + pos, available - pos)) {
            return false;
        }
        pos += file->size();
        files.push_back(std::move(file));
    }
    return true;
}

ZebFile* ZebFileList::add_file(const std::string& file_name) {
    files.push_back(ZebFileFactory::instance().create_file());
    files.back()->name = file_name;
    return files.back().get();
}

// Function-local statics: made once on first use, safely across threads.
ZebRawDataFactory& ZebRawDataFactory::instance() {
    static ZebRawDataFactory* factory = new ZebRawDataFactory;
    return *factory;
}
std::unique_ptr<ZebDataInterface> ZebRawDataFactory::create() {
    return std::make_unique<ZebRawData>(this);
}

ZebFileFactory& ZebFileFactory::instance() {
    static ZebFileFactory* factory = new ZebFileFactory;
    return *factory;
}
std::unique_ptr<ZebDataInterface> ZebFileFactory::create() {
    return create_file();
}
std::unique_ptr<ZebFile> ZebFileFactory::create_file() {
    return std::make_unique<ZebFile>(this);
}

ZebFileListFactory& ZebFileListFactory::instance() {
    static ZebFileListFactory* factory = new ZebFileListFactory;
    return *factory;
}
std::unique_ptr<ZebDataInterface> ZebFileListFactory::create() {
    return std::make_unique<ZebFileList>(this);
}

ZebDataFactory& factory_for_type(std::uint32_t type_code) {
    if (type_code == ITEM_FILE) {
        return ZebFileListFactory::instance();
    }
    return ZebRawDataFactory::instance();
}

} // namespace zs::protocol
