#pragma once
// The main window (class "maindlg", title "Zebrix Server"): a borderless
// skinned pop-up with the version, the status text and the Start/Stop, Hide
// and Options buttons, the tray icon and its menu. It is also the window
// the programs notify: those messages are answered at once and their work
// goes to the server through the notification procedure.
#include "core/shell_interface.hpp"
#include "shell/win32/notification.hpp"
#include "shell/win32/options_dialog.hpp"
#include "shell/win32/skin.hpp"
#include "shell/win32/text_box.hpp"
#include "shell/win32/tray_icon.hpp"
#include "shell/win32/window_drag.hpp"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zs::core {
class config_store;
}

namespace zs::shell::win32 {

inline constexpr wchar_t main_class[] = L"maindlg";
inline constexpr wchar_t main_title[] = L"Zebrix Server";

// Runs the work the shell's post() queued.
inline constexpr UINT posted_work_message = WM_APP + 1;

class server_window {
public:
    // on_posted drains the shell's queue; the window's WM_DESTROY ends the loop.
    server_window(HINSTANCE instance, core::config_store& config, notification_procedure notify,
                  std::function<void()> on_posted);
    ~server_window();
    server_window(const server_window&) = delete;
    server_window& operator=(const server_window&) = delete;

    // Registers the classes and makes the window, hidden to the tray (shown
    // where there is no notification area). False when the window failed.
    bool create(core::command_hook hook);
    void destroy(); // removes the tray icon; destroying posts the quit message

    void set_ip_text(const std::wstring& text);
    void set_problem_text(const std::wstring& text); // a third line of the status
    void show();                                     // out of the tray, when hidden
    void refresh_running_state();

    HWND handle() const { return window_; }
    HACCEL accelerators() const { return accelerators_; }
    bool hidden() const { return hidden_; }
    bool tray_shown() const { return tray_.shown(); }
    options_dialog& options() { return options_; }
    HWND hidden_owner() const { return hidden_owner_; }
    std::wstring start_stop_label() const; // as the button draws it
    UINT dpi() const { return dpi_; }
    // Every text the window shows, with its font and box, to measure.
    std::vector<text_box> text_boxes() const;
    // The messages of other processes the message filter took at create().
    const std::vector<UINT>& admitted_messages() const { return admitted_; }

private:
    static LRESULT CALLBACK procedure(HWND w, UINT message, WPARAM wp, LPARAM lp);
    // Handled messages give a result; unhandled ones go to default processing.
    bool handle_message(UINT message, WPARAM wp, LPARAM lp, LRESULT& result);
    bool handle_notification(UINT message, WPARAM wp, LPARAM lp, LRESULT& result);
    void handle_command(int id);
    void create_controls();
    // Places everything at the DPI; moved to `suggested` when given.
    void lay_out(UINT dpi, const RECT* suggested);
    void admit_foreign_messages();
    void rebuild_status();
    bool running() const;
    void start_stop();
    void toggle_visible();
    void hide_window();
    void show_window();
    void animate(bool to_tray);
    void track_tray_menu();
    void show_about();
    void draw_item(const DRAWITEMSTRUCT& item);
    void paint_background(HDC dc);

    HINSTANCE instance_;
    core::config_store& config_;
    notification_procedure notify_;
    std::function<void()> on_posted_;
    core::command_hook hook_;
    skin skin_;
    tray_icon tray_;
    options_dialog options_;
    window_drag drag_;
    HWND window_ = nullptr;
    HWND hidden_owner_ = nullptr; // the invisible pop-up that keeps a hidden window off the taskbar
    HWND version_ = nullptr;
    HWND status_ = nullptr;
    HWND hide_ = nullptr;
    HWND start_stop_ = nullptr;
    HWND options_button_ = nullptr;
    HACCEL accelerators_ = nullptr;
    gdi_object<HFONT> bold_font_;    // the status text
    gdi_object<HFONT> version_font_; // the version line
    gdi_object<HFONT> title_font_;   // the caption in the header
    std::wstring ip_text_;
    std::wstring problem_text_;
    bool hidden_ = true;
    std::vector<UINT> admitted_;
    UINT dpi_ = base_dpi;
};

} // namespace zs::shell::win32
