#include "shell/about_dialog.hpp"
#include "shell/ui_text.hpp"

#include "core/strings.hpp"
#include "core/version.hpp"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace zs::shell {

namespace {} // namespace

about_dialog::about_dialog(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setObjectName("about");
    setWindowTitle(text_of(core::string_id::about_caption));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* picture = new QLabel(this);
    picture->setPixmap(icon.pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);
    version_ = new QLabel(this);
    version_->setText(
        text_of(core::string_id::version) + " " + QString::fromLatin1(core::version_text) + " " +
        text_of(core::string_id::build) + " " + QString::fromLatin1(core::build_text));
    QFont bold = version_->font();
    bold.setBold(true);
    version_->setFont(bold);
    notice_ = new QLabel(text_of(core::string_id::notice), this);
    notice_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(14);
    grid->addWidget(picture, 0, 0, 2, 1);
    grid->addWidget(version_, 0, 1);
    grid->addWidget(notice_, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
    setFixedWidth(360);
}

QString about_dialog::version_line() const {
    return version_->text();
}
QString about_dialog::notice_line() const {
    return notice_->text();
}

} // namespace zs::shell
