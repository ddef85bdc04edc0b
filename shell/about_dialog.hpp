#pragma once
// The About box: icon, version line and notice line, closed by OK.
#include <QDialog>

class QLabel;

namespace zs::shell {

class about_dialog final : public QDialog {
    Q_OBJECT
public:
    about_dialog(const QIcon& icon, QWidget* parent = nullptr);
    QString version_line() const;
    QString notice_line() const;

private:
    QLabel* version_;
    QLabel* notice_;
};

} // namespace zs::shell
