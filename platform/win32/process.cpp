#include "platform/process.hpp"

#include "platform/win32/wide.hpp"

#include <tlhelp32.h>

namespace zs::platform {

namespace {

using win32::unique_handle;

bool same_name(std::wstring_view a, std::wstring_view b, name_match match) {
    if (match == name_match::exact) {
        return a == b;
    }
    return a.size() == b.size() &&
           ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// One argument as the C runtime parses it back: quoted when it holds a
// space or a quote, with backslashes before a quote doubled.
void append_argument(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

} // namespace

process_id find_process(const std::string& exe_name, name_match match) {
    unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    const std::wstring wanted = win32::widen(exe_name);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        std::wstring_view name(entry.szExeFile);
        if (const auto cut = name.find_last_of(L"\\/"); cut != std::wstring_view::npos) {
            name.remove_prefix(cut + 1);
        }
        if (same_name(name, wanted, match) && process_runs(entry.th32ProcessID)) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

start_result start_process(const std::string& path, const std::vector<std::string>& args,
                           const std::string& cwd, std::chrono::milliseconds wait) {
    const std::wstring application = win32::widen(path);
    std::wstring line;
    append_argument(line, application);
    for (const auto& a : args) {
        line += L' ';
        append_argument(line, win32::widen(a));
    }
    const std::wstring folder = win32::widen(cwd);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_PROCESS_GROUP, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return {0, static_cast<int>(::GetLastError())};
    }
    unique_handle process(pi.hProcess);
    unique_handle thread(pi.hThread);
    // Until its first window waits for input (a GUI program), at most wait.
    ::WaitForInputIdle(process.get(), static_cast<DWORD>(wait.count()));
    return {pi.dwProcessId, 0};
}

bool process_runs(process_id pid) {
    if (pid == 0) {
        return false;
    }
    unique_handle h(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
    return h && ::WaitForSingleObject(h.get(), 0) == WAIT_TIMEOUT;
}

bool terminate_process(process_id pid, std::chrono::milliseconds wait) {
    if (pid == 0) {
        return false;
    }
    unique_handle h(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!h) {
        return !process_runs(pid);
    }
    if (!::TerminateProcess(h.get(), 1) && ::WaitForSingleObject(h.get(), 0) != WAIT_OBJECT_0) {
        return false;
    }
    return ::WaitForSingleObject(h.get(), static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0;
}

} // namespace zs::platform
