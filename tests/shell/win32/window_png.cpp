#include "tests/shell/win32/window_png.hpp"

#include <cstdint>
#include <zlib.h>

namespace zs::test {

namespace {
void put_be32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((v >> shift) & 0xff));
    }
}

void put_chunk(std::string& out, const char* type, const std::string& body) {
    put_be32(out, static_cast<std::uint32_t>(body.size()));
    const std::string typed = std::string(type, 4) + body;
    out += typed;
    put_be32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                   static_cast<uInt>(typed.size()))));
}

// RGB rows, top first, as a PNG file.
std::string png_file(int w, int h, const std::string& rows) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    put_be32(header, static_cast<std::uint32_t>(w));
    put_be32(header, static_cast<std::uint32_t>(h));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
    put_chunk(out, "IHDR", header);
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
              reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()), 9);
    packed.resize(size);
    put_chunk(out, "IDAT", packed);
    put_chunk(out, "IEND", std::string());
    return out;
}
} // namespace

std::string window_png(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const int stride = (w * 3 + 3) & ~3;
    std::string rows;
    for (int y = 0; y < h; ++y) {
        rows.push_back('\0'); // no filter
        const auto* line = static_cast<const unsigned char*>(bits) + y * stride;
        for (int x = 0; x < w; ++x) {
            rows.push_back(static_cast<char>(line[x * 3 + 2]));
            rows.push_back(static_cast<char>(line[x * 3 + 1]));
            rows.push_back(static_cast<char>(line[x * 3]));
        }
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return png_file(w, h, rows);
}

} // namespace zs::test
