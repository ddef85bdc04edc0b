#pragma once
// The Options window (class "optdlg"): password, idle minutes and server
// name. OK stores them and writes config.txt; Cancel drops the edits. Its
// owner stays disabled while it is open. When config.txt cannot be written,
// OK says why and the window stays open.
#include "shell/win32/skin.hpp"
#include "shell/win32/text_box.hpp"
#include "shell/win32/window_drag.hpp"

#include <windows.h>

#include <vector>

namespace zs::core {
class config_store;
}

namespace zs::shell::win32 {

inline constexpr wchar_t options_class[] = L"optdlg";

class options_dialog {
public:
    options_dialog(HINSTANCE instance, skin& look, core::config_store& config);
    ~options_dialog();
    options_dialog(const options_dialog&) = delete;
    options_dialog& operator=(const options_dialog&) = delete;

    static bool register_class(HINSTANCE instance, HICON icon);

    void open(HWND owner); // does nothing while open
    void close();
    bool is_open() const { return window_ != nullptr; }
    HWND window() const { return window_; }
    // Every text the window draws, with its font and box, to measure.
    std::vector<text_box> text_boxes() const;

private:
    static LRESULT CALLBACK procedure(HWND w, UINT message, WPARAM wp, LPARAM lp);
    LRESULT handle_message(UINT message, WPARAM wp, LPARAM lp);
    void create_controls();
    void lay_out(UINT dpi, const RECT* suggested);
    void paint(HDC dc);
    bool save(); // false (and said so) when config.txt could not be written

    HINSTANCE instance_;
    skin& skin_;
    core::config_store& config_;
    HWND owner_ = nullptr;
    HWND window_ = nullptr;
    HWND password_ = nullptr;
    HWND idle_ = nullptr;
    HWND name_ = nullptr;
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
    gdi_object<HFONT> edit_font_;
    gdi_object<HFONT> title_font_;
    gdi_object<HFONT> label_font_;
    window_drag drag_;
    UINT dpi_ = base_dpi;
};

} // namespace zs::shell::win32
