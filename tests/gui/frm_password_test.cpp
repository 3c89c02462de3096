// The password window's rules: length after trimming, upper case, mask handling.
#include "gui/frm_password.h"
#include "support/recording_dialogs.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace gw;

namespace {
struct PasswordFixture {
    RecordingDialogs dialogs;
    std::vector<std::string> stored;
    frmPassword window;
    explicit PasswordFixture(const std::string& current)
        : window(
              current, [this](const std::string& p) { stored.push_back(p); }, dialogs) {}
};
} // namespace

TEST(PasswordWindow, MaskShowsStoredLengthUpToFifteen) {
    EXPECT_EQ(PasswordFixture("SECRET").window.txtPassword1->text(), "******");
    EXPECT_EQ(PasswordFixture(std::string(20, 'X')).window.txtPassword1->text(), QString(15, '*'));
}

TEST(PasswordWindow, TypingReplacesTheMask) {
    PasswordFixture f("SECRET");
    QTest::keyClicks(f.window.txtPassword1, "abcd");
    EXPECT_EQ(f.window.txtPassword1->text(), "abcd");
}

TEST(PasswordWindow, AcceptedPasswordsAreTrimmedAndUpperCased) {
    PasswordFixture f("");
    f.window.txtPassword1->setText("abcd");
    f.window.btnSave_Click();
    PasswordFixture g("");
    g.window.txtPassword1->setText("  abcdefghijkl  ");
    g.window.btnSave_Click();
    EXPECT_EQ(f.stored, std::vector<std::string>{"ABCD"});
    EXPECT_EQ(g.stored, std::vector<std::string>{"ABCDEFGHIJKL"});
    EXPECT_TRUE(f.dialogs.shown().empty());
}

TEST(PasswordWindow, WrongLengthsAreRefusedAndNothingStored) {
    for (const char* bad : {"abc", "abcdefghijklm", "   ", "  ab  "}) {
        PasswordFixture f("");
        f.window.txtPassword1->setText(bad);
        f.window.btnSave_Click();
        EXPECT_TRUE(f.stored.empty()) << bad;
        ASSERT_EQ(f.dialogs.shown().size(), 1u);
        EXPECT_EQ(f.dialogs.shown()[0].title, "Password Error");
        EXPECT_EQ(f.dialogs.shown()[0].text,
                  "Password must be between 4-12 char, case insensitive.");
        EXPECT_EQ(f.dialogs.shown()[0].icon, DialogIcon::Exclamation);
    }
}

TEST(PasswordWindow, SaveWithUntouchedMaskKeepsStoredPassword) {
    PasswordFixture f("SECRET");
    f.window.btnSave_Click();
    EXPECT_TRUE(f.stored.empty());
    EXPECT_TRUE(f.dialogs.shown().empty());
}

TEST(PasswordWindow, CancelStoresNothing) {
    PasswordFixture f("SECRET");
    QTest::keyClicks(f.window.txtPassword1, "newpass");
    f.window.btnCancel_Click();
    EXPECT_TRUE(f.stored.empty());
}
