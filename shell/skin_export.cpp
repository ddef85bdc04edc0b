// Writes the skin as the Windows build's resource files (24-bit bitmaps and
// icons), so both builds show one skin: `zebrix-skin-export DIR` writes them,
// `zebrix-skin-export --check DIR` fails when the files in DIR differ.
#include "shell/skin.hpp"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;

void put16(bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(bytes& b, std::uint32_t v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// BITMAPINFOHEADER with the given height (icons store twice the height).
void put_info_header(bytes& b, int width, int height, int bits, std::uint32_t image_size) {
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(width));
    put32(b, static_cast<std::uint32_t>(height));
    put16(b, 1);
    put16(b, static_cast<unsigned>(bits));
    put32(b, 0); // BI_RGB
    put32(b, image_size);
    put32(b, 2835); // 72 dpi
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
}

// A 24-bit bottom-up bitmap file: what the window's blits copy as they are.
bytes bitmap_file(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int row = (image.width() * 3 + 3) & ~3;
    const auto size = static_cast<std::uint32_t>(row * image.height());
    bytes b;
    b.push_back('B');
    b.push_back('M');
    put32(b, 14 + 40 + size);
    put32(b, 0);
    put32(b, 14 + 40);
    put_info_header(b, image.width(), image.height(), 24, size);
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            b.push_back(static_cast<std::uint8_t>(qBlue(line[x])));
            b.push_back(static_cast<std::uint8_t>(qGreen(line[x])));
            b.push_back(static_cast<std::uint8_t>(qRed(line[x])));
        }
        b.resize(b.size() + static_cast<std::size_t>(row - image.width() * 3), 0);
    }
    return b;
}

// An icon file of 32-bit entries (alpha kept, empty AND masks).
bytes icon_file(const QIcon& icon) {
    const int sizes[] = {16, 24, 32, 48};
    std::vector<bytes> entries;
    for (int s : sizes) {
        const QImage image =
            icon.pixmap(s, s).toImage().scaled(s, s).convertToFormat(QImage::Format_ARGB32);
        const int mask_row = ((s + 31) / 32) * 4;
        bytes e;
        put_info_header(e, s, s * 2, 32, static_cast<std::uint32_t>(s * s * 4 + mask_row * s));
        for (int y = s - 1; y >= 0; --y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < s; ++x) {
                e.push_back(static_cast<std::uint8_t>(qBlue(line[x])));
                e.push_back(static_cast<std::uint8_t>(qGreen(line[x])));
                e.push_back(static_cast<std::uint8_t>(qRed(line[x])));
                e.push_back(static_cast<std::uint8_t>(qAlpha(line[x])));
            }
        }
        e.resize(e.size() + static_cast<std::size_t>(mask_row * s), 0);
        entries.push_back(std::move(e));
    }
    bytes b;
    put16(b, 0);
    put16(b, 1);
    put16(b, static_cast<unsigned>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        b.push_back(static_cast<std::uint8_t>(sizes[i]));
        b.push_back(static_cast<std::uint8_t>(sizes[i]));
        b.push_back(0);
        b.push_back(0);
        put16(b, 1);
        put16(b, 32);
        put32(b, static_cast<std::uint32_t>(entries[i].size()));
        put32(b, offset);
        offset += static_cast<std::uint32_t>(entries[i].size());
    }
    for (const bytes& e : entries) {
        b.insert(b.end(), e.begin(), e.end());
    }
    return b;
}

// A button image as it shows on its window: the window's background behind
// its transparent corners, since a 24-bit bitmap has no alpha. `at` is in
// layout units; the images may have more pixels (a display scale).
QImage on_background(const QPixmap& button, const QPixmap& background, QPoint at) {
    const qreal scale = background.devicePixelRatio();
    QImage image =
        background
            .copy(QRect(QPoint(qRound(at.x() * scale), qRound(at.y() * scale)), button.size()))
            .toImage();
    image.setDevicePixelRatio(1);
    QPainter p(&image);
    QPixmap plain = button;
    plain.setDevicePixelRatio(1);
    p.drawPixmap(0, 0, plain);
    return image;
}

