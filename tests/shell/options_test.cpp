// The Options window: what OK stores and saves, what Cancel leaves alone,
// and the input rules of its fields.
#include "tests/shell/shell_rig.hpp"

#include "platform/files.hpp"
#include "shell/options_window.hpp"
#include "shell/server_window.hpp"
#include "shell/skin_button.hpp"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using zs::test::drain_events;
using zs::test::shell_rig;

std::string config_text(shell_rig& rig) {
    std::string bytes;
    EXPECT_TRUE(zs::platform::read_file(rig.helper / "config.txt", bytes));
    return bytes;
}

zs::shell::options_window& open_options(shell_rig& rig) {
    rig.controller().toggle_visible();
    QTest::mouseClick(rig.controller().window()->options_button(), Qt::LeftButton);
    auto* options = rig.controller().options();
    EXPECT_NE(options, nullptr);
    return *options;
}

void retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

TEST(options_window, opens_beside_the_main_window_filled_from_the_settings) {
    shell_rig rig;
    rig.config.set_server_name("Studio B");
    rig.config.set_idle_minutes(12);
    auto& window = *rig.controller().window();
    window.move(300, 240);
    auto& options = open_options(rig);
    EXPECT_EQ(options.size(), QSize(500, 285));
    EXPECT_EQ(options.pos(), QPoint(300 - 106, 240 + 17));
    EXPECT_FALSE(window.isEnabled());
    EXPECT_EQ(options.password_edit()->text(), "kxvwq");
    EXPECT_EQ(options.idle_edit()->text(), "12");
    EXPECT_EQ(options.name_edit()->text(), "Studio B");
    EXPECT_EQ(options.ok_button()->text(), "OK");
    EXPECT_EQ(options.cancel_button()->text(), "Cancel");
    EXPECT_TRUE(zs::test::save_screenshot(options, "options_window"));

    // The factory password means no checking: the dialog says so while it is typed.
    EXPECT_TRUE(options.password_checking_off());
    retype(options.password_edit(), "Secret");
    EXPECT_FALSE(options.password_checking_off());
    retype(options.password_edit(), "KXVWQ");
    EXPECT_TRUE(options.password_checking_off());

    // A second Options click while it is open opens nothing new.
    rig.controller().open_options();
    EXPECT_EQ(rig.controller().options(), &options);
}

TEST(options_window, fields_force_lower_case_and_digits) {
    shell_rig rig;
    auto& options = open_options(rig);
    retype(options.password_edit(), "SeCrEt");
    EXPECT_EQ(options.password_edit()->text(), "secret");
    options.password_edit()->selectAll();
    options.password_edit()->insert("PASTED");
    EXPECT_EQ(options.password_edit()->text(), "pasted");
    retype(options.idle_edit(), "4x5-");
    EXPECT_EQ(options.idle_edit()->text(), "45");
    EXPECT_TRUE(options.idle_edit()->alignment() & Qt::AlignRight);
}

TEST(options_window, ok_stores_and_rewrites_config) {
    shell_rig rig;
    auto& options = open_options(rig);
    const QString long_password = QString(70, QChar('Q')) + "Z";
    options.password_edit()->selectAll();
    options.password_edit()->insert(long_password);
    retype(options.idle_edit(), "");
    retype(options.name_edit(), "Rehearsal Room");
    QTest::mouseClick(options.ok_button(), Qt::LeftButton);
    drain_events();

    const std::string expected_password(64, 'q');
    EXPECT_EQ(rig.config.password(), expected_password);
    EXPECT_EQ(rig.config.idle_minutes(), 0);
    EXPECT_EQ(rig.config.server_name(), "Rehearsal Room");
    const std::string text = config_text(rig);
    EXPECT_NE(text.find("ServerPassword=" + expected_password + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("IdleTimeToShutDownZEBW3=0"), std::string::npos);
    EXPECT_NE(text.find("SERVER_NAME=Rehearsal Room"), std::string::npos);

    EXPECT_EQ(rig.controller().options(), nullptr);
    EXPECT_TRUE(rig.controller().window()->isEnabled());
}

TEST(options_window, ok_that_cannot_save_says_so) {
    shell_rig rig;
    auto& options = open_options(rig);
    zs::platform::delete_folder_content(rig.helper.path(), true); // the helper folder is gone
    retype(options.name_edit(), "Lost");
    QTest::mouseClick(options.ok_button(), Qt::LeftButton);
    drain_events();
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_TRUE(rig.messages[0].startsWith("The configuration cannot be saved ("))
        << rig.messages[0].toStdString();
    EXPECT_EQ(rig.config.server_name(), "Lost") << "kept until the server stops";
}

TEST(options_window, cancel_and_window_close_change_nothing) {
    shell_rig rig;
    const std::string before = config_text(rig);
    for (int round = 0; round < 2; ++round) {
        auto& options = open_options(rig);
        retype(options.password_edit(), "other");
        retype(options.idle_edit(), "99");
        retype(options.name_edit(), "Changed");
        if (round == 0) {
            QTest::mouseClick(options.cancel_button(), Qt::LeftButton);
        } else {
            options.close();
        }
        drain_events();
        EXPECT_EQ(rig.controller().options(), nullptr);
        EXPECT_TRUE(rig.controller().window()->isEnabled());
        rig.controller().toggle_visible(); // hide again for the next round
    }
    EXPECT_EQ(config_text(rig), before);
    EXPECT_EQ(rig.config.password(), "kxvwq");
    EXPECT_EQ(rig.config.idle_minutes(), 30);
    EXPECT_EQ(rig.config.server_name(), "Zebrix Server");
}

} // namespace
