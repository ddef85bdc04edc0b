#include "shell/win32/skin.hpp"

#include "resources/win32/resource_ids.h"

namespace zs::shell::win32 {

int point_height(int points) {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return -::MulDiv(points, dpi, 72);
}

HFONT make_font(const wchar_t* face, int height, int weight) {
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, face);
}

void set_rounded_region(HWND window, int right, int bottom) {
    // The window owns the region from here on.
    ::SetWindowRgn(window, ::CreateRoundRectRgn(0, 0, right, bottom, 9, 9), TRUE);
}

void draw_bitmap(HDC dc, HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) == 0) {
        return;
    }
    HDC memory = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
}

void draw_two_colour(HDC dc, const std::wstring& text, RECT first, COLORREF first_colour,
                     RECT second, COLORREF second_colour, UINT format) {
    const int old_mode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = ::SetTextColor(dc, first_colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &first, format);
    ::SetTextColor(dc, second_colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &second, format);
    ::SetTextColor(dc, old_colour);
    ::SetBkMode(dc, old_mode);
}

namespace {
HBITMAP load_bitmap(HINSTANCE instance, int id) {
    return static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}
HICON load_icon(HINSTANCE instance, int id, int size) {
    return static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}
} // namespace

skin::skin(HINSTANCE instance)
    : instance_(instance), main_background_(load_bitmap(instance, IDB_MAIN_BACKGROUND)),
      button_normal_(load_bitmap(instance, IDB_BUTTON_NORMAL)),
      button_pressed_(load_bitmap(instance, IDB_BUTTON_PRESSED)),
      hide_normal_(load_bitmap(instance, IDB_HIDE_NORMAL)),
      hide_pressed_(load_bitmap(instance, IDB_HIDE_PRESSED)),
      window_icon_(load_icon(instance, IDI_WINDOW, 0)),
      running_icon_(load_icon(instance, IDI_TRAY_RUNNING, ::GetSystemMetrics(SM_CXSMICON))),
      stopped_icon_(load_icon(instance, IDI_TRAY_STOPPED, ::GetSystemMetrics(SM_CXSMICON))),
      button_font_(make_font(L"Arial Black", point_height(10), 100)) {}

HBITMAP skin::options_background() {
    if (options_background_.get() == nullptr) {
        options_background_.reset(load_bitmap(instance_, IDB_OPTIONS_BACKGROUND));
    }
    return options_background_.get();
}

void skin::draw_button(const DRAWITEMSTRUCT& item, HBITMAP bitmap,
                       const std::wstring& label) const {
    draw_bitmap(item.hDC, bitmap);
    if (label.empty()) {
        return;
    }
    const int shift = (item.itemState & ODS_SELECTED) != 0 ? 1 : 0;
    RECT shadow = item.rcItem;
    ::OffsetRect(&shadow, 1 + shift, 1 + shift);
    RECT face = item.rcItem;
    ::OffsetRect(&face, shift, shift);
    HGDIOBJ old = ::SelectObject(item.hDC, button_font_.get());
    draw_two_colour(item.hDC, label, shadow, label_light, face, label_dark,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(item.hDC, old);
}

} // namespace zs::shell::win32
