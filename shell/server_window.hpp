#pragma once
// The main window: version line, status text, Hide, Start/Stop and Options.
// It only shows and reports; the controller decides what a click does.
#include "shell/skinned_window.hpp"

class QLabel;

namespace zs::shell {

struct skin;
class skin_button;

class server_window final : public skinned_window {
    Q_OBJECT
public:
    explicit server_window(const skin& look);

    void set_title(const QString& title);
    void set_status_text(const QString& text);
    void set_running(bool running, const QString& start_stop_label);
    void set_options_label(const QString& label);
    // Whether minimizing hides to the tray (there is one) or minimizes.
    void set_minimize_hides(bool hides) { minimize_hides_ = hides; }

    skin_button* start_stop_button() const { return start_stop_; }
    skin_button* options_button() const { return options_; }
    skin_button* hide_button() const { return hide_; }
    QString status_text() const;
    QString version_text() const;

signals:
    void start_stop_clicked();
    void hide_clicked();
    void options_clicked();
    void about_requested();
    void minimize_requested();

protected:
    void paint_overlay(QPainter& painter) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* version_;
    QLabel* status_;
    skin_button* hide_;
    skin_button* start_stop_;
    skin_button* options_;
    bool minimize_hides_ = true;
    QString title_;
    bool running_ = false;
};

} // namespace zs::shell
