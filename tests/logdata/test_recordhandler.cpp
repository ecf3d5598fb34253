// The record path with the real data store, log file, settings file and event log.
#include <gtest/gtest.h>
#include <QFile>
#include <stdexcept>
#include "config/Clock.h"
#include "config/IniFile.h"
#include <QDir>
#include "link/LogRecord.h"
#include "link/RxTxBuffer.h"
#include "logdata/EventLog.h"
#include "logdata/LogStore.h"
#include "logdata/RecordHandler.h"
#include "logdata/Spool.h"
#include "support/TestSupport.h"

using namespace za;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

QByteArray Frame(uint8_t type, const QByteArray& payload) {
    QByteArray f;
    f += char(0x02);
    f += char(payload.size() + 5);
    f += char(type);
    f += payload;
    uint8_t sum = 0x03;   // the sum includes ETX
    for (char c : f) sum += uint8_t(c);
    f += char(uint8_t(-sum));
    f += char(0x03);
    return f;
}

QByteArray Hex(const char* s) { return QByteArray::fromHex(s); }

// LogRecord 14:00 31.03.2011, counts 12, 0, 5
const char* kRecord = "0E1F03DB070C0000000500";

struct TExportCall {
    QString what;
    QVector<int> values;
};

class RecordHandlerTest : public ::testing::Test {
protected:
    RecordHandlerTest() {
        log.SetFileName(dir.File("events.log"));
        settings.LogFilePath = dir.Path();
        settings.LogFilePrefix = "LOG";
        settings.LogFileCode = "YYYY-MM";
        settings.LogFileExt = "LOG";
    }

    // Builds the handler with the settings as they are now and runs the end of start-up.
    TRecordHandler& Start() {
        channels.SetLogLineFormat(settings.LogLineFormat);
        handler = std::make_unique<TRecordHandler>(log, ini, store, spool, clock, settings);
        handler->SendAck = [this] {
            ++acks;
            if (onAck) onAck();
        };
        TRecordSinks sinks;
        sinks.WriteDataFile = [this](const QString& l) { calls.push_back({"kvik:" + l, {}}); };
        sinks.IccAddRecord = [this](int h, int d, int m, int y, const QVector<int>& c) {
            calls.push_back({"icc", QVector<int>{h, d, m, y} + c});
        };
        sinks.GunneboAddRecord = [this](int mi, int h, int d, int m, int y, const QVector<int>& c) {
            if (gunneboFailures > 0) {
                --gunneboFailures;
                throw std::runtime_error("Cannot write xml file");
            }
            calls.push_back({"gunnebo", QVector<int>{mi, h, d, m, y} + c});
        };
        sinks.ReportDuplicateFiltered = [this] { calls.push_back({"duplicate", {}}); };
        sinks.ReportNoLogData = [this] { calls.push_back({"nologdata", {}}); };
        sinks.ReportChecksumError = [this] { calls.push_back({"checksum", {}}); };
        handler->SetSinks(sinks);
        handler->OnError = [this](const QString& t) { errors << t; };
        handler->OnLogFileNameChanged = [this](const QString& n) { shownNames << n; };
        handler->ResetLogDataWatchdog();
        handler->StartLogFile();
        return *handler;
    }

    // What the dispatcher does with one received frame.
    void Receive(uint8_t type, const QByteArray& payload) {
        const QByteArray f = Frame(type, payload);
        rx.ReceiveFrom(reinterpret_cast<const uint8_t*>(f.constData()), int(f.size()));
        ASSERT_TRUE(rx.FrameReady());
        TLogRecordData record;
        DecodeLogRecord(rx, type == 38 ? 100 : 0, 3, record);
        handler->HandleLogRecord(record);
        rx.Discard(rx.FrameLength());
        handler->FlushChecksum();   // what the event loop does right after the Ack
    }
    void Record(const char* hex) { Receive(16, Hex(hex)); }
    // LogRecordExt subtype 0.
    void ExtRecord(int minute, int hour, int day, int month, int year, QVector<int> counts) {
        QByteArray p;
        p += char(0);
        p += char(0);
        p += char(minute);
        p += char(hour);
        p += char(day);
        p += char(month);
        p += char(year & 0xFF);
        p += char(year >> 8);
        p += char(counts.size());
        for (int c : counts) {
            p += char(c & 0xFF);
            p += char((c >> 8) & 0xFF);
        }
        Receive(38, p);
    }

