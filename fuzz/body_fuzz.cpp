// A protocol-1 request body as a client may send it. An accepted body must
// account for every byte, and writing its items back must give a body that
// parses to the same items and the same bytes again.
#include "fuzz/fuzz_check.hpp"
#include "net/wire.hpp"
#include "protocol/zeb_message.hpp"

#include <cstdint>
#include <vector>

namespace {

using namespace zs::protocol;

std::vector<std::uint8_t> body_of(const item_list& list) {
    std::vector<std::uint8_t> out(list.body_length());
    list.write_body(out.data());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZebRequest request;
    const bool accepted = request.parse_body(data, size);
    if (!accepted) {
        return 0;
    }
    ZS_FUZZ_CHECK(size >= 8);
    ZS_FUZZ_CHECK(!request.empty());
    ZS_FUZZ_CHECK(request.items().size() == static_cast<std::size_t>(zs::net::read_word(data)));
    ZS_FUZZ_CHECK(request.body_length() == size);
    for (const auto& item : request.items()) {
        ZS_FUZZ_CHECK(item.payload != nullptr);
        ZS_FUZZ_CHECK(&factory_for_type(item.type) == item.payload->factory());
    }
    const auto first = body_of(request);
    ZS_FUZZ_CHECK(first.size() == size);
    ZebRequest again;
    ZS_FUZZ_CHECK(again.parse_body(first.data(), first.size()));
    ZS_FUZZ_CHECK(again.items().size() == request.items().size());
    ZS_FUZZ_CHECK(body_of(again) == first);
    // The first data and file items are what the drivers look at.
    const ZebRawData* raw = request.find_data(ITEM_DATA);
    const ZebRawData* raw_again = again.find_data(ITEM_DATA);
    ZS_FUZZ_CHECK((raw == nullptr) == (raw_again == nullptr));
    if (raw != nullptr) {
        ZS_FUZZ_CHECK(raw->data == raw_again->data);
    }
    const ZebFileList* files = request.find_file_list();
    const ZebFileList* files_again = again.find_file_list();
    ZS_FUZZ_CHECK((files == nullptr) == (files_again == nullptr));
    if (files != nullptr) {
        ZS_FUZZ_CHECK(files->names == files_again->names);
        ZS_FUZZ_CHECK(files->files.size() == files_again->files.size());
    }
    return 0;
}
