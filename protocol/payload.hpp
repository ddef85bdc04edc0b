#pragma once
// Payload objects carried in protocol-1 request and response bodies, and the
// factories that make them by item type code.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zs::protocol {

// Four-character codes; on the wire (little-endian) the letters appear reversed.
inline constexpr std::uint32_t ITEM_DATA = 0x64617461;  // 'data'
inline constexpr std::uint32_t ITEM_FILE = 0x66696c65;  // 'file'
inline constexpr std::uint32_t ITEM_ERROR = 0x65727220; // 'err '

class ZebDataFactory;

class ZebDataInterface {
public:
    explicit ZebDataInterface(ZebDataFactory* factory) : factory_(factory) {}
    virtual ~ZebDataInterface() = default;
    ZebDataInterface(const ZebDataInterface&) = delete;
    ZebDataInterface& operator=(const ZebDataInterface&) = delete;

    virtual std::size_t size() const = 0;
    // Writes the serialized form; the caller sizes the buffer (capacity >= size()).
    virtual void serialize(std::uint8_t* buffer, std::size_t capacity) const = 0;
    // Reads the serialized form from at most `available` bytes.
    virtual bool deserialize(const std::uint8_t* data, std::size_t available) = 0;

    ZebDataFactory* factory() const { return factory_; }

private:
    ZebDataFactory* factory_;
};

class ZebRawData final : public ZebDataInterface {
public:
    using ZebDataInterface::ZebDataInterface;
    std::size_t size() const override { return 4 + data.size(); }
    void serialize(std::uint8_t* buffer, std::size_t capacity) const override;
    bool deserialize(const std::uint8_t* bytes, std::size_t available) override;

    std::string data; // raw bytes
};

class ZebFile final : public ZebDataInterface {
public:
    using ZebDataInterface::ZebDataInterface;
    std::size_t size() const override { return 8 + name.size() + content.size(); }
    void serialize(std::uint8_t* buffer, std::size_t capacity) const override;
    bool deserialize(const std::uint8_t* bytes, std::size_t available) override;

    std::string name;
    std::string content;
};

class ZebFileList final : public ZebDataInterface {
public:
    using ZebDataInterface::ZebDataInterface;
    std::size_t size() const override;
    void serialize(std::uint8_t* buffer, std::size_t capacity) const override;
    bool deserialize(const std::uint8_t* bytes, std::size_t available) override;

    // Creates a file through the file factory, appends it and returns it for filling.
    ZebFile* add_file(const std::string& file_name);

    std::vector<std::string> names;              // names a client asks for
    std::vector<std::unique_ptr<ZebFile>> files; // files a response carries
};

class ZebDataFactory {
public:
    virtual ~ZebDataFactory() = default;
    virtual std::unique_ptr<ZebDataInterface> create() = 0;
    void release(std::unique_ptr<ZebDataInterface> payload) { payload.reset(); }
};

class ZebRawDataFactory final : public ZebDataFactory {
public:
    static ZebRawDataFactory& instance();
    std::unique_ptr<ZebDataInterface> create() override;
};

class ZebFileFactory final : public ZebDataFactory {
public:
    static ZebFileFactory& instance();
    std::unique_ptr<ZebDataInterface> create() override;
    std::unique_ptr<ZebFile> create_file();
};

class ZebFileListFactory final : public ZebDataFactory {
public:
    static ZebFileListFactory& instance();
    std::unique_ptr<ZebDataInterface> create() override;
};

// The file-list factory for ITEM_FILE, the raw-data factory for every other code.
ZebDataFactory& factory_for_type(std::uint32_t type_code);

} // namespace zs::protocol
