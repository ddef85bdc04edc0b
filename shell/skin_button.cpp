#include "shell/skin_button.hpp"

#include "shell/skin.hpp"

#include <QPainter>

namespace zs::shell {

skin_button::skin_button(const QPixmap& normal, const QPixmap& pressed, QWidget* parent)
    : QAbstractButton(parent), normal_(normal), pressed_(pressed) {
    setFixedSize(normal_.size());
    setFont(button_font(10));
    setFocusPolicy(Qt::NoFocus);
}

void skin_button::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool down = isDown();
    p.drawPixmap(0, 0, down ? pressed_ : normal_);
    if (text().isEmpty()) {
        return;
    }
    // A light copy one pixel down-right under the dark label; both move
    // one pixel further while pressed.
    const int shift = down ? 1 : 0;
    const QRect box = rect().adjusted(0, 0, 0, -2);
    p.setFont(font());
    p.setPen(isEnabled() ? label_light : label_light.darker(105));
    p.drawText(box.translated(1 + shift, 1 + shift), Qt::AlignCenter, text());
    p.setPen(isEnabled() ? label_dark : label_dark.lighter(160));
    p.drawText(box.translated(shift, shift), Qt::AlignCenter, text());
}

} // namespace zs::shell
