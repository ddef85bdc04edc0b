#pragma once
// The shell's behaviour: what the buttons, the tray menu, minimizing and
// the Options window do, with the server command hook behind them. Lives
// on the Qt main thread.
#include "core/shell_interface.hpp"
#include "shell/shell_settings.hpp"
#include "shell/skin.hpp"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace zs::core {
class config_store;
}

namespace zs::shell {

class about_dialog;
class options_window;
class server_window;
class tray;

class shell_controller final : public QObject {
    Q_OBJECT
public:
    shell_controller(core::config_store& config, shell_settings settings);
    ~shell_controller() override;

    void create(core::command_hook hook); // once; the window starts hidden
    void set_ip_text(const std::string& text);
    void set_problem_text(const std::string& text); // a third line of the status
    void refresh_running_state();
    void show_message(const QString& text, core::message_icon icon);
    void close(); // hides everything; emits exit_requested

    void start_stop();
    void toggle_visible();
    void hide_to_tray(); // minimize: only a shown window hides
    void open_options();
    void show_about();

    bool hidden() const { return hidden_; }
    bool running() const;
    server_window* window() const { return window_.get(); }
    tray* tray_icon() const { return tray_.get(); }
    options_window* options() const;
    about_dialog* about() const;
    const skin& look() const { return skin_; }

signals:
    void exit_requested();

private:
    void rebuild_status();
    void relabel_menu();
    bool tray_area() const;
    void handle_options_closed(bool saved);

    core::config_store& config_;
    shell_settings settings_;
    skin skin_;
    core::command_hook hook_;
    std::unique_ptr<server_window> window_;
    std::unique_ptr<tray> tray_;
    QPointer<options_window> options_;
    QPointer<about_dialog> about_;
    QString ip_text_;
    QString problem_text_;
    bool hidden_ = true;
    bool closed_ = false;
};

} // namespace zs::shell
