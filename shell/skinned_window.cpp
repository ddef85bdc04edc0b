#include "shell/skinned_window.hpp"

#include "shell/skin.hpp"

#include <QMouseEvent>
#include <QPainter>

namespace zs::shell {

skinned_window::skinned_window(const QPixmap& background, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), background_(background) {
    setFixedSize(background_.size());
    setMask(rounded_region(width() + 1, height()));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void skinned_window::paint_overlay(QPainter&) {}

void skinned_window::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
    paint_overlay(p);
}

void skinned_window::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    grab_point_ = event->position().toPoint();
}

void skinned_window::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - grab_point_);
    }
}

void skinned_window::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void skinned_window::leaveEvent(QEvent* event) {
    dragging_ = false;
    QWidget::leaveEvent(event);
}

} // namespace zs::shell
