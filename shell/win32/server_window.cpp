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

// The layout in units of 1/96 inch; scaled to the window's DPI.
constexpr int width = 312, height = 314;
constexpr RECT version_box{10, 52, 300, 72};
constexpr RECT status_box{10, 72, 300, 247};
constexpr RECT hide_box{270, 6, 307, 39};
constexpr RECT start_stop_box{83, 270, 193, 309};
constexpr RECT options_box{199, 270, 309, 309};
constexpr RECT caption_shadow{51, 7, 265, 39};
constexpr RECT caption_face{50, 6, 264, 38};
constexpr UINT caption_format =
    DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr COLORREF version_colour = RGB(80, 88, 100);

// The programs' notifications: Zebrix's event and its renderer's "done",
// and Orvanta's event range. The procedure hands on exactly these, and the
// message filter admits exactly these.
struct message_range {
    UINT first;
    UINT last;
};
constexpr message_range program_messages[] = {{1287, 1287}, {1424, 1424}, {1025, 1043}};
constexpr message_range orvanta_messages = program_messages[2];

bool is_program_message(UINT message) {
    for (const auto& r : program_messages) {
        if (message >= r.first && message <= r.last) {
            return true;
        }
    }
    return false;
}

// A process of a lower integrity level (the programs and the shell when the
// server runs elevated) reaches the window only with the message admitted.
// Windows 7 and later; looked up so that its absence is no load failure.
bool admit_message(HWND window, UINT message) {
    using filter_function = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto filter = reinterpret_cast<filter_function>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
    constexpr DWORD allow = 1; // MSGFLT_ALLOW
    return filter != nullptr && filter(window, message, allow, nullptr) != FALSE;
}

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
    admit_foreign_messages();
    accelerators_ = ::LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDA_MAIN));
    create_controls();
    lay_out(window_dpi(window_), nullptr);
    rebuild_status();
    hidden_ = true;
    if (!tray_.add(window_, skin_.tray_icon(running(), dpi_), text_of(core::string_id::caption))) {
        // No notification area: a hidden window could never be reached.
        platform::trace("tray icon not added, showing the window");
        show_window();
    }
    return true;
}

void server_window::admit_foreign_messages() {
    std::vector<UINT> messages = {tray_callback_message};
    if (tray_.taskbar_created() != 0) {
        messages.push_back(tray_.taskbar_created());
    }
    for (const auto& r : program_messages) {
        for (UINT m = r.first; m <= r.last; ++m) {
            messages.push_back(m);
        }
    }
    admitted_.clear();
    for (UINT m : messages) {
        if (admit_message(window_, m)) {
            admitted_.push_back(m);
        } else {
            platform::trace("message %u not admitted: %lu", m, ::GetLastError());
        }
    }
}

void server_window::create_controls() {
    const std::wstring version =
        L"Version " +
        std::wstring(core::version_line,
                     core::version_line + std::char_traits<char>::length(core::version_line));
    // Placed and given their fonts by lay_out.
    version_ = ::CreateWindowExW(0, L"STATIC", version.c_str(),
                                 WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 0, 0, 0,
                                 window_, nullptr, instance_, nullptr);
    status_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                                0, 0, 0, 0, window_, nullptr, instance_, nullptr);
    const DWORD button = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
    hide_ = ::CreateWindowExW(0, L"BUTTON", L"Hide", button, 0, 0, 0, 0, window_,
                              control_id(ID_HIDE), instance_, nullptr);
    start_stop_ = ::CreateWindowExW(0, L"BUTTON", L"Stop", button, 0, 0, 0, 0, window_,
                                    control_id(ID_START_STOP), instance_, nullptr);
    options_button_ = ::CreateWindowExW(0, L"BUTTON", L"Options", button, 0, 0, 0, 0, window_,
                                        control_id(ID_OPTIONS), instance_, nullptr);
}

