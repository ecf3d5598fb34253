#include "logdata/EventLog.h"
#include "tests/support/TestSupport.h"
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace za;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Records in which order an entry reached its channels: "F" a new line in the
// file, "S" the status line, "Bi"/"Bw"/"Be" an information, warning or error box.
class TEventLogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.File("app.log");
        log.SetFileName(path);
        channel.whileOpen = [this] {
            NoteFileGrowth();
            const char* kinds[] = {"Bi", "Bw", "Be"};
            events << kinds[int(channel.boxes.last().kind)];
        };
        log.OnStatus = [this](const QString& line, int) {
            NoteFileGrowth();
            events << "S";
            statusLines << line;
        };
    }
    void NoteFileGrowth() {
        const int n = zt::ReadLines(path).size();
        for (; fileLines < n; ++fileLines) events << "F";
    }
    QString Route() {
        NoteFileGrowth();
        const QString r = events.join("");
        events.clear();
        return r;
    }

    zt::TScratchDir dir;
    QString path;
    zt::TRecordingChannel channel;
    TFixedClock clock{QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9, 123))};
    TEventLog log{&channel, &clock};
    QStringList events;
    QStringList statusLines;
    int fileLines = 0;
};

} // namespace

TEST_F(TEventLogFixture, LevelTable) {
    const char* expected[12] = {"S",   "FS",  "FSBe", "SBi", "FSBw", "FSBe",
                                "SF",  "SF",  "BeSF", "F",   "F",    "F"};
    for (int level = 0; level < 12; ++level) {
        log.Log(QString("entry %1").arg(level), level);
        EXPECT_EQ(Route(), expected[level]) << "level " << level;
    }
    log.Log("ignored", 12);
    log.Log("ignored", -1);
    EXPECT_EQ(Route(), "");
    EXPECT_EQ(channel.beeps, 0);

    // Severity names in the lines: level 10 is a warning, 11 an error.
    const QStringList lines = zt::ReadLines(path);
    ASSERT_EQ(lines.size(), 10);
    EXPECT_TRUE(lines[8].endsWith(" : Warning - entry 10"));
    EXPECT_TRUE(lines[9].endsWith(" : Error - entry 11"));
    EXPECT_TRUE(statusLines[0].endsWith(" : Message - entry 0"));
    EXPECT_EQ(statusLines[0], log.FormatLine("entry 0", 0));
}

TEST_F(TEventLogFixture, ExplicitAndForcedChannels) {
    struct TCase {
        std::function<void()> call;
        const char* route;
    };
    const TCase cases[] = {
        {[&] { log.LogTo("t", 2, false, true, true); }, "SBe"},
        {[&] { log.LogTo("t", 0, true, true, true); }, "FSBi"},
        {[&] { log.LogTo("t", 1, true, false, false); }, "F"},
        {[&] { log.LogTo("t", 3, true, true, true); }, ""},
        {[&] { log.LogForced("t", 2, false, true); }, "FBeS"},
        {[&] { log.LogForced("t", 0, true, true); }, "FBiS"},    // "New inifile created (...)"
        {[&] { log.LogForced("t", 0, false, false); }, "S"},
        {[&] { log.LogForced("t", 1, false, false); }, "FS"},
        {[&] { log.LogForced("t", 3, false, true); }, "Bi"},
        {[&] { log.LogForced("t", 3, true, false); }, "F"},
        {[&] { log.LogForced("t", -1, false, false); }, ""},
    };
    int i = 0;
    for (const auto& c : cases) {
        c.call();
        EXPECT_EQ(Route(), c.route) << "case " << i++;
    }
}

TEST_F(TEventLogFixture, FileLinesAreAppendedWithCrLf) {
    zt::WriteAll(path, "old line\r\n");
    fileLines = 1;
    log.Log("No response from Customer Counter", 7);
    log.Log("second", 9);
    const QString expected = "old line\r\n" + log.FormatLine("No response from Customer Counter", 1) + "\r\n" +
                             log.FormatLine("second", 0) + "\r\n";
    EXPECT_EQ(zt::ReadAll(path), expected);
}

