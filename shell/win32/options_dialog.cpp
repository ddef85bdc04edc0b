#include "shell/win32/options_dialog.hpp"
#include "shell/win32/ui_text.hpp"

#include "core/config_store.hpp"
#include "core/strings.hpp"
#include "platform/codepage.hpp"
#include "resources/win32/resource_ids.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zs::shell::win32 {

namespace {

// The layout in units of 1/96 inch; scaled to the window's DPI.
constexpr int width = 500, height = 285;
constexpr int max_edit_bytes = 4096;
constexpr RECT password_box{250, 53, 380, 77};
constexpr RECT idle_box{250, 123, 300, 147};
constexpr RECT name_box{250, 158, 450, 182};
constexpr RECT ok_box{138, 241, 248, 280};
constexpr RECT cancel_box{254, 241, 364, 280};
constexpr RECT title_shadow{19, 9, 479, 39};
constexpr RECT title_face{20, 10, 480, 40};
constexpr RECT hint_box{0, 91, 440, 115};
constexpr RECT open_box{4, 196, 496, 220}; // the whole width: the longest line
constexpr int label_right = 240, label_height = 24;
constexpr UINT title_format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr UINT label_format = DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX;
constexpr UINT open_format = DT_CENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr std::pair<core::string_id, int> labels[] = {{core::string_id::password, 56},
                                                      {core::string_id::idle_time, 126},
                                                      {core::string_id::server_name, 161}};

std::wstring hint_text() {
    const std::u16string hint = core::password_hint();
    return std::wstring(hint.begin(), hint.end());
}

// An edit's text in the ANSI code page, as the configuration holds it.
std::string narrow_text(HWND edit) {
    std::vector<char> buffer(max_edit_bytes + 1, '\0');
    const int n = ::GetWindowTextA(edit, buffer.data(), max_edit_bytes);
    return std::string(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

HWND make_edit(HWND parent, HINSTANCE instance, DWORD style) {
    return ::CreateWindowExW(
        0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | style, 0,
        0, 0, 0, parent, nullptr, instance, nullptr);
}

} // namespace

options_dialog::options_dialog(HINSTANCE instance, skin& look, core::config_store& config)
    : instance_(instance), skin_(look), config_(config) {}

options_dialog::~options_dialog() {
    close();
}

bool options_dialog::register_class(HINSTANCE instance, HICON icon) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &options_dialog::procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = options_class;
    return ::RegisterClassW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void options_dialog::open(HWND owner) {
    if (window_ != nullptr) {
        return;
    }
    owner_ = owner;
    RECT at{};
    ::GetWindowRect(owner, &at);
    // At the owner's scale from the start; its own monitor's once it shows.
    const UINT dpi = window_dpi(owner);
    // Wider than its owner: kept on the owner's monitor (at 200 % it would
    // start left of a window near the screen's edge).
    LONG left = at.left - scaled(106, dpi);
    LONG top = at.top + scaled(17, dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        left = std::max(work.left, std::min<LONG>(left, work.right - scaled(width, dpi)));
        top = std::max(work.top, std::min<LONG>(top, work.bottom - scaled(height, dpi)));
    }
    window_ =
        ::CreateWindowExW(0, options_class, L"Options", WS_POPUP, left, top, scaled(width, dpi),
                          scaled(height, dpi), owner, nullptr, instance_, this);
    if (window_ == nullptr) {
        return;
    }
    create_controls();
    lay_out(window_dpi(window_), nullptr);
    ::ShowWindow(window_, SW_SHOW);
    ::EnableWindow(owner_, FALSE);
    ::SetForegroundWindow(window_);
    ::SetFocus(password_);
}

void options_dialog::create_controls() {
    password_ = make_edit(window_, instance_, ES_LOWERCASE);
    idle_ = make_edit(window_, instance_, ES_NUMBER | ES_RIGHT);
    name_ = make_edit(window_, instance_, 0);
    ::SetWindowTextA(password_, config_.password().c_str());
    ::SetWindowTextA(idle_, std::to_string(config_.idle_minutes()).c_str());
    ::SetWindowTextA(name_, config_.server_name().c_str());
    const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    ok_ = ::CreateWindowExW(0, L"BUTTON", L"OK", button, 0, 0, 0, 0, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_OPTIONS_OK)), instance_,
                            nullptr);
    cancel_ = ::CreateWindowExW(0, L"BUTTON", L"Cancel", button, 0, 0, 0, 0, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_OPTIONS_CANCEL)),
                                instance_, nullptr);
}