struct output {
    std::string name;
    bytes content;
};

// The bitmaps at one scale; `suffix` goes before the extension.
void add_bitmaps(std::vector<output>& out, qreal scale, const std::string& suffix) {
    const zs::shell::skin s = zs::shell::skin::make(scale);
    // Where the main window places them: Start/Stop at (83, 270), Hide at (270, 6).
    const auto name = [&suffix](const char* base) { return std::string(base) + suffix + ".bmp"; };
    out.push_back({name("main_background"), bitmap_file(s.main_background.toImage())});
    out.push_back({name("button_normal"),
                   bitmap_file(on_background(s.button_normal, s.main_background, {83, 270}))});
    out.push_back({name("button_pressed"),
                   bitmap_file(on_background(s.button_pressed, s.main_background, {83, 270}))});
    out.push_back({name("hide_normal"),
                   bitmap_file(on_background(s.hide_normal, s.main_background, {270, 6}))});
    out.push_back({name("hide_pressed"),
                   bitmap_file(on_background(s.hide_pressed, s.main_background, {270, 6}))});
    out.push_back({name("options_background"), bitmap_file(s.options_background.toImage())});
}

std::vector<output> render_all() {
    std::vector<output> out;
    add_bitmaps(out, 1, "");
    // Drawn at twice the size for scaled displays: the window picks these and
    // shrinks them for scales between, rather than stretching the small ones.
    add_bitmaps(out, 2, "_2x");
    const zs::shell::skin s = zs::shell::skin::make();
    out.push_back({"window.ico", icon_file(s.window_icon)});
    out.push_back({"running.ico", icon_file(s.running_icon)});
    out.push_back({"stopped.ico", icon_file(s.stopped_icon)});
    return out;
}

std::uint32_t get32(const bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
}

// Which bytes are headers (sizes, offsets, formats) rather than pixels.
std::vector<bool> header_bytes(const std::string& name, const bytes& b) {
    std::vector<bool> header(b.size(), false);
    const auto mark = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = from; i < from + count && i < b.size(); ++i) {
            header[i] = true;
        }
    };
    if (name.ends_with(".bmp")) {
        mark(0, 14 + 40);
    } else if (b.size() >= 6) {
        const std::size_t entries = b[4] | b[5] << 8;
        mark(0, 6 + 16 * entries);
        for (std::size_t i = 0; i < entries && 6 + 16 * i + 16 <= b.size(); ++i) {
            mark(get32(b, 6 + 16 * i + 12), 40);
        }
    }
    return header;
}

// Headers must match exactly; a pixel channel may differ by a rounding step or
// two, since anti-aliasing rounds differently on another instruction set.
bool same_skin(const std::string& name, const bytes& stored, const bytes& made) {
    if (stored.size() != made.size()) {
        return false;
    }
    constexpr int channel_tolerance = 2;
    const std::vector<bool> header = header_bytes(name, made);
    for (std::size_t i = 0; i < made.size(); ++i) {
        const int step = std::abs(int{stored[i]} - int{made[i]});
        if (step > (header[i] ? 0 : channel_tolerance)) {
            return false;
        }
    }
    return true;
}

bool read_all(const std::string& path, bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: zebrix-skin-export [--check] DIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string dir = std::string(argv[argc - 1]) + "/";
    int differing = 0;
    for (const output& o : render_all()) {
        const std::string path = dir + o.name;
        if (check) {
            bytes stored;
            if (!read_all(path, stored) || !same_skin(o.name, stored, o.content)) {
                std::fprintf(stderr, "%s differs from the skin; run zebrix-skin-export %s\n",
                             path.c_str(), dir.c_str());
                ++differing;
            }
            continue;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(o.content.data()),
                  static_cast<std::streamsize>(o.content.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return differing == 0 ? 0 : 1;
}