    QString LogFile(const char* month = "2011-03") const { return dir.File(QString("LOG%1.LOG").arg(month)); }
    QString Events() const { return zt::ReadAll(dir.File("events.log")); }
    QStringList CallNames() const {
        QStringList out;
        for (const auto& c : calls) out << c.what;
        return out;
    }

    zt::TScratchDir dir;
    zt::TRecordingChannel channel;
    TFixedClock clock{QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9, 123))};
    TEventLog log{&channel, &clock};
    TIniFile ini{dir.File("app.ini")};
    TChannelSet channels;
    TLogStore store{channels, &log};
    TSpool spool{dir.File("app.spool")};
    TRecordSettings settings;
    std::unique_ptr<TRecordHandler> handler;
    TRxTxBuffer rx{false};
    int acks = 0;
    std::function<void()> onAck;
    int gunneboFailures = 0;
    QVector<TExportCall> calls;
    QStringList errors, shownNames;
};

TEST_F(RecordHandlerTest, RecordBecomesALineInTheFileWithChecksumAndExports) {
    Start();
    Record(kRecord);
    EXPECT_EQ(zt::ReadAll(LogFile()), "14,31,03,2011,   12,    0,    5\r\n");
    EXPECT_EQ(ini.ReadInteger("SETUP", "CHKS", -1), 1312);
    EXPECT_EQ(acks, 1);
    ASSERT_EQ(CallNames(), QStringList({"kvik:14,31,03,2011,   12,    0,    5", "icc", "gunnebo"}));
    EXPECT_EQ(calls[1].values, QVector<int>({14, 31, 3, 2011, 12, 0, 5}));
    EXPECT_EQ(calls[2].values, QVector<int>({0, 14, 31, 3, 2011, 12, 0, 5}));
    EXPECT_EQ(shownNames, QStringList({LogFile()}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(RecordHandlerTest, LayoutsAndRecordTypes) {
    const struct {
        int layout;
        uint8_t type;
        const char* payload;
        const char* line;
    } cases[] = {
        {0, 16, kRecord, "14,31,03,2011,   12,    0,    5"},
        {1, 16, kRecord, "00,14,31,03,2011,   12,    0,    5"},
        {1, 38, "00000710" "1F03DB0703" "0C0000000500", "07,16,31,03,2011,   12,    0,    5"},
        // Another subtype: a LogRecord after the subtype byte, minute 0.
        {1, 38, "01" "0E1F03DB07" "0C0000000500", "00,14,31,03,2011,   12,    0,    5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        QFile::remove(LogFile());
        settings.LogLineFormat = c.layout;
        Start();
        Receive(c.type, Hex(c.payload));
        EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({c.line}));
    }
}

TEST_F(RecordHandlerTest, SumFields) {
    zt::WriteAll(LogFile(), "10,02,03,2011,   10,   10,    0\r\n11,02,03,2011,   20,    0,    0\r\n"
                            "12,03,03,2011,    9,    9,    9\r\n");
    settings.AddSumLog = true;
    settings.AddSumDay = true;
    Start();
    Record("0D0203DB070C0000000500");   // 13:00 2 March, 12 + 0 + 5
    EXPECT_EQ(zt::ReadLines(LogFile()).last(), "13,02,03,2011,   12,    0,    5,   17,   57");
}

TEST_F(RecordHandlerTest, InactiveWindow) {
    settings.LogLineFormat = 1;
    settings.InactiveTimeEnable = true;
    settings.InactiveStartTime = EncodeTime(0, 0, 0);
    settings.InactiveStopTime = EncodeTime(6, 0, 0);
    Start();
    ExtRecord(0, 6, 31, 3, 2011, {1, 2, 3});
    ExtRecord(1, 6, 31, 3, 2011, {1, 2, 3});
    // No time of day: outside the window, rejected as bad data, and the next frame goes on.
    ExtRecord(0, 24, 31, 3, 2011, {1, 2, 3});
    ExtRecord(60, 5, 31, 3, 2011, {1, 2, 3});
    ExtRecord(2, 6, 31, 3, 2011, {4, 5, 6});
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"00,06,31,03,2011,    0,    0,    0",
                                                     "01,06,31,03,2011,    1,    2,    3",
                                                     "02,06,31,03,2011,    4,    5,    6"}));
    EXPECT_TRUE(Events().contains("Bad log data (00,24,31,03,2011,    1,    2,    3)"));
    EXPECT_TRUE(Events().contains("Bad log data (60,05,31,03,2011,    1,    2,    3)"));
    EXPECT_EQ(acks, 5);

    // A window across midnight never matches.
    QFile::remove(LogFile());
    settings.InactiveStartTime = EncodeTime(22, 0, 0);
    Start();
    ExtRecord(30, 23, 31, 3, 2011, {1, 2, 3});
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"30,23,31,03,2011,    1,    2,    3"}));
}