void options_dialog::lay_out(UINT dpi, const RECT* suggested) {
    dpi_ = dpi;
    edit_font_.reset(make_font(L"MS Sans Serif", scaled(16, dpi), FW_NORMAL));
    title_font_.reset(make_font(L"Arial Black", point_height(12, dpi), 100));
    label_font_.reset(make_font(L"Arial", point_height(10, dpi), 600));
    RECT at{};
    ::GetWindowRect(window_, &at);
    if (suggested != nullptr) {
        at = *suggested;
    }
    ::SetWindowPos(window_, nullptr, at.left, at.top, scaled(width, dpi), scaled(height, dpi),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    set_rounded_region(window_, width + 1, height, dpi);
    const std::pair<HWND, RECT> boxes[] = {{password_, password_box},
                                           {idle_, idle_box},
                                           {name_, name_box},
                                           {ok_, ok_box},
                                           {cancel_, cancel_box}};
    for (const auto& [control, box] : boxes) {
        const RECT r = scaled(box, dpi);
        ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (HWND edit : {password_, idle_, name_}) {
        ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(edit_font_.get()), TRUE);
    }
    ::InvalidateRect(window_, nullptr, TRUE);
}

std::vector<text_box> options_dialog::text_boxes() const {
    std::vector<text_box> out = {
        {L"title", text_of(core::string_id::options), title_font_.get(), scaled(title_face, dpi_),
         title_format},
        {L"hint", hint_text(), label_font_.get(), scaled(hint_box, dpi_), label_format},
        {L"open to all", wide_text(core::open_to_all_text), label_font_.get(),
         scaled(open_box, dpi_), open_format},
        {L"ok", text_of(core::string_id::ok), skin_.button_font(dpi_), scaled(ok_box, dpi_),
         title_format},
        {L"cancel", text_of(core::string_id::cancel), skin_.button_font(dpi_),
         scaled(cancel_box, dpi_), title_format},
    };
    for (const auto& [id, y] : labels) {
        out.push_back({L"label", text_of(id), label_font_.get(),
                       scaled(RECT{0, y, label_right, y + label_height}, dpi_), label_format});
    }
    return out;
}

void options_dialog::close() {
    if (window_ == nullptr) {
        return;
    }
    HWND window = window_;
    window_ = nullptr; // destroying sends messages that must find it closed
    for (HWND* child : {&ok_, &cancel_, &password_, &idle_, &name_}) {
        ::DestroyWindow(*child);
        *child = nullptr;
    }
    ::DestroyWindow(window);
    edit_font_.reset();
    title_font_.reset();
    label_font_.reset();
    ::EnableWindow(owner_, TRUE);
    ::SetForegroundWindow(owner_);
}

bool options_dialog::save() {
    config_.set_password(narrow_text(password_));
    config_.set_idle_minutes(core::parse_leading_int(narrow_text(idle_)));
    config_.set_server_name(narrow_text(name_));
    if (config_.save()) {
        return true;
    }
    const std::u16string failure = platform::utf8_to_utf16(config_.save_failure());
    const std::wstring text(failure.begin(), failure.end());
    ::MessageBoxW(window_, text.c_str(), text_of(core::string_id::caption).c_str(),
                  MB_OK | MB_ICONWARNING);
    return false;
}

void options_dialog::paint(HDC dc) {
    draw_bitmap(dc, skin_.image(skin_image::options_background, dpi_),
                scaled(RECT{0, 0, width, height}, dpi_));
    HGDIOBJ old = ::SelectObject(dc, title_font_.get());
    draw_two_colour(dc, text_of(core::string_id::options), scaled(title_shadow, dpi_), label_dark,
                    scaled(title_face, dpi_), label_light, title_format);
    ::SelectObject(dc, label_font_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    for (const auto& [index, y] : labels) {
        const std::wstring text = text_of(index);
        RECT r = scaled(RECT{0, y, label_right, y + label_height}, dpi_);
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, label_format);
    }
    const std::wstring hint = hint_text();
    ::SetTextColor(dc, RGB(200, 100, 100));
    RECT r = scaled(hint_box, dpi_);
    ::DrawTextW(dc, hint.c_str(), static_cast<int>(hint.size()), &r, label_format);
    if (narrow_text(password_) == core::default_password) {
        ::SetTextColor(dc, RGB(190, 40, 40));
        RECT below = scaled(open_box, dpi_);
        ::DrawTextW(dc, wide_text(core::open_to_all_text).c_str(), -1, &below, open_format);
    }
    ::SelectObject(dc, old);
}

LRESULT CALLBACK options_dialog::procedure(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<options_dialog*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    if (self == nullptr || self->window_ != w) {
        return ::DefWindowProcW(w, message, wp, lp);
    }
    return self->handle_message(message, wp, lp);
}

LRESULT options_dialog::handle_message(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers the whole window with the background
    case WM_DPICHANGED:
        lay_out(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window_, &ps);
        paint(dc);
        ::EndPaint(window_, &ps);
        return 0;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        const bool pressed = (item.itemState & ODS_SELECTED) != 0;
        skin_.draw_button(
            item, skin_.button(pressed, dpi_),
            text_of(item.CtlID == ID_OPTIONS_OK ? core::string_id::ok : core::string_id::cancel),
            dpi_);
        return TRUE;
    }
    case WM_COMMAND:
        // The warning below the fields follows what is typed.
        if (HIWORD(wp) == EN_CHANGE && reinterpret_cast<HWND>(lp) == password_) {
            ::InvalidateRect(window_, nullptr, FALSE);
            return 0;
        }
        if (HIWORD(wp) != BN_CLICKED) {
            break;
        }
        if (LOWORD(wp) == ID_OPTIONS_OK) {
            if (save()) {
                close();
            }
            return 0;
        }
        if (LOWORD(wp) == ID_OPTIONS_CANCEL) {
            close();
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        drag_.handle_button_down(window_, lp);
        return 0;
    case WM_MOUSEMOVE:
        if (drag_.handle_move(window_)) {
            return 0;
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_MOUSELEAVE:
        if (drag_.handle_end(window_, message)) {
            return 0;
        }
        break;
    case WM_CLOSE:
        close();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wp, lp);
}

} // namespace zs::shell::win32