TEST(EventLog, CreatesTheFileOnceAndReportsLostEntries) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.log");
    zt::TRecordingChannel channel;
    TFixedClock clock;
    {
        TEventLog log(&channel, &clock);
        QStringList status;
        log.OnStatus = [&](const QString& line, int) { status << line; };
        log.SetFileName(path);
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_EQ(zt::ReadAll(path), "");                       // "Logfile created" is level 0
        EXPECT_EQ(status, QStringList{log.FormatLine("Logfile created", 0)});

        log.Log("kept", 9);
        TEventLog again(&channel, &clock);
        again.SetFileName(path);                                 // an existing file is left as it is
        EXPECT_EQ(zt::ReadLines(path).size(), 1);

        // Deleted while running: every entry for the file is reported, nothing re-creates it.
        QFile::remove(path);
        log.Log("lost", 9);
        log.Log("lost too", 11);
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_EQ(channel.beeps, 2);
        EXPECT_EQ(channel.Texts(), (QStringList{"Could not write to logfile", "Could not write to logfile"}));
        EXPECT_EQ(channel.boxes[0].kind, TBoxKind::Error);
        log.Log("status only", 0);
        EXPECT_EQ(channel.beeps, 2);
    }
    channel.boxes.clear();
    channel.beeps = 0;
    {
        TEventLog log(&channel, &clock);
        log.SetFileName(dir.File("no such folder/app.log"));
        EXPECT_EQ(channel.beeps, 1);
        EXPECT_EQ(channel.Texts(), QStringList{"Could not create logfile"});
        log.Log("x", 9);
        EXPECT_EQ(channel.Texts(), (QStringList{"Could not create logfile", "Could not write to logfile"}));
    }
}

TEST(EventLog, WithoutAChannelBoxesAndBeepsGoToStandardError) {
    zt::TScratchDir dir;
    TFixedClock clock;
    const QString captured = dir.File("stderr.txt");
    std::fflush(stderr);
    const int saved = dup(2);
    const int fd = open(captured.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    dup2(fd, 2);
    close(fd);
    {
        TEventLog log(nullptr, &clock);
        log.SetFileName(dir.File("no such folder/app.log"));
        log.Log("Port failed", 5);
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(zt::ReadLines(captured), (QStringList{"BEEP", "BOX Error: Could not create logfile", "BEEP",
                                                    "BOX Error: Could not write to logfile",
                                                    "BOX Error: Port failed"}));
}

// The date-time of a line follows the regional setting; Qt takes it from LC_ALL,
// so each setting runs in a child process of this test binary.
TEST(EventLog, LineFormatFollowsRegionalSetting) {
    struct TCase {
        const char* locale;
        QStringList lines;   // 14:05:09.123, then midnight
    };
    const TCase cases[] = {
        {"da_DK.UTF-8",
         {"31.03.2011 14.05.09 : Warning - No response from Customer Counter", "31.03.2011 : Message - x"}},
        {"en_US.UTF-8",
         {"3/31/11 2:05:09 PM : Warning - No response from Customer Counter", "3/31/11 : Message - x"}},
        {"de_DE.UTF-8",
         {"31.03.11 14:05:09 : Warning - No response from Customer Counter", "31.03.11 : Message - x"}},
    };
    for (const auto& c : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", c.locale);
        env.insert("ZT_FORMAT_CHILD", "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=EventLog.FormatChild"});
        ASSERT_TRUE(p.waitForFinished(60000));
        QStringList got;
        for (const QString& l : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
            if (l.startsWith("@@")) got << l.mid(2);
        EXPECT_EQ(got, c.lines) << c.locale;
    }
}

TEST(EventLog, FormatChild) {
    if (qEnvironmentVariableIsEmpty("ZT_FORMAT_CHILD")) GTEST_SKIP() << "runs only as a child process";
    TFixedClock clock(QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9, 123)));
    zt::TRecordingChannel channel;
    TEventLog log(&channel, &clock);
    printf("@@%s\n", qPrintable(log.FormatLine("No response from Customer Counter", 1)));
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(0, 0)));
    printf("@@%s\n", qPrintable(log.FormatLine("x", 0)));
    fflush(stdout);
}
