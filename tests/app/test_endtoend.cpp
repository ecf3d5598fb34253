// The whole program against the counter simulator: records travel from the
// serial line into the log file, the program shuts down cleanly on SIGTERM,
// and a SIGKILL at any moment never costs an acknowledged record.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <csignal>

#include "support/AppProcess.h"
#include "support/Simulator.h"
#include "support/TestSupport.h"
#include "logdata/LogLine.h"

namespace {

using zt::TAppProcess;
using zt::WriteIni;
using zt::IniValue;

int CharCodeSum(const QStringList& lines) {
    int sum = 0;
    for (const QString& l : lines)
        for (QChar c : l) sum += c.unicode() & 0xFF;
    return sum & 0xFFFF;
}

// The log line a LogRecord frame (from an ACKED event) must have become, layout 0, N = 3.
QString LineOfRecordFrame(const QByteArray& f) {
    auto u8 = [&](int i) { return int(uint8_t(f[i])); };
    auto s16 = [&](int i) { return int(int16_t(uint16_t(u8(i) | (u8(i + 1) << 8)))); };
    za::TLogRecordTime t;
    t.hour = u8(3);
    t.day = u8(4);
    t.month = u8(5);
    t.year = s16(6);
    const QVector<int> counts{s16(8), s16(10), s16(12)};
    return za::BuildLogLine(0, t, counts, false, 0, false, 0);
}

QByteArray AckedFrame(const QString& event) {   // "ACKED <seq> <hex>"
    return zt::TSimulator::FromHex(event.section(' ', 2));
}

TEST(EndToEnd, RecordsReachTheLogFileAndTheProgramEndsCleanly) {
    zt::TScratchDir dir;
    const QString folder = dir.Path();
    WriteIni(folder, "LOG_LINE_FORMAT=1\r\nFILTERDUPLICATES=1\r\n");
    zt::TSimulator sim;
    ASSERT_FALSE(sim.Start({"--link", folder + "/counter.tty", "--resend-ms", "3000"}).isEmpty());

    // Ten seconds before the month ends, so that the test sees the rollover.
    const QDateTime start(QDate(2011, 3, 31), QTime(23, 59, 50));
    QElapsedTimer sinceStart;
    sinceStart.start();
    TAppProcess app(folder, start.toString(Qt::ISODate));
    ASSERT_TRUE(sim.WaitForEvent("PORT open", 10000).startsWith("PORT open")) << app.Stderr().toStdString();

    ASSERT_TRUE(sim.Command("record 14 31 3 2011 12 0 5"));          // LogRecord
    ASSERT_TRUE(sim.Command("recordext 7 15 31 3 2011 1 2 3"));      // LogRecordExt, subtype 0
    ASSERT_TRUE(sim.Command("recordsub 1 16 31 3 2011 4 5 6"));      // LogRecordExt, other subtype
    ASSERT_TRUE(sim.Command("record 14 31 3 2011 9 9 9"));           // same time stamp: filtered
    ASSERT_TRUE(sim.Command("record 17 31 3 2011 1 -1 1"));          // count -1: bad log data
    ASSERT_TRUE(zt::WaitUntil([&] { return sim.AckedCount() == 5; }, 15000)) << sim.Events().join("\n").toStdString();

    const QString march = folder + "/LOG2011-03.LOG";
    EXPECT_EQ(zt::ReadAll(march), "00,14,31,03,2011,   12,    0,    5\r\n"
                                  "07,15,31,03,2011,    1,    2,    3\r\n"
                                  "00,16,31,03,2011,    4,    5,    6\r\n");
    // CHKS follows the Ack from the event loop.
    EXPECT_TRUE(zt::WaitUntil(
        [&] { return IniValue(folder + "/zentrellapp.ini", "CHKS").toInt() == CharCodeSum(zt::ReadLines(march)); }));

    // Every record was answered with exactly one Ack frame.
    EXPECT_EQ(sim.ReceivedFrames("Ack").size(), 5);
    for (const QByteArray& f : sim.ReceivedFrames("Ack")) EXPECT_EQ(zt::TSimulator::ToHex(f), "02 05 06 F0 03");

    // After midnight (by the program's clock) the next record starts April's file.
    const qint64 wait = 10500 - sinceStart.elapsed();
    ASSERT_GT(wait, 0) << "the records before midnight took too long";
    zt::WaitUntil([] { return false; }, int(wait));
    ASSERT_TRUE(sim.Command("record 0 1 4 2011 3 3 3"));
    ASSERT_TRUE(zt::WaitUntil([&] { return QFile::exists(folder + "/LOG2011-04.LOG"); }, 20000));
    EXPECT_EQ(zt::ReadAll(folder + "/LOG2011-04.LOG"), "00,00,01,04,2011,    3,    3,    3\r\n");
    EXPECT_EQ(zt::ReadLines(march).size(), 3);

    app.Signal(SIGTERM);
    ASSERT_TRUE(app.WaitForExit(10000));
    EXPECT_EQ(app.ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.ExitCode(), 0);

    const QStringList log = zt::ReadLines(folder + "/zentrellapp.log");
    const QString all = log.join("\n");
    EXPECT_TRUE(log.first().endsWith("Message - Program startet")) << all.toStdString();
    EXPECT_TRUE(all.contains("Message - Old file name: \n")) << all.toStdString();
    EXPECT_TRUE(all.contains("Message - New file name: " + march)) << all.toStdString();
    EXPECT_TRUE(all.contains("Message - Old file name: " + march)) << all.toStdString();
    EXPECT_TRUE(all.contains("Message - New file name: " + folder + "/LOG2011-04.LOG")) << all.toStdString();
    EXPECT_TRUE(all.contains("Message - Bad log data (00,17,31,03,2011,    1,   -1,    1)")) << all.toStdString();
    EXPECT_TRUE(all.contains("Warning - Logdata filtered")) << all.toStdString();
    EXPECT_TRUE(log[log.size() - 2].endsWith("Message - Windows is shutting down")) << all.toStdString();
    EXPECT_TRUE(log.last().endsWith("Message - Program ended normally")) << all.toStdString();

    // The shutdown saved the settings (keys the program owns are all there).
    const QString ini = folder + "/zentrellapp.ini";
    EXPECT_EQ(IniValue(ini, "COMPORT"), "1");
    EXPECT_EQ(IniValue(ini, "CH1_NAME"), "Counter 1");
    EXPECT_EQ(IniValue(ini, "SHOWCOUNTER"), "8");
    EXPECT_EQ(IniValue(ini, "LOGFILECODE"), "YYYY-MM");
    EXPECT_EQ(IniValue(ini, "CHKS").toInt(), CharCodeSum(zt::ReadLines(folder + "/LOG2011-04.LOG")));
}

// A power cut or a kill can come at any instant. Whatever instant it is, the
// log file stays complete and holds every record the counter was told it may
// forget (every Ack); the counter sends the rest again to the next run.
TEST(EndToEnd, KillDuringABurstNeverLosesAnAcknowledgedRecord) {
    zt::TScratchDir dir;
    const QString folder = dir.Path();
    WriteIni(folder, QString());
    zt::TSimulator sim;
    ASSERT_FALSE(sim.Start({"--link", folder + "/counter.tty", "--resend-ms", "300"}).isEmpty());

    QStringList expected;
    int count = 0;
    auto queueRecords = [&](int n) {
        for (int i = 0; i < n; ++i, ++count) {
            const int day = 1 + count / 24 % 28, hour = count % 24;
            ASSERT_TRUE(sim.Command(QString("record %1 %2 5 2011 %3 %4 %5").arg(hour).arg(day).arg(count).arg(count % 7).arg(1)));
        }
    };

    QRandomGenerator rng(20111231);
    const QString logFile = folder + "/LOG2011-05.LOG";
    for (int round = 0; round < 12; ++round) {
        queueRecords(40);
        TAppProcess app(folder, "2011-05-20T10:00:00");
        // Let some records through, then kill at a random moment in the burst.
        const int before = sim.AckedCount();
        ASSERT_TRUE(zt::WaitUntil([&] { return sim.AckedCount() > before; }, 15000)) << app.Stderr().toStdString();
        zt::WaitUntil([] { return false; }, int(rng.bounded(5, 400)));
        app.Signal(SIGKILL);
        ASSERT_TRUE(app.WaitForExit(5000));

        for (const QString& e : sim.Events())
            if (e.startsWith("ACKED ")) {
                const QString line = LineOfRecordFrame(AckedFrame(e));
                if (!expected.contains(line)) expected << line;
            }
        const QByteArray raw = zt::ReadAll(logFile).toLatin1();
        ASSERT_FALSE(raw.isEmpty()) << "round " << round;
        ASSERT_TRUE(raw.endsWith("\r\n")) << "round " << round;
        const QStringList lines = zt::ReadLines(logFile);
        for (const QString& l : lines) ASSERT_TRUE(za::IsValidLine(0, 3, l)) << "round " << round << ": " << l.toStdString();
        for (const QString& l : expected)
            ASSERT_TRUE(lines.contains(l)) << "round " << round << ": acknowledged but missing: " << l.toStdString();
    }
    EXPECT_GT(expected.size(), 12);
}

// A counter whose line goes away (cable pulled, USB bridge gone) and comes back
// is logging again within seconds, without anybody touching the program.
TEST(EndToEnd, CounterThatDisappearsAndComesBackIsLoggingAgain) {
    zt::TScratchDir dir;
    const QString folder = dir.Path();
    WriteIni(folder, QString());
    auto sim = std::make_unique<zt::TSimulator>();
    ASSERT_FALSE(sim->Start({"--link", folder + "/counter.tty"}).isEmpty());
    TAppProcess app(folder, "2011-06-10T10:00:00");
    ASSERT_TRUE(sim->WaitForEvent("PORT open", 10000).startsWith("PORT open"));
    ASSERT_TRUE(sim->Command("record 9 10 6 2011 1 1 1"));
    ASSERT_TRUE(zt::WaitUntil([&] { return sim->AckedCount() == 1; }, 10000));

    sim.reset();   // the device is gone
    QFile::remove(folder + "/counter.tty");
    zt::WaitUntil([] { return false; }, 1500);
    sim = std::make_unique<zt::TSimulator>();
    ASSERT_FALSE(sim->Start({"--link", folder + "/counter.tty"}).isEmpty());
    ASSERT_TRUE(sim->Command("record 10 10 6 2011 2 2 2"));
    ASSERT_TRUE(zt::WaitUntil([&] { return sim->AckedCount() == 1; }, 10000)) << app.Stderr().toStdString();

    EXPECT_EQ(zt::ReadLines(folder + "/LOG2011-06.LOG"),
              QStringList({"09,10,06,2011,    1,    1,    1", "10,10,06,2011,    2,    2,    2"}));
    app.Signal(SIGTERM);
    ASSERT_TRUE(app.WaitForExit(10000));
    const QString log = zt::ReadAll(folder + "/zentrellapp.log");
    EXPECT_EQ(log.count("Error - Comport lost"), 1) << log.toStdString();
}

TEST(EndToEnd, SecondInstanceWithRunOnceEndsAndLeavesTheFirstRunning) {
    zt::TScratchDir dir;
    const QString folder = dir.Path();
    WriteIni(folder, "RUNONCE=1\r\nCOMPORT_DEVICE=\r\n");
    // No counter here: the port stays closed; its error is written to stderr.
    TAppProcess first(folder);
    ASSERT_TRUE(zt::WaitUntil([&] { return zt::ReadAll(folder + "/zentrellapp.log").contains("New file name"); }, 10000));
    TAppProcess second(folder);
    ASSERT_TRUE(second.WaitForExit(10000));
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_TRUE(first.Running());
    first.Signal(SIGTERM);
    ASSERT_TRUE(first.WaitForExit(10000));
    const QString log = zt::ReadAll(folder + "/zentrellapp.log");
    EXPECT_EQ(log.count("Program startet"), 2);
    EXPECT_EQ(log.count("Program ended normally"), 1);
}

// The log folder is missing (a network drive not mounted yet, a folder
// removed by hand): the counter still gets its Acks, and every acknowledged
// record survives a kill and reaches its log file at the next start. Ctrl+C in
// the terminal ends the program the orderly way.
TEST(EndToEnd, RecordsAcknowledgedWhileTheLogFolderIsMissingReachTheFileAfterARestart) {
    zt::TScratchDir dir;
    const QString folder = dir.Path();
    WriteIni(folder, QString());
    const QString logs = folder + "/logs";
    zt::WriteAll(folder + "/zentrellapp.ini",
                 zt::ReadAll(folder + "/zentrellapp.ini").replace("LOGFILEPATH=" + folder, "LOGFILEPATH=" + logs).toLatin1());
    zt::TSimulator sim;
    ASSERT_FALSE(sim.Start({"--link", folder + "/counter.tty"}).isEmpty());
    {
        TAppProcess app(folder, "2011-07-04T10:00:00");
        ASSERT_TRUE(sim.WaitForEvent("PORT open", 10000).startsWith("PORT open")) << app.Stderr().toStdString();
        ASSERT_TRUE(sim.Command("record 9 4 7 2011 1 2 3"));
        ASSERT_TRUE(sim.Command("record 10 4 7 2011 4 5 6"));
        ASSERT_TRUE(zt::WaitUntil([&] { return sim.AckedCount() == 2; }, 15000)) << app.Stderr().toStdString();
        app.Signal(SIGKILL);
        ASSERT_TRUE(app.WaitForExit(5000));
    }
    EXPECT_FALSE(QFile::exists(logs));
    EXPECT_EQ(zt::ReadLines(folder + "/zentrellapp.spool").size(), 2);
    EXPECT_TRUE(zt::ReadAll(folder + "/zentrellapp.log").contains("Error - Could not save logdata"));

    QDir().mkpath(logs);
    TAppProcess app(folder, "2011-07-04T11:00:00");
    const QString file = logs + "/LOG2011-07.LOG";
    ASSERT_TRUE(zt::WaitUntil([&] { return QFile::exists(file); }, 10000)) << app.Stderr().toStdString();
    EXPECT_EQ(zt::ReadAll(file), "09,04,07,2011,    1,    2,    3\r\n10,04,07,2011,    4,    5,    6\r\n");
    // The spool goes once its lines are in the file.
    EXPECT_TRUE(zt::WaitUntil([&] { return !QFile::exists(folder + "/zentrellapp.spool"); }, 5000));
    app.Signal(SIGINT);
    ASSERT_TRUE(app.WaitForExit(10000));
    EXPECT_EQ(app.ExitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(zt::ReadLines(folder + "/zentrellapp.log").last().endsWith("Message - Program ended normally"));
}

} // namespace