TEST_F(RecordHandlerTest, InvalidCountIsNotStoredButExported) {
    Start();
    Record("0E1F03DB07FFFF00000500");
    EXPECT_FALSE(QFile::exists(LogFile()));
    EXPECT_EQ(store.LineCount(), 0);
    EXPECT_TRUE(Events().contains("Message - Bad log data (14,31,03,2011,   -1,    0,    5)"));
    EXPECT_EQ(CallNames(), QStringList({"kvik:14,31,03,2011,   -1,    0,    5", "icc", "gunnebo"}));
    EXPECT_EQ(acks, 1);
}

TEST_F(RecordHandlerTest, LayoutTwoStoresNothing) {
    settings.LogLineFormat = 2;
    Start();
    Record(kRecord);
    EXPECT_EQ(store.LineCount(), 0);
    EXPECT_TRUE(Events().contains("Bad log data (00,14,31,03,2011,"));
}

TEST_F(RecordHandlerTest, DuplicatesAreFiltered) {
    settings.FilterDuplicates = true;
    Start();
    Record(kRecord);
    calls.clear();
    Record(kRecord);
    EXPECT_EQ(zt::ReadLines(LogFile()).size(), 1);
    EXPECT_TRUE(Events().contains("Warning - Logdata filtered"));
    EXPECT_EQ(CallNames(), QStringList({"duplicate"}));
    EXPECT_EQ(acks, 2);

    // In layout 0 stored lines read back with minute 0, so a minute 7 record is new.
    ExtRecord(7, 14, 31, 3, 2011, {1, 1, 1});
    EXPECT_EQ(zt::ReadLines(LogFile()).size(), 2);
}

TEST_F(RecordHandlerTest, MonthRolloverSwitchesFileAndStore) {
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(23, 30)));
    Start();
    Record(kRecord);
    clock.Set(QDateTime(QDate(2011, 4, 1), QTime(0, 10)));
    Record("171F03DB07010002000300");   // late record of 31 March goes to the April file
    EXPECT_EQ(zt::ReadLines(LogFile()).size(), 1);
    EXPECT_EQ(zt::ReadLines(LogFile("2011-04")), QStringList({"23,31,03,2011,    1,    2,    3"}));
    EXPECT_EQ(store.LineCount(), 1);
    EXPECT_EQ(handler->CurrentLogFileName(), LogFile("2011-04"));
    EXPECT_EQ(shownNames.last(), LogFile("2011-04"));
    EXPECT_TRUE(Events().contains("Old file name: " + LogFile()));
    EXPECT_TRUE(Events().contains("New file name: " + LogFile("2011-04")));
    EXPECT_FALSE(Events().contains("checksum"));

    // Clock set back: the March file is loaded again; CHKS belonged to April.
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(23, 50)));
    Record("171F03DB07010002000400");
    EXPECT_TRUE(Events().contains("Error - Error on log data checksum"));
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"14,31,03,2011,   12,    0,    5",
                                                     "23,31,03,2011,    1,    2,    4"}));
}

TEST_F(RecordHandlerTest, NowCodeGivesOneLinePerFile) {
    settings.LogFileCode = "NOW";
    Start();
    Record(kRecord);
    clock.AdvanceMs(1);
    Record(kRecord);
    EXPECT_EQ(store.LineCount(), 1);
    EXPECT_EQ(zt::ReadLines(handler->CurrentLogFileName()).size(), 1);
}

