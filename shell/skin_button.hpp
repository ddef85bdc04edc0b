#pragma once
// A button drawn from two images (normal, pressed) with an embossed label.
#include <QAbstractButton>
#include <QPixmap>

namespace zs::shell {

class skin_button final : public QAbstractButton {
    Q_OBJECT
public:
    skin_button(const QPixmap& normal, const QPixmap& pressed, QWidget* parent);
    QSize sizeHint() const override { return normal_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap normal_;
    QPixmap pressed_;
};

} // namespace zs::shell
