// The main window in this process: start-up with and without a settings file,
// the close button that only hides, and the two ways into the shutdown.
#include <gtest/gtest.h>

#include <QLabel>

#include "app/MainForm.h"
#include "config/Clock.h"
#include "config/IniFile.h"
#include "support/Pty.h"
#include "support/TestSupport.h"

using namespace za;

namespace {

struct TRun {
    zt::TScratchDir dir;
    zt::TRecordingChannel boxes;
    TFixedClock clock{QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9))};
    std::unique_ptr<TMainForm> form;

    void Start(const QByteArray& ini = QByteArray()) {
        if (!ini.isEmpty()) zt::WriteAll(dir.File("zentrellapp.ini"), ini);
        TMainFormOptions o;
        o.Paths = TAppPaths(dir.Path(), "zentrellapp");
        o.Clock = &clock;
        o.Boxes = &boxes;
        o.SysfsRoot = dir.File("no-sysfs");
        form = std::make_unique<TMainForm>(o);
        ASSERT_TRUE(form->FormCreate());
        form->CompleteStartup();
    }
    QStringList Log() const { return zt::ReadLines(dir.File("zentrellapp.log")); }
};

TEST(MainForm, WithoutSettingsStartsWithDefaultsAndOnlyTheCloseActionEndsIt) {
    TRun run;
    run.Start();
    EXPECT_TRUE(run.form->Running());
    EXPECT_EQ(run.form->windowTitle(), "NoName Zentrell App.");
    EXPECT_EQ(run.form->Settings().NumberOfChannels, 3);
    // No port configured and no bridge found: reported in an error box, and the program goes on.
    ASSERT_EQ(run.boxes.boxes.size(), 1);
    EXPECT_EQ(run.boxes.boxes[0].kind, TBoxKind::Error);
    EXPECT_TRUE(run.form->LogFileNamePanel->text().isEmpty());   // empty name scheme

    run.form->show();
    run.form->close();                 // the window's close button
    EXPECT_FALSE(run.form->isVisible());
    EXPECT_FALSE(run.form->ShutdownDone());
    EXPECT_TRUE(run.form->Running());

    run.form->aCloseAppExecute();
    EXPECT_TRUE(run.form->ShutdownDone());
    EXPECT_FALSE(run.form->Running());
    const QStringList log = run.Log();
    EXPECT_TRUE(log.first().endsWith("Message - Program startet"));
    EXPECT_TRUE(log.last().endsWith("Message - Program ended normally"));
    // The shutdown wrote the settings the program owns.
    TIniFile ini(run.dir.File("zentrellapp.ini"));
    EXPECT_EQ(ini.ReadString("SETUP", "CH3_NAME", "-"), "Counter 3");
    EXPECT_EQ(ini.ReadInteger("GRAPH", "SHOWCOUNTER", -1), 8);
    EXPECT_EQ(ini.ReadInteger("SETUP", "COMPORT", 0), -1);
}

TEST(MainForm, BrandCodeAndSessionEnd) {
    TRun run;
    run.Start("[SETUP]\r\nAPPINFO=vt\r\nCOMPORT_DEVICE=/nonexistent/tty\r\nNUMBER_OF_CHANNELS=4\r\n"
              "[GRAPH]\r\nSHOWPER=2\r\nSHOWCOUNTER=3\r\n");
    EXPECT_EQ(run.form->windowTitle(), "Voltaro People Counter Datalog");
    EXPECT_EQ(run.form->Settings().NumberOfChannels, 4);

    run.form->SessionEnding();
    EXPECT_TRUE(run.form->ShutdownDone());
    const QStringList log = run.Log();
    ASSERT_GE(log.size(), 2);
    EXPECT_TRUE(log[log.size() - 2].endsWith("Message - Windows is shutting down"));
    EXPECT_TRUE(log.last().endsWith("Message - Program ended normally"));
    // The view options went through the data view and back to the file.
    TIniFile ini(run.dir.File("zentrellapp.ini"));
    EXPECT_EQ(ini.ReadInteger("GRAPH", "SHOWPER", -1), 2);
    EXPECT_EQ(ini.ReadInteger("GRAPH", "SHOWCOUNTER", -1), 3);
    EXPECT_EQ(ini.ReadString("SETUP", "CH4_NAME", "-"), "Counter 4");
}

using zt::Frame;

// A box raised by a frame (here the counter's setup answer with the wrong
// channel count) must not stop the logging while nobody closes it.
TEST(MainForm, RecordsAreStillLoggedWhileABoxFromAFrameIsOpen) {
    TRun run;
    zt::TPty pty;
    ASSERT_FALSE(pty.Slave().isEmpty());
    run.Start(("[SETUP]\r\nCOMPORT=1\r\nCOMPORT_DEVICE=" + pty.Slave() + "\r\nLOGFILEPATH=" + run.dir.Path() +
               "\r\nLOGFILEPREFIX=LOG\r\nLOGFILEEXT=.LOG\r\n").toLatin1());
    ASSERT_TRUE(run.boxes.boxes.isEmpty());

    const QString logFile = run.dir.File("LOG.LOG");
    bool storedWhileOpen = false;
    run.boxes.whileOpen = [&] {
        // A record arrives while the box waits for a person.
        pty.Write(Frame(16, QByteArray::fromHex("0e1f03db070c0000000500")));
        storedWhileOpen = zt::WaitUntil([&] { return zt::ReadAll(logFile).contains("14,31,03,2011"); }, 5000);
    };
    ASSERT_TRUE(pty.Write(Frame(37, QByteArray::fromHex("000401030500") + QByteArray(1, 15))));
    ASSERT_TRUE(zt::WaitUntil([&] { return !run.boxes.boxes.isEmpty(); }, 5000));
    EXPECT_EQ(run.boxes.boxes[0].text, "Wrong number of channels");
    EXPECT_TRUE(storedWhileOpen);
    EXPECT_TRUE(pty.Read().contains(QByteArray::fromHex("020506f003")));   // and acknowledged
    run.form->aCloseAppExecute();
}

} // namespace
