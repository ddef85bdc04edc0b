#pragma once
// The options window: password, idle minutes and server name. OK stores
// them through the configuration store and saves config.txt; Cancel drops
// the edits. Closing deletes the window.
#include "shell/skinned_window.hpp"

class QLineEdit;

namespace zs::core {
class config_store;
}

namespace zs::shell {

struct skin;
class skin_button;

class options_window final : public skinned_window {
    Q_OBJECT
public:
    options_window(const skin& look, core::config_store& config);

    QLineEdit* password_edit() const { return password_; }
    QLineEdit* idle_edit() const { return idle_; }
    QLineEdit* name_edit() const { return name_; }
    skin_button* ok_button() const { return ok_; }
    skin_button* cancel_button() const { return cancel_; }
    // The factory password is in the field: the server will take any answer.
    bool password_checking_off() const;

signals:
    void closed(bool saved);

protected:
    void paint_overlay(QPainter& painter) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void handle_ok();
    void handle_cancel();
    void finish(bool saved);

    core::config_store& config_;
    QLineEdit* password_;
    QLineEdit* idle_;
    QLineEdit* name_;
    skin_button* ok_;
    skin_button* cancel_;
    bool finished_ = false;
};

} // namespace zs::shell