TEST_F(RecordHandlerTest, ChecksumAtStart) {
    // Lines written by the program with the matching CHKS: no entry at all.
    zt::WriteAll(LogFile(), "14,31,03,2011,   12,    0,    5\r\n");
    ini.WriteInteger("SETUP", "CHKS", 1312);
    Start();
    EXPECT_FALSE(Events().contains("checksum"));
    EXPECT_FALSE(CallNames().contains("checksum"));

    // A line of text inserted: checksum error, the line removed from the store,
    // and gone from the file after the next record.
    zt::WriteAll(LogFile(), "14,31,03,2011,   12,    0,    5\r\nhello\r\nworld\r\n15,31,03,2011,    1,    1,    1\r\n");
    Start();
    EXPECT_TRUE(Events().contains("Error - Error on log data checksum"));
    EXPECT_TRUE(Events().contains("Bad logdata removed (hello)"));
    EXPECT_TRUE(Events().contains("Bad logdata removed (world)"));
    EXPECT_EQ(CallNames(), QStringList({"checksum"}));
    EXPECT_EQ(store.LineCount(), 2);
    EXPECT_EQ(zt::ReadLines(LogFile()).size(), 4);   // not rewritten by the check
    Record("101F03DB07010002000300");
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"14,31,03,2011,   12,    0,    5",
                                                     "15,31,03,2011,    1,    1,    1",
                                                     "16,31,03,2011,    1,    2,    3"}));
}

TEST_F(RecordHandlerTest, EmptyOrMissingFileGivesNoChecksumEntry) {
    ini.WriteInteger("SETUP", "CHKS", 4711);
    Start();
    zt::WriteAll(LogFile(), "");
    Start();
    EXPECT_FALSE(Events().contains("checksum"));
}

TEST_F(RecordHandlerTest, Watchdog) {
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(10, 20)));
    Start();
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(11, 5, 1)));
    handler->CheckLogDataWatchdog();
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(12, 5, 1)));
    handler->CheckLogDataWatchdog();
    EXPECT_FALSE(handler->NoLogDataFlag);
    EXPECT_FALSE(Events().contains("Did not receive log data"));
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(12, 30)));
    handler->CheckLogDataWatchdog();   // checked this hour already
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(13, 5, 1)));
    handler->CheckLogDataWatchdog();
    EXPECT_TRUE(handler->NoLogDataFlag);
    EXPECT_TRUE(Events().contains("Warning - Did not receive log data"));
    EXPECT_EQ(CallNames(), QStringList({"nologdata"}));

    // A record resets the silence.
    Record(kRecord);
    calls.clear();
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(14, 5, 1)));
    handler->CheckLogDataWatchdog();
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(RecordHandlerTest, ShortPayloadIsRejectedAndAcknowledged) {
    Start();
    Record("0E1F03DB070C000000");   // two counts where three are configured
    Record(kRecord);                // the next frame is handled normally
    EXPECT_TRUE(Events().contains("Bad log data (0E 1F 03 DB 07 0C 00 00 00)"));
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"14,31,03,2011,   12,    0,    5"}));
    EXPECT_EQ(CallNames().size(), 3);   // only the full record was exported
    EXPECT_EQ(acks, 2);
    Receive(38, Hex("00"));             // only the subtype
    EXPECT_EQ(acks, 3);
    EXPECT_EQ(store.LineCount(), 1);
}

TEST_F(RecordHandlerTest, ExportFailureIsNotAcknowledgedAndTheRepeatIsNotStoredTwice) {
    Start();
    gunneboFailures = 2;
    Record(kRecord);
    EXPECT_EQ(acks, 0);
    EXPECT_EQ(errors, QStringList({"Cannot write xml file"}));
    const QDateTime before = handler->LastLogDataTime;
    clock.AdvanceMs(60000);
    Record(kRecord);   // the counter repeats it; the export fails again
    EXPECT_EQ(acks, 0);
    EXPECT_EQ(handler->LastLogDataTime, before);
    Record(kRecord);
    EXPECT_EQ(acks, 1);
    EXPECT_EQ(zt::ReadLines(LogFile()).size(), 1);
    EXPECT_EQ(CallNames(), QStringList({"kvik:14,31,03,2011,   12,    0,    5", "icc", "gunnebo"}));

    // Afterwards the same time stamp is a new record again (duplicate filtering is off).
    Record(kRecord);
    EXPECT_EQ(zt::ReadLines(LogFile()).size(), 2);
}

