// The built-in string list of the Windows build: the "TXT" resource of the
// executable, or the copy compiled in where a program carries no resources
// (the test programs).
#include "resources/resources.hpp"
#include "resources/win32/resource_ids.h"

#include <windows.h>

namespace zs::resources {

std::string_view builtin_strings() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_STRINGS), L"TXT");
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return embedded_strings();
    }
    return {static_cast<const char*>(bytes), ::SizeofResource(module, found)};
}

} // namespace zs::resources
