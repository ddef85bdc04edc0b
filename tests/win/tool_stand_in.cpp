// Takes the place of a system program that setup runs (icacls.exe,
// netsh.exe, explorer.exe) in the installer test's Wine prefix: appends its
// command line, as setup wrote it, to the file named by ZS_TOOL_LOG. Under the
// name explorer.exe it then opens the program it was given, as the desktop's
// shell would, so that a server setup starts this way still starts.
#include <string>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace {

std::wstring env(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

void record(const std::wstring& line) {
    const std::wstring log = env(L"ZS_TOOL_LOG");
    if (log.empty()) {
        return;
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), n,
                          nullptr, nullptr);
    utf8 += "\n";
    // Appends under a lock of the whole file: setup waits for each tool, but
    // the explorer stand-in may overlap a later one.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = ::CreateFileW(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
            ::CloseHandle(h);
            return;
        }
        ::Sleep(10);
    }
}

bool named_explorer() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return ::lstrcmpiW(name.c_str(), L"explorer.exe") == 0;
}

} // namespace

int main() {
    record(::GetCommandLineW());
    if (!named_explorer()) {
        return 0;
    }
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 2) {
        return 0;
    }
    std::wstring folder = argv[1];
    folder.erase(folder.find_last_of(L"\\/") + 1);
    ::ShellExecuteW(nullptr, L"open", argv[1], nullptr, folder.c_str(), SW_SHOWNORMAL);
    ::LocalFree(argv);
    return 0;
}
