#include "shell/skin.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace zs::shell {

namespace {

const QColor header_top{0x2b, 0x3a, 0x4e};
const QColor header_bottom{0x1a, 0x24, 0x32};
const QColor body_top{0xf5, 0xf7, 0xfa};
const QColor body_bottom{0xdc, 0xe2, 0xe9};
const QColor accent{0x2f, 0xb5, 0x8c};
const QColor outline{0x5b, 0x67, 0x78};

// The scale the images of skin::make are drawn at; 1 but while it runs.
qreal drawing_scale = 1;

// A transparent image of w x h layout units; painting on it takes layout
// units at any scale.
QPixmap blank(int w, int h) {
    QPixmap pixmap(qRound(w * drawing_scale), qRound(h * drawing_scale));
    pixmap.setDevicePixelRatio(drawing_scale);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// The emblem: a disc with five level bars, a small sound meter.
void draw_emblem(QPainter& p, const QRectF& box, const QColor& tint, bool dim) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(box.center() - QPointF(box.width() * 0.15, box.height() * 0.2),
                         box.width() * 0.75);
    disc.setColorAt(0, tint.lighter(dim ? 110 : 135));
    disc.setColorAt(1, tint.darker(dim ? 130 : 160));
    p.setPen(QPen(tint.darker(200), box.width() / 32.0));
    p.setBrush(disc);
    p.drawEllipse(box.adjusted(1, 1, -1, -1));
    const double heights[] = {0.30, 0.55, 0.80, 0.50, 0.35};
    const double bar = box.width() / 11.0;
    const double base = box.top() + box.height() * 0.74;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, dim ? 170 : 235));
    for (int i = 0; i < 5; ++i) {
        const double h = box.height() * 0.5 * heights[i];
        const double x = box.left() + box.width() * 0.5 + (i - 2) * bar * 1.6 - bar / 2;
        p.drawRoundedRect(QRectF(x, base - h, bar, h), bar / 2.5, bar / 2.5);
    }
    p.restore();
}

void fill_body(QPainter& p, const QRect& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, body_top);
    g.setColorAt(1, body_bottom);
    p.fillRect(r, g);
}

void fill_header(QPainter& p, const QRect& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, header_top);
    g.setColorAt(1, header_bottom);
    p.fillRect(r, g);
    p.fillRect(QRect(r.left(), r.bottom() + 1, r.width(), 2), accent);
}

void fill_footer(QPainter& p, const QRect& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0xd0, 0xd7, 0xdf));
    g.setColorAt(1, QColor(0xbc, 0xc5, 0xd0));
    p.fillRect(r, g);
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), QColor(0xa9, 0xb3, 0xc0));
    p.fillRect(QRect(r.left(), r.top() + 1, r.width(), 1), QColor(255, 255, 255, 150));
}

void draw_outline(QPainter& p, int w, int h) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(outline, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.75, 0.75, w - 1.5, h - 1.5), 4.5, 4.5);
}

// A recessed panel that groups the content of a window.
void draw_panel(QPainter& p, const QRectF& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xb8, 0xc1, 0xcc), 1));
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRoundedRect(r, 6, 6);
    p.restore();
}

QPixmap make_main_background() {
    QPixmap pixmap = blank(main_window_size.width(), main_window_size.height());
    QPainter p(&pixmap);
    fill_body(p, QRect(QPoint(0, 0), main_window_size));
    fill_header(p, QRect(0, 0, 312, 44));
    draw_emblem(p, QRectF(10, 6, 32, 32), accent, false);
    draw_panel(p, QRectF(8.5, 50.5, 295, 74));
    // Faint rings and the large emblem behind the status area.
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(0x9a, 0xa8, 0xb8, 60 - i * 12), 1.2));
        const double r = 46 + i * 16;
        p.drawEllipse(QPointF(156, 194), r, r * 0.62);
    }
    p.setOpacity(0.9);
    draw_emblem(p, QRectF(124, 162, 64, 64), accent, false);
    p.setOpacity(1);
    fill_footer(p, QRect(0, 262, 312, 52));
    draw_outline(p, 312, 314);
    return pixmap;
}

