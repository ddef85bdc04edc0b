#pragma once
// The skin of the Windows shell: the bitmaps and icons of the program's
// resources, the fonts, and the drawing of the owner-drawn buttons and
// two-colour labels.
#include <windows.h>

#include <string>

namespace zs::shell::win32 {

inline constexpr COLORREF label_light = RGB(239, 240, 241);
inline constexpr COLORREF label_dark = RGB(57, 64, 76);

// Font height in logical units for a size in points on the screen.
int point_height(int points);

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

// The window outline: a rectangle to (right, bottom) with 9 x 9 corners.
void set_rounded_region(HWND window, int right, int bottom);

// Copies a bitmap to (0, 0) of dc.
void draw_bitmap(HDC dc, HBITMAP bitmap);

class skin {
public:
    explicit skin(HINSTANCE instance);
    skin(const skin&) = delete;
    skin& operator=(const skin&) = delete;

    HBITMAP main_background() const { return main_background_.get(); }
    HBITMAP options_background(); // loaded at its first use
    HBITMAP button(bool pressed) const {
        return pressed ? button_pressed_.get() : button_normal_.get();
    }
    HBITMAP hide(bool pressed) const { return pressed ? hide_pressed_.get() : hide_normal_.get(); }
    HICON window_icon() const { return window_icon_; }
    HICON tray_icon(bool running) const { return running ? running_icon_ : stopped_icon_; }
    HFONT button_font() const { return button_font_.get(); }

    // An owner-drawn button: its bitmap for the state, then the label in
    // two colours, both one pixel further right and down while pressed.
    void draw_button(const DRAWITEMSTRUCT& item, HBITMAP bitmap, const std::wstring& label) const;

private:
    HINSTANCE instance_;
    gdi_object<HBITMAP> main_background_;
    gdi_object<HBITMAP> options_background_;
    gdi_object<HBITMAP> button_normal_;
    gdi_object<HBITMAP> button_pressed_;
    gdi_object<HBITMAP> hide_normal_;
    gdi_object<HBITMAP> hide_pressed_;
    HICON window_icon_;
    HICON running_icon_;
    HICON stopped_icon_;
    gdi_object<HFONT> button_font_;
};

// Text drawn first in one colour in one rectangle, then in another colour
// in a second rectangle (the skin's embossed labels).
void draw_two_colour(HDC dc, const std::wstring& text, RECT first, COLORREF first_colour,
                     RECT second, COLORREF second_colour, UINT format);

} // namespace zs::shell::win32
