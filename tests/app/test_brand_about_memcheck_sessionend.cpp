// Brand profiles, the leak-report switch, the session-end signal and the about box.
#include <gtest/gtest.h>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <vector>
#include "support/TestSupport.h"
#include "app/AboutDlg.h"
#include "app/BrandProfile.h"
#include "app/MemCheck.h"
#include "app/SessionEnd.h"
#include "config/IniFile.h"
#include "config/Settings.h"

using namespace za;

namespace {

TSettings SettingsOf(const TIniFile& ini) {
    TSettings s;
    s.Load(ini, 0, QString());
    return s;
}


QByteArray Picture(const char* format) {
    QImage img(7, 5, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return bytes;
}

} // namespace

TEST(BrandProfile, CodeSelectsProfileWhateverTheLetterCase) {
    zt::TScratchDir dir;
    const QString withKeys = dir.File("keys.ini");
    zt::WriteAll(withKeys, "[APPINFO]\r\nTITLE=Shop Title\r\nCAPTION=Shop Caption\r\nABOUT_CAPTION=About Shop\r\n"
                           "ABOUT_INFO1=i1\r\nABOUT_INFO2=i2\r\nABOUT_INFO3=i3\r\nABOUT_INFO4=i4\r\n");
    const QString noFile = dir.File("missing.ini");

    struct Case {
        const char* code;
        QString ini;
        const char* title;
        const char* caption;
        const char* about;
        std::array<QString, 4> info;
        const char* password;
        bool keepLogo;
    };
    const std::vector<Case> cases = {
        {"vt", withKeys, "Voltaro People Counter Datalog", "Voltaro People Counter Datalog",
         "About Voltaro People Counter", {"Voltaro", "www.voltaro.example", "", ""}, "bryxa5820", false},
        {"Ks", withKeys, "Kestrano Zentrell App.", "Kestrano Zentrell App.", "Programinformation",
         {"Kestrano ApS", "Lyngbakken 12", "DK-9999 Havnby", "Phone: +45 00 00 00 00"}, "zolkarbenti4716", true},
        {"", noFile, "NoName Zentrell App.", "NoName Zentrell App.", "Programinformation",
         {"NoName comp Aps", "Noway NoNumber", "NoZip NoWhere", "NoPhone: 00 00 00 00"}, "pirenvaldu3398", false},
        {"XY", withKeys, "Shop Title", "Shop Caption", "About Shop", {"i1", "i2", "i3", "i4"}, "pirenvaldu3398", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const TIniFile ini(c.ini);
        const TBrandProfile p = ApplyBrandProfile(c.code, SettingsOf(ini), dir.Path());
        EXPECT_EQ(p.title, c.title);
        EXPECT_EQ(p.caption, c.caption);
        EXPECT_EQ(p.aboutCaption, c.about);
        EXPECT_EQ(p.aboutInfo, c.info);
        EXPECT_EQ(p.masterPassword, c.password);
        EXPECT_EQ(p.keepBuiltInLogo, c.keepLogo);
    }
}

TEST(BrandProfile, LogoFileAndFormat) {
    struct Case {
        const char* code;
        const char* file;
        QByteArray content;   // empty: no file
        bool loaded;
    };
    const std::vector<Case> cases = {
        {"VT", "voltarologo.bmp", Picture("PNG"), true},      // any picture format
        {"VT", "voltarologo.bmp", "not a picture", false},
        {"", "zentrellapp.bmp", Picture("BMP"), true},
        {"", "zentrellapp.bmp", Picture("PNG"), false},       // a bitmap only
        {"", "zentrellapp.bmp", QByteArray(), false},         // missing
        {"KS", "zentrellapp.bmp", Picture("BMP"), false},     // keeps the built-in logo
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.file + " " + std::to_string(c.content.size()));
        zt::TScratchDir dir;
        if (!c.content.isEmpty()) zt::WriteAll(dir.File(c.file), c.content);
        const TIniFile ini(dir.File("none.ini"));
        const TBrandProfile p = ApplyBrandProfile(c.code, SettingsOf(ini), dir.Path());
        EXPECT_EQ(!p.logo.isNull(), c.loaded);
        if (c.loaded) EXPECT_EQ(p.logo.size(), QSize(7, 5));
    }
}

TEST(MemCheck, OnlyTheExactArgumentSwitchesItOn) {
    struct Case {
        std::vector<const char*> argv;
        bool on;
    };
    const std::vector<Case> cases = {
        {{"prog", "--memchk"}, true},
        {{"prog", "x", "--memchk"}, true},
        {{"prog", "--MemChk"}, false},
        {{"prog", "--memchk2"}, false},
        {{"prog", "-memchk"}, false},
        {{"prog"}, false},
        {{"--memchk"}, false},   // the program's own name is not an argument
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TMemCheck::Requested(int(c.argv.size()), c.argv.data()), c.on)
            << (c.argv.size() > 1 ? c.argv[1] : c.argv[0]);
    }
}

