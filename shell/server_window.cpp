#include "shell/server_window.hpp"

#include "core/version.hpp"
#include "shell/skin.hpp"
#include "shell/skin_button.hpp"

#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace zs::shell {

namespace {

QLabel* make_static(QWidget* parent, const QRect& box) {
    auto* label = new QLabel(parent);
    label->setGeometry(box);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

} // namespace

server_window::server_window(const skin& look) : skinned_window(look.main_background) {
    setObjectName("maindlg");
    setWindowTitle("Zebrix Server");
    move(200, 200);

    version_ = make_static(this, QRect(10, 52, 290, 175));
    version_->setText(QStringLiteral("Version %1").arg(QString::fromLatin1(core::version_line)));
    QPalette soft = version_->palette();
    soft.setColor(QPalette::WindowText, QColor(0x4a, 0x55, 0x64));
    version_->setPalette(soft);

    status_ = make_static(this, QRect(10, 72, 290, 175));
    status_->setFont(status_font());
    QPalette ink = status_->palette();
    ink.setColor(QPalette::WindowText, QColor(0x1d, 0x27, 0x33));
    status_->setPalette(ink);

    hide_ = new skin_button(look.hide_normal, look.hide_pressed, this);
    hide_->move(270, 6);
    start_stop_ = new skin_button(look.button_normal, look.button_pressed, this);
    start_stop_->move(83, 270);
    options_ = new skin_button(look.button_normal, look.button_pressed, this);
    options_->move(199, 270);

    connect(hide_, &QAbstractButton::clicked, this, &server_window::hide_clicked);
    connect(start_stop_, &QAbstractButton::clicked, this, &server_window::start_stop_clicked);
    connect(options_, &QAbstractButton::clicked, this, &server_window::options_clicked);

    // Alt+? and Alt+/ open the About box.
    for (const char* keys : {"Alt+?", "Alt+/"}) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(keys)), this);
        connect(shortcut, &QShortcut::activated, this, &server_window::about_requested);
    }
}

void server_window::set_title(const QString& title) {
    title_ = title;
    update();
}

void server_window::set_status_text(const QString& text) {
    status_->setText(text);
}

void server_window::set_running(bool running, const QString& start_stop_label) {
    running_ = running;
    start_stop_->setText(start_stop_label);
    start_stop_->update();
    update();
}

void server_window::set_options_label(const QString& label) {
    options_->setText(label);
}

QString server_window::status_text() const {
    return status_->text();
}
QString server_window::version_text() const {
    return version_->text();
}

void server_window::paint_overlay(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(button_font(12));
    p.setPen(QColor(0, 0, 0, 110));
    const QRect title_box(50, 6, 214, 32);
    p.drawText(title_box.translated(1, 1), Qt::AlignVCenter | Qt::AlignLeft, title_);
    p.setPen(label_light);
    p.drawText(title_box, Qt::AlignVCenter | Qt::AlignLeft, title_);

    // The emblem fades to grey while the service is stopped.
    if (!running_) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xa4, 0xad, 0xb8, 170));
        p.drawEllipse(QRectF(125, 163, 62, 62));
    }
    // Service lamp beside the buttons: green while running, red when stopped.
    const QColor lamp = running_ ? QColor(0x3c, 0xd0, 0x5a) : QColor(0xd9, 0x4a, 0x3d);
    QRadialGradient glow(QPointF(38, 287), 11);
    glow.setColorAt(0, lamp.lighter(150));
    glow.setColorAt(0.7, lamp);
    glow.setColorAt(1, lamp.darker(140));
    p.setPen(QPen(QColor(0x5b, 0x67, 0x78), 1));
    p.setBrush(glow);
    p.drawEllipse(QPointF(40, 289), 9, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 140));
    p.drawEllipse(QPointF(37, 285.5), 3, 2);
}

void server_window::changeEvent(QEvent* event) {
    // Minimizing hides the window to the tray instead.
    if (minimize_hides_ && event->type() == QEvent::WindowStateChange &&
        (windowState() & Qt::WindowMinimized)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        QTimer::singleShot(0, this, &server_window::minimize_requested);
    }
    skinned_window::changeEvent(event);
}

} // namespace zs::shell
