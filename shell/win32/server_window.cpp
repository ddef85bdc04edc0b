#include "shell/win32/server_window.hpp"
#include "shell/win32/ui_text.hpp"

#include "core/lifecycle.hpp"
#include "core/strings.hpp"
#include "core/version.hpp"
#include "platform/trace.hpp"
#include "resources/win32/resource_ids.h"
#include "shell/win32/about_dialog.hpp"

namespace zs::shell::win32 {

namespace {

constexpr int width = 312, height = 314;
constexpr COLORREF version_colour = RGB(80, 88, 100);

// The programs' notifications: Zebrix's event and its renderer's "done",
// and Orvanta's event range.
constexpr UINT zebrix_notify = 1287;
constexpr UINT render_done = 1424;
constexpr UINT orvanta_first = 1025;
constexpr UINT orvanta_last = 1043;

HMENU control_id(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

bool minimize_animation_on() {
    ANIMATIONINFO info{};
    info.cbSize = sizeof info;
    return ::SystemParametersInfoW(SPI_GETANIMATION, sizeof info, &info, 0) != FALSE &&
           info.iMinAnimate != 0;
}

} // namespace

server_window::server_window(HINSTANCE instance, core::config_store& config,
                             notification_procedure notify, std::function<void()> on_posted)
    : instance_(instance), config_(config), notify_(std::move(notify)),
      on_posted_(std::move(on_posted)), skin_(instance), options_(instance, skin_, config) {}

server_window::~server_window() {
    destroy();
}

bool server_window::create(core::command_hook hook) {
    if (window_ != nullptr) {
        return true;
    }
    hook_ = std::move(hook);
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &server_window::procedure;
    wc.hInstance = instance_;
    wc.hIcon = skin_.window_icon();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = main_class;
    if (::RegisterClassW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    options_dialog::register_class(instance_, skin_.window_icon());
    hidden_owner_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      instance_, nullptr);
    window_ = ::CreateWindowExW(0, main_class, main_title, WS_POPUP, 200, 200, width, height,
                                hidden_owner_, nullptr, instance_, this);
    if (window_ == nullptr) {
        return false;
    }
    set_rounded_region(window_, width + 1, height);
    accelerators_ = ::LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDA_MAIN));
    bold_font_.reset(make_font(L"MS Sans Serif", 10, FW_BOLD));
    version_font_.reset(make_font(L"MS Sans Serif", point_height(8), FW_NORMAL));
    title_font_.reset(make_font(L"Arial Black", point_height(12), 100));
    create_controls();
    rebuild_status();
    hidden_ = true;
    if (!tray_.add(window_, skin_.tray_icon(running()), text_of(core::string_id::caption))) {
        // No notification area: a hidden window could never be reached.
        platform::trace("tray icon not added, showing the window");
        show_window();
    }
    return true;
}

void server_window::create_controls() {
    const std::wstring version =
        L"Version " +
        std::wstring(core::version_line,
                     core::version_line + std::char_traits<char>::length(core::version_line));
    version_ = ::CreateWindowExW(0, L"STATIC", version.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER,
                                 10, 52, 290, 175, window_, nullptr, instance_, nullptr);
    status_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                                10, 72, 290, 175, window_, nullptr, instance_, nullptr);
    ::SendMessageW(version_, WM_SETFONT, reinterpret_cast<WPARAM>(version_font_.get()), FALSE);
    ::SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
    const DWORD button = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
    hide_ = ::CreateWindowExW(0, L"BUTTON", L"Hide", button, 270, 6, 37, 33, window_,
                              control_id(ID_HIDE), instance_, nullptr);
    start_stop_ = ::CreateWindowExW(0, L"BUTTON", L"Stop", button, 83, 270, 110, 39, window_,
                                    control_id(ID_START_STOP), instance_, nullptr);
    options_button_ = ::CreateWindowExW(0, L"BUTTON", L"Options", button, 199, 270, 110, 39,
                                        window_, control_id(ID_OPTIONS), instance_, nullptr);
}