TEST(MemCheck, ReportWrittenOnlyWhenOnAndNamesTheLeak) {
    zt::TScratchDir dir;
    const QString report = dir.File("zentrellapp_MemCheck.log");
    const char* off[] = {"prog"};
    TMemCheck::Start(1, off);
    EXPECT_FALSE(TMemCheck::Finish(report, false));
    EXPECT_FALSE(QFile::exists(report));

    const char* on[] = {"prog", "--memchk"};
    ASSERT_TRUE(TMemCheck::Start(2, on));
    void* leak = std::malloc(1 << 20);
    static_cast<char*>(leak)[0] = 1;
    EXPECT_TRUE(TMemCheck::Finish(report, false));
    std::free(leak);
    EXPECT_FALSE(TMemCheck::IsOn());
    EXPECT_TRUE(zt::ReadAll(report).contains("not freed")) << zt::ReadAll(report).toStdString();
}

TEST(SessionEnd, TermSignalBecomesOneSessionEndingAndProcessLives) {
    TSessionEnd se;
    ASSERT_TRUE(se.Installed());
    int ending = 0;
    QObject::connect(&se, &TSessionEnd::SessionEnding, [&] { ++ending; });
    std::raise(SIGTERM);
    EXPECT_TRUE(zt::WaitUntil([&] { return ending == 1; }));
    std::raise(SIGHUP);   // the shutdown is already under way
    zt::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(ending, 1);
}

TEST(SessionEnd, HangupAndCtrlCEndTheSessionToo) {
    for (int sig : {SIGHUP, SIGINT}) {
        SCOPED_TRACE(sig);
        TSessionEnd se;
        int ending = 0;
        QObject::connect(&se, &TSessionEnd::SessionEnding, [&] { ++ending; });
        std::raise(sig);
        EXPECT_TRUE(zt::WaitUntil([&] { return ending == 1; }));
    }
}

TEST(AboutDlg, ShowsBrandAndClosesSplashByItself) {
    zt::TScratchDir dir;
    const TIniFile ini(dir.File("none.ini"));
    TAboutDlg dlg;
    dlg.ApplyBrand(ApplyBrandProfile("VT", SettingsOf(ini), dir.Path()));
    EXPECT_EQ(dlg.windowTitle(), "About Voltaro People Counter");
    EXPECT_EQ(dlg.lbInfo[0]->text(), "Voltaro");
    EXPECT_TRUE(dlg.lbVersion->text().contains("1.09d"));
    EXPECT_EQ(dlg.lbDate->text(), "31/3-2011");

    dlg.ShowSplash();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(zt::WaitUntil([&] { return !dlg.isVisible(); }, 10000));
}

TEST(AboutDlg, OpenedFromHelpDuringSplashStaysOpen) {
    TAboutDlg dlg;
    dlg.SetLogo(QPixmap::fromImage(QImage::fromData(Picture("PNG"))));
    TBrandProfile ks;
    ks.keepBuiltInLogo = true;
    dlg.ApplyBrand(ks);
    EXPECT_NE(dlg.imLogo->pixmap().isNull(), true);   // the built-in logo stays

    dlg.ShowSplash();
    bool openAfterSplashTime = false;
    QTimer::singleShot(TAboutDlg::SplashMs + 600, &dlg, [&] {
        openAfterSplashTime = dlg.isVisible();
        dlg.accept();
    });
    dlg.ShowModal();
    EXPECT_TRUE(openAfterSplashTime);
}
