// Loaded into the setup process by a message hook (see page_probe.hpp):
// measures each text on the page against its control with the control's own
// font, word-wrapping as the control does, and reports those cut off.
#include "tests/win/page_probe.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

namespace {

std::string utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring text_of(HWND w) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(::GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring class_of(HWND w) {
    wchar_t name[64] = {};
    ::GetClassNameW(w, name, 64);
    return name;
}

struct fit {
    bool measured = false;
    bool fits = true;
    SIZE needs{};
};

// The rectangle `text` needs in the control's font, at most `width` wide.
fit measure(HWND control, const std::wstring& text, int width, int height, UINT flags) {
    fit result;
    auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(SYSTEM_FONT));
    RECT r{0, 0, width, 0};
    ::DrawTextW(dc, text.c_str(), -1, &r, flags | DT_CALCRECT | DT_EXPANDTABS);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    result.measured = true;
    result.needs = {r.right - r.left, r.bottom - r.top};
    result.fits = result.needs.cx <= width && result.needs.cy <= height;
    return result;
}

fit check_static(HWND w, const std::wstring& text, const RECT& client) {
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_STYLE));
    const DWORD type = style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_SIMPLE &&
        type != SS_LEFTNOWORDWRAP) {
        return fit{};
    }
    UINT flags = (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) ? DT_SINGLELINE : DT_WORDBREAK;
    if (style & SS_NOPREFIX) {
        flags |= DT_NOPREFIX;
    }
    return measure(w, text, client.right, client.bottom, flags);
}

fit check_button(HWND w, const std::wstring& text, const RECT& client) {
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_STYLE));
    int room = client.right;
    const int dpi = static_cast<int>(::GetDpiForWindow(w));
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        room -= ::MulDiv(6, dpi, 96); // the button's edges
        break;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        room -= ::MulDiv(16, dpi, 96); // the box and the gap after it
        break;
    case BS_GROUPBOX:
        room -= ::MulDiv(16, dpi, 96); // the frame's corners around the caption
        break;
    default:
        return fit{};
    }
    const UINT flags = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    return measure(w, text, room, client.bottom, flags);
}

void note(std::string& report, const std::wstring& what, const std::wstring& text, SIZE needs,
          const RECT& has) {
    report += "cut off: " + utf8(what) + " \"" + utf8(text) + "\": needs " +
              std::to_string(needs.cx) + "x" + std::to_string(needs.cy) + ", has " +
              std::to_string(has.right) + "x" + std::to_string(has.bottom) + "\n";
}

// The components list: an item's text must end inside the list.
void check_tree(HWND tree, const RECT& client, int& measured, int& cut, std::string& report) {
    std::vector<HTREEITEM> items;
    for (auto item = TreeView_GetRoot(tree); item != nullptr;
         item = TreeView_GetNextSibling(tree, item)) {
        items.push_back(item);
        for (auto child = TreeView_GetChild(tree, item); child != nullptr;
             child = TreeView_GetNextSibling(tree, child)) {
            items.push_back(child);
        }
    }
    for (HTREEITEM item : items) {
        wchar_t text[512] = {};
        TVITEMW look{};
        look.mask = TVIF_TEXT | TVIF_HANDLE;
        look.hItem = item;
        look.pszText = text;
        look.cchTextMax = 512;
        TreeView_GetItem(tree, &look);
        RECT r{};
        if (!TreeView_GetItemRect(tree, item, &r, TRUE)) {
            continue; // scrolled out of view: the list scrolls
        }
        ++measured;
        if (r.right > client.right) {
            ++cut;
            note(report, L"list item", text, SIZE{r.right - r.left, r.bottom - r.top}, client);
        }
    }
}

std::string check_page(HWND top) {
    std::vector<HWND> controls;
    ::EnumChildWindows(
        top,
        [](HWND w, LPARAM list) {
            if (::IsWindowVisible(w)) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&controls));
    int measured = 0;
    int cut = 0;
    std::string report;
    for (HWND w : controls) {
        RECT client{};
        ::GetClientRect(w, &client);
        const std::wstring kind = class_of(w);
        if (kind == WC_TREEVIEWW) {
            check_tree(w, client, measured, cut, report);
            continue;
        }
        const std::wstring text = text_of(w);
        if (text.empty()) {
            continue;
        }
        fit result;
        if (kind == L"Static") {
            result = check_static(w, text, client);
        } else if (kind == L"Button") {
            result = check_button(w, text, client);
        }
        if (result.measured) {
            ++measured;
            if (!result.fits) {
                ++cut;
                note(report, kind, text, result.needs, client);
            }
        }
    }
    return report + "measured " + std::to_string(measured) + " texts, " + std::to_string(cut) +
           " cut off\n";
}

void hand_back(const std::string& report) {
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, zs::test::probe_report);
    HANDLE done = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, zs::test::probe_done);
    if (mapping != nullptr) {
        if (void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
            const std::size_t n =
                std::min<std::size_t>(report.size(), zs::test::probe_report_size - 1);
            std::memcpy(view, report.data(), n);
            static_cast<char*>(view)[n] = '\0';
            ::UnmapViewOfFile(view);
        }
        ::CloseHandle(mapping);
    }
    if (done != nullptr) {
        ::SetEvent(done);
        ::CloseHandle(done);
    }
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM how, LPARAM data) {
    static const UINT measure_now = ::RegisterWindowMessageW(zs::test::probe_message);
    const auto* message = reinterpret_cast<const MSG*>(data);
    if (code == HC_ACTION && how == PM_REMOVE && message->message == measure_now) {
        hand_back(check_page(message->hwnd));
    }
    return ::CallNextHookEx(nullptr, code, how, data);
}
