#include "AboutForm.h"
#include "Events.h"
#include "FlushDeletes.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

using namespace sonavel;

namespace {

const QString kFallback = QStringLiteral("0.1.0");

QString LabelText(QWidget* window, const char* name) {
    auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
    EXPECT_NE(label, nullptr) << name;
    return label != nullptr ? label->text() : QString();
}

QPushButton* Button(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    return button;
}

// Restores the application's version whatever a test set.
class AboutFormTest : public ::testing::Test {
  protected:
    ~AboutFormTest() override {
        QCoreApplication::setApplicationVersion(m_savedVersion);
        FlushDeletes();
    }
    const QString m_savedVersion = QCoreApplication::applicationVersion();
};

TEST(AboutGecos, TakesTheFirstFieldAndFallsBackToTheLogin) {
    EXPECT_EQ(FullNameFromGecos(QStringLiteral("Ann Smith,Room 4,555-1234,,"), "ann"),
              QStringLiteral("Ann Smith"));
    EXPECT_EQ(FullNameFromGecos(QStringLiteral("  Ann Smith  "), "ann"),
              QStringLiteral("Ann Smith"));
    EXPECT_EQ(FullNameFromGecos(QString(), "ann"), QStringLiteral("ann"));
    EXPECT_EQ(FullNameFromGecos(QStringLiteral(",,,"), "ann"), QStringLiteral("ann"));
    EXPECT_EQ(FullNameFromGecos(QStringLiteral("& Smith,,,"), "ann"), QStringLiteral("Ann Smith"));
}

TEST_F(AboutFormTest, ShowsProgramVersionAndLicensee) {
    QCoreApplication::setApplicationVersion(QString());
    AboutForm creator(Product::Creator, kFallback, nullptr, {});
    EXPECT_EQ(creator.windowTitle(), QStringLiteral("About Sonavel Creator"));
    EXPECT_EQ(LabelText(&creator, "labelProductName"), QStringLiteral("Sonavel Creator"));
    EXPECT_EQ(LabelText(&creator, "labelVersion"), QStringLiteral("Version 0.1.0"));
    EXPECT_EQ(LabelText(&creator, "labelLicensedTo"),
              QStringLiteral("This product is licensed to:"));

    // The name comes from the passwd entry, read here independently of the window.
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    const QString login = QString::fromLocal8Bit(entry->pw_name);
    const QString first = QString::fromLocal8Bit(entry->pw_gecos).section(',', 0, 0).trimmed();
    const QString user = LabelText(&creator, "labelUserName");
    if (!first.contains('&')) {
        EXPECT_EQ(user, first.isEmpty() ? login : first);
    }
    EXPECT_TRUE(LabelText(&creator, "labelOrganization").startsWith(QStringLiteral("Computer: ")));

    QCoreApplication::setApplicationVersion(QStringLiteral("2.5.1"));
    AboutForm player(Product::Player, kFallback, nullptr, {});
    EXPECT_EQ(player.windowTitle(), QStringLiteral("About Sonavel Player"));
    EXPECT_EQ(LabelText(&player, "labelProductName"), QStringLiteral("Sonavel Player"));
    EXPECT_EQ(LabelText(&player, "labelVersion"), QStringLiteral("Version 2.5.1"));
}

TEST_F(AboutFormTest, OkAndEscapeCloseAndDeleteTheWindow) {
    QPointer<AboutForm> byOk = new AboutForm(Product::Player, kFallback, nullptr, {});
    byOk->show();
    Button(byOk, "commandOK")->click();
    FlushDeletes();
    EXPECT_TRUE(byOk.isNull());

    QPointer<AboutForm> byEscape = new AboutForm(Product::Creator, kFallback, nullptr, {});
    byEscape->show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(byEscape, &escape);
    FlushDeletes();
    EXPECT_TRUE(byEscape.isNull());
}

TEST_F(AboutFormTest, SystemInfoOffersTheFirstInstalledUtility) {
    AboutForm none(Product::Player, kFallback, nullptr, {QStringLiteral("no-such-program-xyz")});
    EXPECT_FALSE(Button(&none, "commandSystemInfo")->isEnabled());
    EXPECT_TRUE(none.SystemInfoProgram().isEmpty());

    // A missing candidate ahead of an installed one is passed over.
    AboutForm found(
        Product::Player, kFallback, nullptr,
        {QStringLiteral("no-such-program-xyz"), QStringLiteral("sh"), QStringLiteral("true")});
    EXPECT_TRUE(Button(&found, "commandSystemInfo")->isEnabled());
    EXPECT_TRUE(found.SystemInfoProgram().endsWith(QStringLiteral("/sh")));
}

TEST_F(AboutFormTest, SplashShowsWithoutButtonsAndClosesByItself) {
    QElapsedTimer clock;
    clock.start();
    QPointer<AboutForm> splash = AboutForm::ShowSplash(Product::Creator, kFallback);
    ASSERT_FALSE(splash.isNull());
    EXPECT_TRUE(splash->isVisible()) << "the caller goes on while the splash shows";
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(Button(splash, "commandOK")->isVisible());
    EXPECT_FALSE(Button(splash, "commandSystemInfo")->isVisible());
    EXPECT_EQ(LabelText(splash, "labelProductName"), QStringLiteral("Sonavel Creator"));

    EXPECT_TRUE(WaitUntil([&] {
        FlushDeletes();
        return splash.isNull();
    }));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_LE(clock.elapsed(), 5000);
}

}  // namespace
