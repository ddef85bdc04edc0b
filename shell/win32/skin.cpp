#include "shell/win32/skin.hpp"

#include "resources/win32/resource_ids.h"

namespace zs::shell::win32 {

HFONT make_font(const wchar_t* face, int height, int weight) {
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, face);
}

void set_rounded_region(HWND window, int right, int bottom, UINT dpi) {
    const int corner = scaled(9, dpi);
    // The window owns the region from here on.
    ::SetWindowRgn(
        window, ::CreateRoundRectRgn(0, 0, scaled(right, dpi), scaled(bottom, dpi), corner, corner),
        TRUE);
}

void draw_bitmap(HDC dc, HBITMAP bitmap, RECT into) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) == 0) {
        return;
    }
    const int w = into.right - into.left;
    const int h = into.bottom - into.top;
    HDC memory = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    if (info.bmWidth == w && info.bmHeight == h) {
        ::BitBlt(dc, into.left, into.top, w, h, memory, 0, 0, SRCCOPY);
    } else {
        const int old_mode = ::SetStretchBltMode(dc, HALFTONE);
        POINT origin{};
        ::SetBrushOrgEx(dc, 0, 0, &origin);
        ::StretchBlt(dc, into.left, into.top, w, h, memory, 0, 0, info.bmWidth, info.bmHeight,
                     SRCCOPY);
        ::SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
        ::SetStretchBltMode(dc, old_mode);
    }
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

// In the order of skin_image.
constexpr int image_ids[] = {IDB_MAIN_BACKGROUND, IDB_OPTIONS_BACKGROUND, IDB_BUTTON_NORMAL,
                             IDB_BUTTON_PRESSED,  IDB_HIDE_NORMAL,        IDB_HIDE_PRESSED};

HBITMAP load_bitmap(HINSTANCE instance, int id) {
    return static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}
HICON load_icon(HINSTANCE instance, int id, int size) {
    return static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

} // namespace

skin::skin(HINSTANCE instance)
    : instance_(instance),
      window_icon_(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_WINDOW),
                                                   IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE))) {
}

skin::~skin() {
    for (HICON icon : {running_icon_, stopped_icon_}) {
        if (icon != nullptr) {
            ::DestroyIcon(icon);
        }
    }
}

HBITMAP skin::image(skin_image which, UINT dpi) {
    const auto index = static_cast<std::size_t>(which);
    auto& set = dpi > base_dpi ? large_ : plain_;
    if (set[index].get() == nullptr) {
        const int id = image_ids[index] + (dpi > base_dpi ? IDB_2X_OFFSET : 0);
        set[index].reset(load_bitmap(instance_, id));
    }
    return set[index].get();
}

HICON skin::tray_icon(bool running, UINT dpi) {
    const int size = small_icon_size(dpi);
    if (size != tray_size_) {
        for (HICON* icon : {&running_icon_, &stopped_icon_}) {
            if (*icon != nullptr) {
                ::DestroyIcon(*icon);
            }
        }
        running_icon_ = load_icon(instance_, IDI_TRAY_RUNNING, size);
        stopped_icon_ = load_icon(instance_, IDI_TRAY_STOPPED, size);
        tray_size_ = size;
    }
    return running ? running_icon_ : stopped_icon_;
}

HFONT skin::button_font(UINT dpi) const {
    if (button_font_.get() == nullptr || button_font_dpi_ != dpi) {
        button_font_.reset(make_font(L"Arial Black", point_height(10, dpi), 100));
        button_font_dpi_ = dpi;
    }
    return button_font_.get();
}

void skin::draw_button(const DRAWITEMSTRUCT& item, HBITMAP bitmap, const std::wstring& label,
                       UINT dpi) const {
    draw_bitmap(item.hDC, bitmap, item.rcItem);
    if (label.empty()) {
        return;
    }
    const int shift = (item.itemState & ODS_SELECTED) != 0 ? scaled(1, dpi) : 0;
    const int one = scaled(1, dpi);
    RECT shadow = item.rcItem;
    ::OffsetRect(&shadow, one + shift, one + shift);
    RECT face = item.rcItem;
    ::OffsetRect(&face, shift, shift);
    HGDIOBJ old = ::SelectObject(item.hDC, button_font(dpi));
    draw_two_colour(item.hDC, label, shadow, label_light, face, label_dark,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(item.hDC, old);
}

} // namespace zs::shell::win32
