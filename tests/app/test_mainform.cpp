// The application core with its main window in this process: start-up with
// and without a settings file, the close button that only hides, the two ways
// into the shutdown, and a shutdown that arrives inside a box, a dialog or a
// wait for the counter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <csignal>

#include "app/AppCore.h"
#include "app/ComportSetupDlg.h"
#include "app/MainForm.h"
#include "app/QtMessageChannel.h"
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
    std::unique_ptr<TAppCore> core;
    std::unique_ptr<TMainForm> form;

    ~TRun() {
        form.reset();
        core.reset();
    }
    void Start(const QByteArray& ini = QByteArray(), TMessageChannel* channel = nullptr) {
        if (!ini.isEmpty()) zt::WriteAll(dir.File("zentrellapp.ini"), ini);
        TAppOptions o;
        o.Paths = TAppPaths(dir.Path(), "zentrellapp");
        o.Clock = &clock;
        o.Boxes = channel ? channel : &boxes;
        o.SysfsRoot = dir.File("no-sysfs");
        core = std::make_unique<TAppCore>(o);
        ASSERT_TRUE(core->Start());
        form = std::make_unique<TMainForm>(*core);
        core->CompleteStartup();
    }
    // What the program entry does once the event loop has returned.
    void RunUntilShutdown() {
        if (!core->ShutdownRequested()) qApp->exec();
        core->Shutdown();
    }
    QStringList Log() const { return zt::ReadLines(dir.File("zentrellapp.log")); }
};

TEST(MainForm, WithoutSettingsStartsWithDefaultsAndOnlyTheCloseActionEndsIt) {
    TRun run;
    run.Start();
    EXPECT_TRUE(run.core->Running());
    EXPECT_EQ(run.form->windowTitle(), "NoName Zentrell App.");
    EXPECT_EQ(run.core->Settings().NumberOfChannels, 3);
    // No port configured and no bridge found: reported in an error box, and the program goes on.
    ASSERT_EQ(run.boxes.boxes.size(), 1);
    EXPECT_EQ(run.boxes.boxes[0].kind, TBoxKind::Error);
    // No name scheme at all: the template's, said once.
    EXPECT_EQ(run.form->LogFileNamePanel->text(), "LOG2011-03.LOG");
    EXPECT_EQ(run.Log().filter("No log file name is set").size(), 1);

    run.form->show();
    run.form->close();                 // the window's close button
    EXPECT_FALSE(run.form->isVisible());
    EXPECT_FALSE(run.core->ShutdownRequested());
    EXPECT_TRUE(run.core->Running());

    run.form->aCloseAppExecute();
    EXPECT_TRUE(run.core->ShutdownRequested());
    EXPECT_FALSE(run.core->Running());
    run.RunUntilShutdown();
    EXPECT_TRUE(run.core->ShutdownDone());
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
    EXPECT_EQ(run.core->Settings().NumberOfChannels, 4);

    run.core->RequestShutdown(true);
    run.RunUntilShutdown();
    EXPECT_TRUE(run.core->ShutdownDone());
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
    run.RunUntilShutdown();
}

// SIGTERM from inside a nested loop: the loop ends, the code around it runs on
// with every object still alive, and the shutdown runs once at the top.
struct TNestedCase {
    const char* name;
    // Starts the nested loop (from the event loop); returns when it has ended.
    std::function<void(TRun&)> open;
    // True once the nested loop is running.
    std::function<bool(TRun&)> isOpen;
};

class ShutdownInsideAWait : public ::testing::TestWithParam<int> {};

TEST_P(ShutdownInsideAWait, EndsTheLoopAndShutsDownCleanly) {
    const TNestedCase cases[] = {
        {"serial port dialog", [](TRun& r) { r.form->aSerialPortExecute(); },
         [](TRun& r) { return QApplication::activeModalWidget() == r.form->ComportDlg(); }},
        {"message box", [](TRun& r) { r.core->EventLog()->Log("Box for a person", 5); },
         [](TRun&) { return QApplication::activeModalWidget() != nullptr; }},
        {"wait for the counter", [](TRun& r) { r.core->Link()->WaitForAck(); },
         [](TRun&) { return true; }},   // the poll only ticks once the wait runs
    };
    const TNestedCase& c = cases[GetParam()];
    SCOPED_TRACE(c.name);
    TRun run;
    zt::TPty pty;   // a silent counter
    TQtMessageChannel realBoxes;
    run.Start(("[SETUP]\r\nCOMPORT=1\r\nCOMPORT_DEVICE=" + pty.Slave() + "\r\nLOGFILEPATH=" + run.dir.Path() +
               "\r\n").toLatin1(),
              &realBoxes);
    bool returned = false;
    bool signalled = false;
    QTimer::singleShot(0, [&] {
        c.open(run);
        returned = true;
    });
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!signalled && c.isOpen(run)) {
            signalled = true;
            ::raise(SIGTERM);
        }
    });
    poll.start();
    QTimer::singleShot(10000, [] { qApp->exit(1); });   // never hangs the test run
    run.RunUntilShutdown();
    poll.stop();
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(returned);
    EXPECT_TRUE(run.core->ShutdownDone());
    const QStringList log = run.Log();
    ASSERT_GE(log.size(), 2);
    EXPECT_TRUE(log[log.size() - 2].endsWith("Windows is shutting down")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.last().endsWith("Message - Program ended normally"));
}

INSTANTIATE_TEST_SUITE_P(Nested, ShutdownInsideAWait, ::testing::Values(0, 1, 2));

} // namespace
