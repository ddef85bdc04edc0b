// A key=value file as a program may leave it. Reading it and writing the
// store out must be stable: the written text reads back to the same store
// and writes out to the same text, and every key keeps its first spelling.
#include "core/file_exchange.hpp"
#include "core/text.hpp"
#include "fuzz/fuzz_check.hpp"
#include "fuzz/fuzz_dir.hpp"
#include "platform/files.hpp"

#include <cstdint>
#include <string>

using namespace zs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::scratch_dir("kv");
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string path = dir + "zeboutput.txt";
    zs::platform::write_file(path, input);

    core::key_value_store store;
    core::add_key_value(store, "stale", "left from before");
    core::read_key_value_file(path, store);
    std::string kept;
    ZS_FUZZ_CHECK(zs::platform::read_file(path, kept) && kept == input); // never changed

    core::key_value_store direct;
    core::parse_key_values(input, direct);
    const std::string text = core::serialize_key_values(store);
    ZS_FUZZ_CHECK(text == core::serialize_key_values(direct));
    ZS_FUZZ_CHECK(store.empty() == (input.find('=') == std::string::npos));

    if (text.find("\r\n") != std::string::npos) {
        return 0; // a value ending in CR reads back without it, as a text-mode read does
    }
    core::key_value_store again;
    core::parse_key_values(text, again);
    ZS_FUZZ_CHECK(core::serialize_key_values(again) == text);
    ZS_FUZZ_CHECK(again.key_count() == store.key_count());
    // A lookup ignores ASCII case and gives the first value met.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ZS_FUZZ_CHECK(end != std::string::npos); // every written line ends in LF
        const std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        ZS_FUZZ_CHECK(eq != std::string::npos);
        const std::string key = line.substr(0, eq);
        const auto& values = store.values(core::ascii_lower(key));
        ZS_FUZZ_CHECK(!values.empty());
        ZS_FUZZ_CHECK(store.lookup(key) == values.front());
        start = end + 1;
    }
    return 0;
}
