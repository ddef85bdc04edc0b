// config.txt and OrvantaPath.txt as a user (or a crash) may leave them: the
// first half of the input is config.txt, the rest OrvantaPath.txt. A load
// and a save must never crash, a saved file must read back the same, and a
// refused one is never rewritten.
#include "core/config_store.hpp"
#include "platform/files.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = [] {
        std::string pattern = "/tmp/zs-fuzz-config-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern + "/";
    }();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t half = size / 2;
    zs::platform::write_file(dir + "config.txt", input.substr(0, half));
    zs::platform::write_file(dir + "OrvantaPath.txt", input.substr(half));

    zs::core::config_store store;
    if (!store.load(dir)) {
        // A file the server cannot understand stops it and stays as it was.
        std::string config;
        std::string orvanta;
        zs::platform::read_file(dir + "config.txt", config);
        zs::platform::read_file(dir + "OrvantaPath.txt", orvanta);
        if (config != input.substr(0, half) || orvanta != input.substr(half)) {
            std::abort();
        }
        return 0;
    }
    if (store.identity_text().size() != 36 || store.password().size() > 64) {
        std::abort();
    }
    (void)store.orvanta_folder();
    std::string first;
    zs::platform::read_file(dir + "config.txt", first);
    zs::core::config_store again;
    again.load(dir);
    std::string second;
    zs::platform::read_file(dir + "config.txt", second);
    // A file the store wrote is stable: loading it again changes nothing.
    if (first != second || again.identity_text() != store.identity_text()) {
        std::abort();
    }
    return 0;
}
