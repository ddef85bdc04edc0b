#include "shell/options_window.hpp"
#include "shell/ui_text.hpp"

#include "core/config_store.hpp"
#include "core/strings.hpp"
#include "platform/codepage.hpp"
#include "shell/skin.hpp"
#include "shell/skin_button.hpp"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QValidator>

namespace zs::shell {

namespace {

constexpr std::size_t max_edit_bytes = 4096;

// Whatever is typed or pasted into the password field shows in lower case.
class lower_case_validator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toLower();
        return Acceptable;
    }
};

// An edit's text as the configuration holds it: ANSI bytes, bounded.
std::string narrow_text(const QLineEdit* edit) {
    std::string bytes = platform::utf8_to_ansi(edit->text().toStdString());
    if (bytes.size() > max_edit_bytes) {
        bytes.resize(max_edit_bytes);
    }
    return bytes;
}

QString wide_text(const std::string& ansi) {
    return QString::fromStdString(platform::ansi_to_utf8(ansi));
}

QLineEdit* make_edit(QWidget* parent, const QRect& box) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(box);
    edit->setFont(edit_font());
    edit->setStyleSheet("QLineEdit { border: 1px solid #8793a3; border-radius: 3px;"
                        " background: white; padding: 0 4px; color: #1d2733;"
                        " selection-background-color: #2fb58c; }"
                        "QLineEdit:focus { border: 1px solid #2fb58c; }");
    return edit;
}

} // namespace

options_window::options_window(const skin& look, core::config_store& config)
    : skinned_window(look.options_background), config_(config) {
    setObjectName("optdlg");
    setWindowTitle("Options");
    setAttribute(Qt::WA_DeleteOnClose);

    password_ = make_edit(this, QRect(250, 53, 130, 24));
    password_->setValidator(new lower_case_validator(password_));
    idle_ = make_edit(this, QRect(250, 123, 50, 24));
    idle_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), idle_));
    idle_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    name_ = make_edit(this, QRect(250, 158, 200, 24));

    password_->setText(wide_text(config_.password()));
    // The warning below the fields follows what is typed.
    connect(password_, &QLineEdit::textChanged, this, [this] { update(); });
    idle_->setText(QString::number(config_.idle_minutes()));
    name_->setText(wide_text(config_.server_name()));

    ok_ = new skin_button(look.button_normal, look.button_pressed, this);
    ok_->move(138, 241);
    ok_->setText(text_of(core::string_id::ok));
    cancel_ = new skin_button(look.button_normal, look.button_pressed, this);
    cancel_->move(254, 241);
    cancel_->setText(text_of(core::string_id::cancel));
    connect(ok_, &QAbstractButton::clicked, this, &options_window::handle_ok);
    connect(cancel_, &QAbstractButton::clicked, this, &options_window::handle_cancel);
}

void options_window::handle_ok() {
    config_.set_password(narrow_text(password_));
    config_.set_idle_minutes(core::parse_leading_int(narrow_text(idle_)));
    config_.set_server_name(narrow_text(name_));
    config_.save();
    finish(true);
}

void options_window::handle_cancel() {
    finish(false);
}

void options_window::finish(bool saved) {
    if (finished_) {
        return;
    }
    finished_ = true;
    emit closed(saved);
    close();
}

void options_window::closeEvent(QCloseEvent* event) {
    // A close from the window manager counts as Cancel.
    finish(false);
    event->accept();
}

void options_window::paint_overlay(QPainter& p) {
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(button_font(12));
    p.setPen(label_dark);
    p.drawText(QRect(19, 9, 460, 30), Qt::AlignCenter, text_of(core::string_id::options));
    p.setPen(label_light);
    p.drawText(QRect(20, 10, 460, 30), Qt::AlignCenter, text_of(core::string_id::options));

    // Labels end at x = 240, the hint at x = 440.
    p.setFont(label_font());
    const auto right_aligned = [&p](int right, int top, const QString& text) {
        p.drawText(QRect(0, top, right, 20), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                   text);
    };
    p.setPen(Qt::black);
    right_aligned(240, 56, text_of(core::string_id::password));
    right_aligned(240, 126, text_of(core::string_id::idle_time));
    right_aligned(240, 161, text_of(core::string_id::server_name));
    p.setPen(QColor(200, 100, 100));
    right_aligned(440, 91, QString::fromStdU16String(core::password_hint()));
    if (password_checking_off()) {
        p.setPen(QColor(190, 40, 40));
        p.drawText(QRect(20, 196, 460, 20), Qt::AlignCenter | Qt::TextSingleLine,
                   text_of(core::open_to_all_text));
    }
}

bool options_window::password_checking_off() const {
    return password_->text() == QLatin1String(core::default_password);
}

} // namespace zs::shell
