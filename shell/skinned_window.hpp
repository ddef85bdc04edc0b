#pragma once
// A borderless window with a rounded outline and a background image, moved
// by dragging its background.
#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace zs::shell {

class skinned_window : public QWidget {
    Q_OBJECT
public:
    skinned_window(const QPixmap& background, QWidget* parent = nullptr);
    bool dragging() const { return dragging_; }

protected:
    // Whatever a window draws over its background (titles, labels).
    virtual void paint_overlay(QPainter& painter);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap background_;
    bool dragging_ = false;
    QPoint grab_point_;
};

} // namespace zs::shell
