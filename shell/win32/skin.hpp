#pragma once
// The skin of the Windows shell: the bitmaps and icons of the program's
// resources, the fonts, and the drawing of the owner-drawn buttons and
// two-colour labels. Everything is laid out in units of 1/96 inch and drawn
// at the window's DPI: bitmaps come from the set drawn at twice the size
// when the display is scaled, so they are shrunk, never blown up blurrily.
#include "shell/win32/dpi.hpp"

#include <windows.h>

#include <array>
#include <string>

namespace zs::shell::win32 {

inline constexpr COLORREF label_light = RGB(239, 240, 241);
inline constexpr COLORREF label_dark = RGB(57, 64, 76);

// A GDI object deleted when it goes out of scope.
template <class Handle> class gdi_object {
public:
    explicit gdi_object(Handle h = nullptr) : h_(h) {}
    ~gdi_object() { reset(); }
    gdi_object(const gdi_object&) = delete;
    gdi_object& operator=(const gdi_object&) = delete;
    Handle get() const { return h_; }
    void reset(Handle h = nullptr) {
        if (h_ != nullptr) {
            ::DeleteObject(h_);
        }
        h_ = h;
    }

private:
    Handle h_;
};

HFONT make_font(const wchar_t* face, int height, int weight);

// The window outline at the DPI: a rectangle to (right, bottom) layout units
// with 9 x 9 corners.
void set_rounded_region(HWND window, int right, int bottom, UINT dpi);

// Draws a bitmap into the rectangle (device pixels): copied when the sizes
// agree, else shrunk with averaging.
void draw_bitmap(HDC dc, HBITMAP bitmap, RECT into);

enum class skin_image {
    main_background,
    options_background,
    button_normal,
    button_pressed,
    hide_normal,
    hide_pressed
};

class skin {
public:
    explicit skin(HINSTANCE instance);
    ~skin();
    skin(const skin&) = delete;
    skin& operator=(const skin&) = delete;

    // The image to draw at the DPI; the large set is loaded at its first use.
    HBITMAP image(skin_image which, UINT dpi);
    HBITMAP button(bool pressed, UINT dpi) {
        return image(pressed ? skin_image::button_pressed : skin_image::button_normal, dpi);
    }
    HBITMAP hide(bool pressed, UINT dpi) {
        return image(pressed ? skin_image::hide_pressed : skin_image::hide_normal, dpi);
    }
    HICON window_icon() const { return window_icon_; }
    // The tray's icons at the DPI's small-icon size.
    HICON tray_icon(bool running, UINT dpi);
    HFONT button_font(UINT dpi) const; // made anew when the DPI changes

    // An owner-drawn button: its bitmap for the state, then the label in
    // two colours, both one pixel further right and down while pressed.
    void draw_button(const DRAWITEMSTRUCT& item, HBITMAP bitmap, const std::wstring& label,
                     UINT dpi) const;

private:
    static constexpr std::size_t image_count = 6;
    HINSTANCE instance_;
    std::array<gdi_object<HBITMAP>, image_count> plain_;
    std::array<gdi_object<HBITMAP>, image_count> large_;
    HICON window_icon_;
    HICON running_icon_ = nullptr;
    HICON stopped_icon_ = nullptr;
    int tray_size_ = 0;
    mutable gdi_object<HFONT> button_font_;
    mutable UINT button_font_dpi_ = 0;
};

// Text drawn first in one colour in one rectangle, then in another colour
// in a second rectangle (the skin's embossed labels).
void draw_two_colour(HDC dc, const std::wstring& text, RECT first, COLORREF first_colour,
                     RECT second, COLORREF second_colour, UINT format);

} // namespace zs::shell::win32
