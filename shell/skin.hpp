#pragma once
// The shell's look: every image and icon is drawn in code once, at start,
// in the sizes the window layout is built around.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRegion>
#include <QSize>

namespace zs::shell {

struct skin {
    QPixmap main_background;    // 312 x 314
    QPixmap button_normal;      // 110 x 39: Start/Stop, Options, OK, Cancel
    QPixmap button_pressed;     // 110 x 39
    QPixmap hide_normal;        // 37 x 33
    QPixmap hide_pressed;       // 37 x 33
    QPixmap options_background; // 500 x 285
    QIcon window_icon;          // the application's own icon
    QIcon running_icon;         // tray, while the service runs
    QIcon stopped_icon;         // tray, while it is stopped

    // At a display scale above 1 the images have that many more pixels
    // (drawn, not stretched) and the same size in layout units.
    static skin make(qreal scale = 1);
};

inline constexpr QSize main_window_size{312, 314};
inline constexpr QSize options_window_size{500, 285};

// Label colours of the skinned buttons and titles.
inline const QColor label_light{239, 240, 241};
inline const QColor label_dark{57, 64, 76};

// The window outline: a rectangle with 9 x 9 corner ellipses, as wide as
// given (the outline is one pixel wider than the window on its right).
QRegion rounded_region(int width, int height);

// Fonts with fall-backs for machines without the preferred families.
QFont button_font(int points); // heavy display face
QFont status_font();           // small bold face of the status text
QFont label_font();            // options labels: 10 points, semi-bold
QFont edit_font();             // the edit fields

} // namespace zs::shell