void server_window::lay_out(UINT dpi, const RECT* suggested) {
    dpi_ = dpi;
    bold_font_.reset(make_font(L"MS Sans Serif", scaled(10, dpi), FW_BOLD));
    version_font_.reset(make_font(L"MS Sans Serif", point_height(8, dpi), FW_NORMAL));
    title_font_.reset(make_font(L"Arial Black", point_height(12, dpi), 100));
    RECT at{};
    ::GetWindowRect(window_, &at);
    if (suggested != nullptr) {
        at = *suggested; // where the system moves a window to another monitor's scale
    }
    ::SetWindowPos(window_, nullptr, at.left, at.top, scaled(width, dpi), scaled(height, dpi),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    set_rounded_region(window_, width + 1, height, dpi);
    const std::pair<HWND, RECT> boxes[] = {{version_, version_box},
                                           {status_, status_box},
                                           {hide_, hide_box},
                                           {start_stop_, start_stop_box},
                                           {options_button_, options_box}};
    for (const auto& [control, box] : boxes) {
        const RECT r = scaled(box, dpi);
        ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::SendMessageW(version_, WM_SETFONT, reinterpret_cast<WPARAM>(version_font_.get()), FALSE);
    ::SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
    tray_.set_icon(skin_.tray_icon(running(), dpi));
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::vector<text_box> server_window::text_boxes() const {
    const auto text_of_window = [](HWND w) {
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            ::GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
        return text;
    };
    const auto client_box = [this](HWND w) {
        RECT r{};
        ::GetWindowRect(w, &r);
        ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    return {
        {L"caption", text_of(core::string_id::caption), title_font_.get(),
         scaled(caption_face, dpi_), caption_format},
        {L"version", text_of_window(version_), version_font_.get(), client_box(version_),
         DT_CENTER | DT_WORDBREAK},
        {L"status", text_of_window(status_), bold_font_.get(), client_box(status_),
         DT_CENTER | DT_WORDBREAK},
        {L"start/stop", start_stop_label(), skin_.button_font(dpi_), client_box(start_stop_),
         DT_CENTER | DT_SINGLELINE},
        {L"options", text_of(core::string_id::options), skin_.button_font(dpi_),
         client_box(options_button_), DT_CENTER | DT_SINGLELINE},
    };
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

void server_window::set_problem_text(const std::wstring& text) {
    problem_text_ = text;
    rebuild_status();
}

void server_window::show() {
    if (window_ != nullptr && hidden_) {
        show_window();
    }
}

void server_window::rebuild_status() {
    if (status_ == nullptr) {
        return;
    }
    const std::wstring text = text_of(core::string_id::server_ip) + L" " + ip_text_ + L"\n" +
                              text_of(core::string_id::description) + L"\n" + problem_text_;
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
    tray_.set_icon(skin_.tray_icon(running(), dpi_));
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
    draw_bitmap(dc, skin_.image(skin_image::main_background, dpi_),
                scaled(RECT{0, 0, width, height}, dpi_));
    // The skin's header carries the caption, as on the other platform.
    HGDIOBJ old = ::SelectObject(dc, title_font_.get());
    draw_two_colour(dc, text_of(core::string_id::caption), scaled(caption_shadow, dpi_),
                    RGB(0, 0, 0), scaled(caption_face, dpi_), label_light, caption_format);
    ::SelectObject(dc, old);
}

void server_window::draw_item(const DRAWITEMSTRUCT& item) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    if (item.CtlID == ID_HIDE) {
        skin_.draw_button(item, skin_.hide(pressed, dpi_), std::wstring(), dpi_);
    } else if (item.CtlID == ID_START_STOP) {
        skin_.draw_button(item, skin_.button(pressed, dpi_), start_stop_label(), dpi_);
    } else if (item.CtlID == ID_OPTIONS) {
        skin_.draw_button(item, skin_.button(pressed, dpi_), text_of(core::string_id::options),
                          dpi_);
    }
}

bool server_window::handle_notification(UINT message, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (!is_program_message(message)) {
        return false;
    }
    platform::window_message m;
    m.sent = ::InSendMessage() != FALSE;
    m.message = message;
    m.wparam = static_cast<std::int64_t>(wp);
    m.lparam = static_cast<std::int64_t>(lp);
    // The server's side queues the work and answers at once (1 for Orvanta's).
    result = notify_ ? static_cast<LRESULT>(notify_(m))
                     : (message >= orvanta_messages.first && message <= orvanta_messages.last);
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
    case WM_DPICHANGED:
        // Moved to a monitor of another scale: the system's rectangle, laid out anew.
        lay_out(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        rebuild_status();
        break;
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