QPixmap make_options_background() {
    QPixmap pixmap = blank(options_window_size.width(), options_window_size.height());
    QPainter p(&pixmap);
    fill_body(p, QRect(QPoint(0, 0), options_window_size));
    fill_header(p, QRect(0, 0, 500, 44));
    draw_emblem(p, QRectF(10, 6, 32, 32), accent, false);
    draw_panel(p, QRectF(12.5, 48.5, 475, 142));
    fill_footer(p, QRect(0, 232, 500, 53));
    draw_outline(p, 500, 285);
    return pixmap;
}

QPixmap make_button(bool pressed) {
    QPixmap pixmap = blank(110, 39);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face(1.5, 1.5, 107, 36);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, pressed ? QColor(0xc3, 0xcb, 0xd4) : QColor(0xfd, 0xfd, 0xfe));
    g.setColorAt(0.5, pressed ? QColor(0xd2, 0xd9, 0xe0) : QColor(0xe8, 0xec, 0xf0));
    g.setColorAt(1, pressed ? QColor(0xe4, 0xe8, 0xed) : QColor(0xcb, 0xd2, 0xdb));
    p.setPen(QPen(pressed ? QColor(0x4a, 0x56, 0x66) : QColor(0x7d, 0x89, 0x99), 1));
    p.setBrush(g);
    p.drawRoundedRect(face, 6, 6);
    if (!pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 200), 1));
        p.drawLine(QPointF(7, 3), QPointF(103, 3));
    }
    p.setPen(QPen(accent, 2));
    p.drawLine(QPointF(12, 35), QPointF(98, 35));
    return pixmap;
}

QPixmap make_hide_button(bool pressed) {
    QPixmap pixmap = blank(37, 33);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face(4.5, 4.5, 28, 24);
    p.setPen(QPen(QColor(255, 255, 255, pressed ? 120 : 70), 1));
    p.setBrush(QColor(255, 255, 255, pressed ? 70 : 25));
    p.drawRoundedRect(face, 5, 5);
    const double shift = pressed ? 1 : 0;
    p.setPen(QPen(QColor(0xe8, 0xee, 0xf4), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12 + shift, 21 + shift), QPointF(25 + shift, 21 + shift));
    return pixmap;
}

QIcon make_icon(const QColor& tint, bool dim, const QColor& dot) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 107, 128}) {
        QPixmap pixmap = blank(size, size);
        QPainter p(&pixmap);
        draw_emblem(p, QRectF(0, 0, size, size), tint, dim);
        if (dot.isValid()) {
            p.setRenderHint(QPainter::Antialiasing);
            const double d = size * 0.36;
            p.setPen(QPen(Qt::white, size / 20.0 + 0.5));
            p.setBrush(dot);
            p.drawEllipse(QRectF(size - d - 0.5, size - d - 0.5, d, d));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

skin skin::make(qreal scale) {
    drawing_scale = scale;
    skin s;
    s.main_background = make_main_background();
    s.button_normal = make_button(false);
    s.button_pressed = make_button(true);
    s.hide_normal = make_hide_button(false);
    s.hide_pressed = make_hide_button(true);
    s.options_background = make_options_background();
    drawing_scale = 1; // icons come in sizes of their own
    s.window_icon = make_icon(accent, false, QColor());
    s.running_icon = make_icon(accent, false, QColor(0x3c, 0xd0, 0x5a));
    s.stopped_icon = make_icon(QColor(0x8a, 0x93, 0x9e), true, QColor(0xd9, 0x4a, 0x3d));
    return s;
}

QRegion rounded_region(int width, int height) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width, height), 4.5, 4.5);
    return QRegion(path.toFillPolygon().toPolygon());
}

QFont button_font(int points) {
    QFont font;
    font.setFamilies({"Arial Black", "Arial", "Liberation Sans", "DejaVu Sans"});
    font.setPointSize(points);
    font.setWeight(QFont::Black);
    return font;
}

QFont status_font() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    font.setPixelSize(12);
    font.setBold(true);
    return font;
}

QFont label_font() {
    QFont font;
    font.setFamilies({"Arial", "Liberation Sans", "DejaVu Sans"});
    font.setPointSize(10);
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont edit_font() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    font.setPixelSize(13);
    return font;
}

} // namespace zs::shell