TEST_F(RecordHandlerTest, TestDataOnlyUnderADebugger) {
    settings.TestData = true;
    Start();
    zt::WriteAll(dir.File("status"), "Name:\tzentrellapp\nTracerPid:\t0\n");
    handler->SetProcStatusPath(dir.File("status"));
    EXPECT_FALSE(handler->RunsUnderDebugger());
    Record("0E1F03DB07E8030000E803");   // counts 1000, 0, 1000
    zt::WriteAll(dir.File("status"), "Name:\tzentrellapp\nTracerPid:\t4711\n");
    EXPECT_TRUE(handler->RunsUnderDebugger());
    Record("0F1F03DB07E8030000E803");
    const QStringList lines = zt::ReadLines(LogFile());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "14,31,03,2011, 1000,    0, 1000");
    TLogRecordTime t;
    QVector<int> counts;
    store.ParseLine(lines[1], t, counts);
    EXPECT_EQ(t.hour, 15);
    for (int c : counts) EXPECT_LE(c, 9);
}

TEST_F(RecordHandlerTest, ChecksumIsWrittenAfterTheAck) {
    Start();
    int chksAtAck = -1;
    onAck = [&] { chksAtAck = ini.ReadInteger("SETUP", "CHKS", -1); };
    Record(kRecord);
    EXPECT_EQ(chksAtAck, -1);   // nothing of the settings file on the way to the Ack
    EXPECT_EQ(ini.ReadInteger("SETUP", "CHKS", -1), 1312);
}

TEST_F(RecordHandlerTest, ChecksumThatLagsOneLineBehindIsNoError) {
    // Killed after the last line reached the file and before its CHKS was written.
    zt::WriteAll(LogFile(), "14,31,03,2011,   12,    0,    5\r\n15,31,03,2011,    1,    1,    1\r\n");
    ini.WriteInteger("SETUP", "CHKS", 1312);
    Start();
    handler->FlushChecksum();
    EXPECT_FALSE(Events().contains("checksum"));
    EXPECT_FALSE(CallNames().contains("checksum"));
    EXPECT_EQ(ini.ReadInteger("SETUP", "CHKS", -1), store.CharCodeSum());

    // Two lines behind is a real change.
    zt::WriteAll(LogFile(), "14,31,03,2011,   12,    0,    5\r\n15,31,03,2011,    1,    1,    1\r\n"
                            "16,31,03,2011,    1,    1,    1\r\n");
    ini.WriteInteger("SETUP", "CHKS", 1312);
    Start();
    EXPECT_TRUE(Events().contains("Error on log data checksum"));
}

TEST_F(RecordHandlerTest, ChangedLayoutRemovesBadLinesInOnePassAndKeepsTheFileBeside) {
    QByteArray month;
    for (int d = 1; d <= 30; ++d)
        for (int h = 0; h < 24; ++h) month += QString::asprintf("%02d,%02d,03,2011,    1,    2,    3\r\n", h, d).toLatin1();
    zt::WriteAll(LogFile(), month);
    int deletions = 0;
    store.OnChanged = [&](TStoreChange c, int) { deletions += c == TStoreChange::Deleted; };
    settings.LogLineFormat = 1;   // every stored line is now invalid
    Start();
    EXPECT_EQ(store.LineCount(), 0);
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(Events().count("Bad logdata removed ("), 720);
    ExtRecord(7, 14, 31, 3, 2011, {1, 2, 3});
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"07,14,31,03,2011,    1,    2,    3"}));
    const QString backup = LogFile() + ".bad-20110331-140509";
    EXPECT_EQ(zt::ReadAll(backup).toLatin1(), month);
    EXPECT_TRUE(Events().contains("kept as " + backup));
    // Only the first save after the load keeps a copy.
    ExtRecord(8, 14, 31, 3, 2011, {1, 2, 3});
    EXPECT_EQ(QDir(dir.Path()).entryList({"*.bad-*"}).size(), 1);
}

