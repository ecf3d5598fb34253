#include <gtest/gtest.h>
#include <QDir>
#include "config/Clock.h"
#include "logdata/EventLog.h"
#include "support/TestSupport.h"
#include "logdata/LogStore.h"

using namespace za;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

class LogStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        log.SetFileName(dir.File("events.log"));
    }
    zt::TScratchDir dir;
    zt::TRecordingChannel channel;
    TFixedClock clock;
    TEventLog log{&channel, &clock};
    TChannelSet channels;
    TLogStore store{channels, &log};
};

struct TLineCase {
    int layout;
    const char* line;
    bool valid;
    int daySum;      // DaySum(2011, 3, 31) over a store holding only this line
    int minute;      // HasRecord(minute, hour, 31, 3, 2011) is true; -1: no time stamp reads back
    int hour;
};

// The fast scans (DaySum, HasRecord) must agree with ParseLine and IsValidLine.
TEST_F(LogStoreTest, LineReadingRules) {
    const TLineCase cases[] = {
        {0, "07,31,03,2011,   12,    3", true, 15, 0, 7},        // missing third count reads 0
        {0, "07,31,03,2011,   12,    x,    5", false, 0, 0, 7},  // the time stamp still reads
        {0, "07,31,03", false, 0, -1, 0},                         // empty year
        {0, "07,31,03,2011,    1,    2,    3,   99,  999", true, 6, 0, 7},   // sum fields ignored
        {1, "45,07,31,03,2011,    1,    2,    3", true, 6, 45, 7},
        {2, "07,31,03,2011,    1,    2,    3", false, 0, -1, 0},
        {1, "60,07,31,03,2011,    1,    2,    3", false, 6, 60, 7},  // reads, out of range
        {0, "24,31,03,2011,    1,    2,    3", false, 6, 0, 24},
        {0, "07,31,03,2011,100000,    2,    3", false, 100005, 0, 7},
        {0, "07,31,03,2011,   -1,    2,    3", false, 4, 0, 7},
        {0, "07,31,03,2011 ,    1,    2,    3", false, 0, -1, 0},   // trailing space
        {0, "07,31,03,+2011,    1,,    3", true, 4, 0, 7},
        {0, "07,31,03,99999999999,    1,    2,    3", false, 0, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        channels.SetLogLineFormat(c.layout);
        store.Clear();
        store.AddLine(c.line);
        EXPECT_EQ(store.IsValidLine(c.line), c.valid);
        EXPECT_EQ(IsValidLine(c.layout, 3, c.line), c.valid);
        TLogRecordTime t;
        QVector<int> counts;
        store.ParseLine(c.line, t, counts);
        int sum = 0;
        for (int v : counts) sum += v;
        EXPECT_EQ(store.DaySum(2011, 3, 31), sum);
        EXPECT_EQ(store.DaySum(2011, 3, 31), c.daySum);
        if (c.minute >= 0) {
            EXPECT_TRUE(store.HasRecord(c.minute, c.hour, 31, 3, 2011));
            EXPECT_FALSE(store.HasRecord(c.minute + 1, c.hour, 31, 3, 2011));
        } else {
            EXPECT_FALSE(store.HasRecord(0, 7, 31, 3, 2011));
            EXPECT_FALSE(store.HasRecord(0, 0, 0, 0, 0));
        }
    }
}

TEST_F(LogStoreTest, DaySumAddsOnlyThatDate) {
    for (const char* l : {"10,02,03,2011,   10,   10,    0", "11,02,03,2011,   20,    0,    0",
                          "11,03,03,2011,    5,    0,    0", "11,02,04,2011,    5,    0,    0", "garbage"})
        store.AddLine(l);
    EXPECT_EQ(store.DaySum(2011, 3, 2), 40);
    EXPECT_EQ(store.DaySum(2011, 3, 4), 0);
}

TEST_F(LogStoreTest, CharCodeSum) {
    store.AddLine("abc");
    EXPECT_EQ(store.CharCodeSum(), 294);
    store.Clear();
    store.AddLine("14,31,03,2011,   12,    0,    5");
    EXPECT_EQ(store.CharCodeSum(), 1312);
}

TEST_F(LogStoreTest, LoadSplitsEveryKindOfLineEnd) {
    const struct {
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        zt::WriteAll(dir.File("l.log"), c.bytes);
        ASSERT_TRUE(store.LoadFromFile(dir.File("l.log")));
        QStringList got;
        for (int i = 0; i < store.LineCount(); ++i) got << store.GetLine(i);
        EXPECT_EQ(got, c.lines) << c.bytes.toStdString();
    }
}

TEST_F(LogStoreTest, LoadOfMissingFileChangesNothing) {
    store.AddLine("keep");
    EXPECT_FALSE(store.LoadFromFile(dir.File("missing.log")));
    EXPECT_EQ(store.LineCount(), 1);
}

TEST_F(LogStoreTest, SaveReplacesTheFileAndLeavesNoTemporaryFiles) {
    const QString name = dir.File("LOG2011-03.LOG");
    zt::WriteAll(name, "old content that is longer than the new one\r\n\r\n\r\n");
    store.AddLine("14,31,03,2011,   12,    0,    5");
    store.AddLine("15,31,03,2011,    1,    2,    3");
    ASSERT_TRUE(store.SaveToFile(name));
    EXPECT_EQ(zt::ReadAll(name), "14,31,03,2011,   12,    0,    5\r\n15,31,03,2011,    1,    2,    3\r\n");
    for (int i = 0; i < 20; ++i) store.SaveToFile(name);
    QStringList files = QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden);
    files.sort();
    EXPECT_EQ(files, QStringList({"LOG2011-03.LOG", "events.log"}));
    EXPECT_FALSE(store.Saving());
}

TEST_F(LogStoreTest, FailedSaveKeepsLinesAndTheNextSaveRestoresAll) {
    const QString name = dir.File("sub/LOG.LOG");
    store.AddLine("14,31,03,2011,   12,    0,    5");
    EXPECT_FALSE(store.SaveToFile(name));
    EXPECT_TRUE(zt::ReadAll(dir.File("events.log")).contains("Error - Could not save logdata"));
    EXPECT_TRUE(channel.boxes.isEmpty());
    EXPECT_EQ(store.LineCount(), 1);

    ASSERT_TRUE(QDir(dir.Path()).mkdir("sub"));
    store.AddLine("15,31,03,2011,    1,    2,    3");
    ASSERT_TRUE(store.SaveToFile(name));
    EXPECT_EQ(zt::ReadLines(name), QStringList({"14,31,03,2011,   12,    0,    5", "15,31,03,2011,    1,    2,    3"}));
    EXPECT_FALSE(store.SaveToFile(""));
}

TEST_F(LogStoreTest, ChangesAreReported) {
    QVector<std::pair<TStoreChange, int>> seen;
    store.OnChanged = [&](TStoreChange c, int i) { seen.push_back({c, i}); };
    store.AddLine("a");
    store.AddLine("b");
    store.DeleteLine(0);
    store.DeleteLine(5);   // out of range: nothing
    store.Clear();
    const QVector<std::pair<TStoreChange, int>> want = {
        {TStoreChange::Added, 0}, {TStoreChange::Added, 1}, {TStoreChange::Deleted, 0}, {TStoreChange::Cleared, -1}};
    EXPECT_EQ(seen, want);
}

} // namespace
