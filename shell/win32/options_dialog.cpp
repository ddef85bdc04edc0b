#include "shell/win32/options_dialog.hpp"
#include "shell/win32/ui_text.hpp"

#include "core/config_store.hpp"
#include "core/strings.hpp"
#include "resources/win32/resource_ids.h"

#include <string>
#include <vector>

namespace zs::shell::win32 {

namespace {

constexpr int width = 500, height = 285;
constexpr int max_edit_bytes = 4096;

// An edit's text in the ANSI code page, as the configuration holds it.
std::string narrow_text(HWND edit) {
    std::vector<char> buffer(max_edit_bytes + 1, '\0');
    const int n = ::GetWindowTextA(edit, buffer.data(), max_edit_bytes);
    return std::string(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

HWND make_edit(HWND parent, HINSTANCE instance, DWORD style, int x, int y, int w) {
    return ::CreateWindowExW(
        0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | style, x,
        y, w, 24, parent, nullptr, instance, nullptr);
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
    skin_.options_background(); // loaded once, at the first opening
    window_ = ::CreateWindowExW(0, options_class, L"Options", WS_POPUP | WS_VISIBLE, at.left - 106,
                                at.top + 17, width, height, owner, nullptr, instance_, this);
    if (window_ == nullptr) {
        return;
    }
    set_rounded_region(window_, width + 1, height);
    create_controls();
    ::EnableWindow(owner_, FALSE);
    ::SetForegroundWindow(window_);
    ::SetFocus(password_);
}

void options_dialog::create_controls() {
    edit_font_.reset(make_font(L"MS Sans Serif", 16, FW_NORMAL));
    title_font_.reset(make_font(L"Arial Black", point_height(12), 100));
    label_font_.reset(make_font(L"Arial", point_height(10), 600));
    password_ = make_edit(window_, instance_, ES_LOWERCASE, 250, 53, 130);
    idle_ = make_edit(window_, instance_, ES_NUMBER | ES_RIGHT, 250, 123, 50);
    name_ = make_edit(window_, instance_, 0, 250, 158, 200);
    for (HWND edit : {password_, idle_, name_}) {
        ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(edit_font_.get()), FALSE);
    }
    ::SetWindowTextA(password_, config_.password().c_str());
    ::SetWindowTextA(idle_, std::to_string(config_.idle_minutes()).c_str());
    ::SetWindowTextA(name_, config_.server_name().c_str());
    const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    ok_ = ::CreateWindowExW(0, L"BUTTON", L"OK", button, 138, 241, 110, 39, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_OPTIONS_OK)), instance_,
                            nullptr);
    cancel_ = ::CreateWindowExW(0, L"BUTTON", L"Cancel", button, 254, 241, 110, 39, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_OPTIONS_CANCEL)),
                                instance_, nullptr);
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

void options_dialog::save() {
    config_.set_password(narrow_text(password_));
    config_.set_idle_minutes(core::parse_leading_int(narrow_text(idle_)));
    config_.set_server_name(narrow_text(name_));
    config_.save();
}

void options_dialog::paint(HDC dc) {
    draw_bitmap(dc, skin_.options_background());
    HGDIOBJ old = ::SelectObject(dc, title_font_.get());
    draw_two_colour(dc, text_of(core::string_id::options), RECT{19, 9, 479, 39}, label_dark,
                    RECT{20, 10, 480, 40}, label_light,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, label_font_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    const UINT right = DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX;
    const std::pair<core::string_id, int> labels[] = {{core::string_id::password, 56},
                                                      {core::string_id::idle_time, 126},
                                                      {core::string_id::server_name, 161}};
    for (const auto& [index, y] : labels) {
        const std::wstring text = text_of(index);
        RECT r{0, y, 240, y + 24};
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, right);
    }
    const std::u16string hint = core::password_hint();
    const std::wstring hint_text(hint.begin(), hint.end());
    ::SetTextColor(dc, RGB(200, 100, 100));
    RECT r{0, 91, 440, 115};
    ::DrawTextW(dc, hint_text.c_str(), static_cast<int>(hint_text.size()), &r, right);
    if (narrow_text(password_) == core::default_password) {
        ::SetTextColor(dc, RGB(190, 40, 40));
        RECT below{20, 196, 480, 220};
        ::DrawTextW(dc, wide_text(core::open_to_all_text).c_str(), -1, &below,
                    DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
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
            item, skin_.button(pressed),
            text_of(item.CtlID == ID_OPTIONS_OK ? core::string_id::ok : core::string_id::cancel));
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
            save();
            close();
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