TEST_F(RecordHandlerTest, FileThatCannotBeReadIsNeverSavedOver) {
    // Something that exists at the name but cannot be read as a file (a folder
    // stands in for a network share that hiccups: root reads every plain file).
    QDir().mkpath(LogFile());
    Start();
    EXPECT_TRUE(handler->LoadPending());
    Record(kRecord);
    EXPECT_EQ(acks, 1);   // the line is safe in the spool
    EXPECT_TRUE(QFileInfo(LogFile()).isDir());
    EXPECT_TRUE(Events().contains("Error - Could not save logdata"));
    EXPECT_EQ(spool.Read().size(), 1);

    // The file can be read again: its lines come first, then the new ones.
    QDir().rmdir(LogFile());
    zt::WriteAll(LogFile(), "10,31,03,2011,    1,    1,    1\r\n11,31,03,2011,    2,    2,    2\r\n");
    Record("0F1F03DB07010002000300");
    EXPECT_EQ(zt::ReadLines(LogFile()), QStringList({"10,31,03,2011,    1,    1,    1",
                                                     "11,31,03,2011,    2,    2,    2",
                                                     "14,31,03,2011,   12,    0,    5",
                                                     "15,31,03,2011,    1,    2,    3"}));
    EXPECT_TRUE(spool.Empty());
    EXPECT_FALSE(handler->LoadPending());
}

TEST_F(RecordHandlerTest, AcknowledgedRecordsSurviveAMissingFolderAndARestart) {
    settings.LogFilePath = dir.File("gone");
    Start();
    Record(kRecord);
    Record("0F1F03DB07010002000300");
    EXPECT_EQ(acks, 2);
    EXPECT_EQ(spool.Read().size(), 2);

    // The program is restarted once the folder is back: the lines reach the file.
    handler.reset();
    store.Clear();
    QDir().mkpath(dir.File("gone"));
    Start();
    const QString file = dir.File("gone/LOG2011-03.LOG");
    EXPECT_EQ(zt::ReadLines(file), QStringList({"14,31,03,2011,   12,    0,    5", "15,31,03,2011,    1,    2,    3"}));
    EXPECT_EQ(store.LineCount(), 2);
    EXPECT_TRUE(spool.Empty());
    EXPECT_TRUE(Events().contains("Spooled logdata written to " + file));
}

TEST_F(RecordHandlerTest, SpoolFromAnEarlierMonthIsMergedIntoItsOwnFile) {
    settings.LogFilePath = dir.File("gone");
    clock.Set(QDateTime(QDate(2011, 3, 31), QTime(23, 30)));
    Start();
    Record(kRecord);
    QDir().mkpath(dir.File("gone"));
    clock.Set(QDateTime(QDate(2011, 4, 1), QTime(0, 10)));
    Record("000104DB07010002000300");   // 00:00 1 April
    EXPECT_EQ(zt::ReadLines(dir.File("gone/LOG2011-03.LOG")), QStringList({"14,31,03,2011,   12,    0,    5"}));
    EXPECT_EQ(zt::ReadLines(dir.File("gone/LOG2011-04.LOG")).size(), 1);
    EXPECT_TRUE(spool.Empty());
}

TEST_F(RecordHandlerTest, RecordIsNotAcknowledgedWhenNeitherFileNorSpoolTakeIt) {
    settings.LogFilePath = dir.File("gone");
    Start();
    TSpool nowhere(dir.File("no/such/folder/app.spool"));
    handler = std::make_unique<TRecordHandler>(log, ini, store, nowhere, clock, settings);
    handler->SendAck = [this] { ++acks; };
    handler->StartLogFile();
    calls.clear();
    Record(kRecord);
    Record(kRecord);
    EXPECT_EQ(acks, 0);
    EXPECT_EQ(store.LineCount(), 0);   // the counter's repeat is not a second copy
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(Events().count("the record is not acknowledged"), 1);
}

} // namespace