void server_window::destroy() {
    options_.close();
    tray_.remove();
    if (window_ != nullptr) {
        for (HWND* child : {&version_, &status_, &hide_, &start_stop_, &options_button_}) {
            ::DestroyWindow(*child);
            *child = nullptr;
        }
        ::DestroyWindow(window_); // WM_DESTROY posts the quit message
        window_ = nullptr;
    }
    if (hidden_owner_ != nullptr) {
        ::DestroyWindow(hidden_owner_);
        hidden_owner_ = nullptr;
    }
    if (accelerators_ != nullptr) {
        ::DestroyAcceleratorTable(accelerators_);
        accelerators_ = nullptr;
    }
}

std::wstring server_window::start_stop_label() const {
    return text_of(running() ? core::string_id::stop : core::string_id::start);
}

bool server_window::running() const {
    return hook_ && hook_(core::hook_code::query) == 1;
}

void server_window::set_ip_text(const std::wstring& text) {
    ip_text_ = text;
    rebuild_status();
}

void server_window::rebuild_status() {
    if (status_ == nullptr) {
        return;
    }
    const std::wstring text = text_of(core::string_id::server_ip) + L" " + ip_text_ + L"\n" +
                              text_of(core::string_id::description) + L"\n";
    ::SetWindowTextW(status_, text.c_str());
    // The static is transparent: the background under it is painted again.
    RECT r{};
    ::GetWindowRect(status_, &r);
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    ::RedrawWindow(window_, &r, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void server_window::refresh_running_state() {
    if (window_ == nullptr) {
        return;
    }
    tray_.set_icon(skin_.tray_icon(running()));
    ::InvalidateRect(start_stop_, nullptr, FALSE);
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    rebuild_status();
}

void server_window::start_stop() {
    if (hook_) {
        hook_(core::hook_code::toggle); // a failed start shows its own message
    }
    refresh_running_state();
}

void server_window::toggle_visible() {
    if (hidden_) {
        show_window();
    } else {
        hide_window();
    }
}

void server_window::hide_window() {
    animate(true);
    // Owned by an invisible pop-up, a window has no taskbar button.
    ::SetWindowLongPtrW(window_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(hidden_owner_));
    ::ShowWindow(window_, SW_HIDE);
    hidden_ = true;
}

void server_window::show_window() {
    if (hook_) {
        hook_(core::hook_code::refresh_address);
    }
    animate(false);
    ::SetWindowLongPtrW(window_, GWLP_HWNDPARENT, 0);
    ::ShowWindow(window_, SW_SHOW);
    ::RedrawWindow(window_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ::SetActiveWindow(window_);
    ::SetForegroundWindow(window_);
    hidden_ = false;
}

void server_window::animate(bool to_tray) {
    if (!minimize_animation_on()) {
        return;
    }
    RECT window_rect{};
    ::GetWindowRect(window_, &window_rect);
    const RECT tray = notification_area_rect();
    ::DrawAnimatedRects(window_, IDANI_CAPTION, to_tray ? &window_rect : &tray,
                        to_tray ? &tray : &window_rect);
}

void server_window::track_tray_menu() {
    HMENU menu = ::LoadMenuW(instance_, MAKEINTRESOURCEW(IDM_TRAY));
    if (menu == nullptr) {
        return;
    }
    HMENU popup = ::GetSubMenu(menu, 0);
    const std::pair<UINT, std::wstring> labels[] = {
        {ID_TRAY_START_STOP, start_stop_label()},
        {ID_TRAY_SHOW_HIDE, text_of(hidden_ ? core::string_id::show : core::string_id::hide)},
        {ID_ABOUT, text_of(core::string_id::about)},
        {ID_EXIT, text_of(core::string_id::exit)},
    };
    for (const auto& [id, label] : labels) {
        ::ModifyMenuW(popup, id, MF_BYCOMMAND | MF_STRING, id, label.c_str());
    }
    POINT at{};
    ::GetCursorPos(&at);
    ::SetForegroundWindow(window_);
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    ::PostMessageW(window_, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}

void server_window::show_about() {
    show_about_dialog(instance_, hidden_ ? nullptr : window_);
}

void server_window::handle_command(int id) {
    switch (id) {
    case ID_START_STOP:
    case ID_TRAY_START_STOP:
        start_stop();
        break;
    case ID_HIDE:
    case ID_TRAY_SHOW_HIDE:
        toggle_visible();
        break;
    case ID_OPTIONS:
        options_.open(window_);
        break;
    case ID_ABOUT:
        show_about();
        break;
    case ID_EXIT:
        destroy();
        break;
    default:
        break;
    }
}

void server_window::paint_background(HDC dc) {
    draw_bitmap(dc, skin_.main_background());
    // The skin's header carries the caption, as on the other platform.
    HGDIOBJ old = ::SelectObject(dc, title_font_.get());
    draw_two_colour(dc, text_of(core::string_id::caption), RECT{51, 7, 265, 39}, RGB(0, 0, 0),
                    RECT{50, 6, 264, 38}, label_light,
                    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SelectObject(dc, old);
}

void server_window::draw_item(const DRAWITEMSTRUCT& item) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    if (item.CtlID == ID_HIDE) {
        skin_.draw_button(item, skin_.hide(pressed), std::wstring());
    } else if (item.CtlID == ID_START_STOP) {
        skin_.draw_button(item, skin_.button(pressed), start_stop_label());
    } else if (item.CtlID == ID_OPTIONS) {
        skin_.draw_button(item, skin_.button(pressed), text_of(core::string_id::options));
    }
}

bool server_window::handle_notification(UINT message, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (message != zebrix_notify && message != render_done &&
        (message < orvanta_first || message > orvanta_last)) {
        return false;
    }
    platform::window_message m;
    m.sent = ::InSendMessage() != FALSE;
    m.message = message;
    m.wparam = static_cast<std::int64_t>(wp);
    m.lparam = static_cast<std::int64_t>(lp);
    // The server's side queues the work and answers at once (1 for Orvanta's).
    result = notify_ ? static_cast<LRESULT>(notify_(m))
                     : (message >= orvanta_first && message <= orvanta_last);
    return true;
}

LRESULT CALLBACK server_window::procedure(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<server_window*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        platform::trace("return, %d", static_cast<int>(message));
        return 0;
    }
    LRESULT result = 0;
    if (self != nullptr && self->window_ == w && self->handle_message(message, wp, lp, result)) {
        return result;
    }
    platform::trace("default, %d", static_cast<int>(message));
    return ::DefWindowProcW(w, message, wp, lp);
}

bool server_window::handle_message(UINT message, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (handle_notification(message, wp, lp, result)) {
        return true;
    }
    if (message == posted_work_message) {
        if (on_posted_) {
            on_posted_();
        }
        return true;
    }
    if (tray_.is_taskbar_created(message)) {
        tray_.handle_taskbar_created();
        return true;
    }
    switch (message) {
    case WM_ERASEBKGND:
        paint_background(reinterpret_cast<HDC>(wp));
        result = 1;
        return true;
    case WM_CTLCOLORSTATIC:
        ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        ::SetTextColor(reinterpret_cast<HDC>(wp),
                       reinterpret_cast<HWND>(lp) == version_ ? version_colour : RGB(0, 0, 0));
        result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return true;
    case WM_DRAWITEM:
        draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        result = TRUE;
        return true;
    case WM_COMMAND:
        handle_command(LOWORD(wp));
        break;
    case WM_SYSCOMMAND:
        if ((wp & 0xfff0) != SC_MINIMIZE) {
            return false;
        }
        toggle_visible();
        break;
    case WM_QUERYENDSESSION:
        destroy();
        result = TRUE;
        return true;
    case WM_CLOSE:
        destroy();
        break;
    case tray_callback_message:
        if (lp == WM_RBUTTONDOWN) {
            track_tray_menu();
        } else if (lp == WM_LBUTTONDOWN) {
            toggle_visible();
        }
        break;
    case WM_LBUTTONDOWN:
        drag_.handle_button_down(window_, lp);
        break;
    case WM_MOUSEMOVE:
        if (!drag_.handle_move(window_)) {
            return false;
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_MOUSELEAVE:
        if (!drag_.handle_end(window_, message)) {
            return false;
        }
        break;
    default:
        return false;
    }
    platform::trace("return, %d", static_cast<int>(message));
    result = 0;
    return true;
}

} // namespace zs::shell::win32
