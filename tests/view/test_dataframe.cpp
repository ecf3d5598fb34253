#include <gtest/gtest.h>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include "config/Clock.h"
#include "support/TestSupport.h"
#include "view/DataFrame.h"
#include "view/ShowLogFile.h"

using namespace za;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

QStringList MemoLines(const TDataFrame& f) {
    const QString text = f.LogData()->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList StoreLines(const TDataFrame& f) {
    QStringList out;
    for (int i = 0; i < f.LineCount(); ++i) out << f.GetLine(i);
    return out;
}

class DataFrameTest : public ::testing::Test {
protected:
    zt::TScratchDir dir;
    TChannelSet channels;
    TFixedClock clock;
};

TEST_F(DataFrameTest, TextViewFollowsEveryChange) {
    TDataFrame frame(nullptr, channels, nullptr, &clock);
    EXPECT_EQ(frame.Tabs()->count(), 2);
    EXPECT_EQ(frame.Tabs()->tabText(0), "View as Text");
    EXPECT_EQ(frame.Tabs()->tabText(1), "View as Graph");
    EXPECT_EQ(frame.Tabs()->currentIndex(), 0);
    EXPECT_TRUE(frame.LogData()->isReadOnly());
    int graphUpdates = 0;
    frame.OnUpdateGraph = [&] { ++graphUpdates; };

    for (const char* l : {"a", "b", "c", "d"}) {
        frame.AddLine(l);
        frame.FlushRefresh();
    }
    EXPECT_EQ(MemoLines(frame), StoreLines(frame));
    // First, middle, last and only line removed.
    for (int i : {0, 1, 1, 0}) {
        frame.DeleteLine(i);
        frame.FlushRefresh();
        EXPECT_EQ(MemoLines(frame), StoreLines(frame));
    }
    EXPECT_EQ(frame.LineCount(), 0);
    frame.AddLine("x");
    frame.FlushRefresh();
    frame.Clear();
    frame.FlushRefresh();
    EXPECT_EQ(MemoLines(frame), QStringList());
    EXPECT_EQ(graphUpdates, 10);
    EXPECT_EQ(frame.PeriodTable().periodCount, 1);   // empty store: today's week

    zt::WriteAll(dir.File("f.log"), "14,02,03,2011,    1,    2,    3\r\n09,05,03,2011,    1,    2,    3\r\n");
    QDateTime start, end;
    frame.OnFileRange = [&](const QDateTime& s, const QDateTime& e) { start = s, end = e; };
    ASSERT_TRUE(frame.LoadFromFile(dir.File("f.log")));
    frame.FlushRefresh();
    EXPECT_EQ(MemoLines(frame), StoreLines(frame));
    EXPECT_EQ(start, QDateTime(QDate(2011, 3, 2), QTime(0, 0)));
    EXPECT_EQ(end, QDateTime(QDate(2011, 3, 5), QTime(23, 59, 59)));

    // Only the time stamps decide the range; a damaged count does not.
    zt::WriteAll(dir.File("g.log"), "14,02,03,2011,    x\r\n09,05,03,2011,    1,    2,    3\r\n");
    ASSERT_TRUE(frame.LoadFromFile(dir.File("g.log")));
    frame.FlushRefresh();
    EXPECT_EQ(start, QDateTime(QDate(2011, 3, 2), QTime(0, 0)));

    zt::WriteAll(dir.File("empty.log"), "");
    ASSERT_TRUE(frame.LoadFromFile(dir.File("empty.log")));
    frame.FlushRefresh();
    EXPECT_EQ(start, clock.Now());
    EXPECT_EQ(end, clock.Now());
}

// A shown store changes inside the record path; the view catches up from the
// event loop, once for a whole burst, so the counter's Ack never waits for it.
TEST_F(DataFrameTest, ViewCatchesUpFromTheEventLoopOncePerBurst) {
    TLogStore store(channels);
    TDataFrame frame(nullptr, store, nullptr, &clock);
    int graphUpdates = 0;
    frame.OnUpdateGraph = [&] { ++graphUpdates; };
    for (int h = 0; h < 24; ++h) store.AddLine(QString::asprintf("%02d,02,03,2011,    1,    2,    3", h));
    EXPECT_EQ(graphUpdates, 0);
    EXPECT_TRUE(MemoLines(frame).isEmpty());
    ASSERT_TRUE(zt::WaitUntil([&] { return graphUpdates > 0; }, 2000));
    EXPECT_EQ(graphUpdates, 1);
    EXPECT_EQ(MemoLines(frame).size(), 24);
    EXPECT_EQ(MemoLines(frame).last(), "23,02,03,2011,    1,    2,    3");
}

TEST_F(DataFrameTest, LineCountOnlyWhenAsked) {
    TDataFrame frame(nullptr, channels, nullptr, &clock);
    QLabel panel;
    frame.SetStatusPanel(&panel);
    frame.AddLine("a");
    frame.FlushRefresh();
    EXPECT_EQ(panel.text(), "");
    frame.SetStatusPanel(&panel, true);
    frame.AddLine("b");
    frame.FlushRefresh();
    EXPECT_EQ(panel.text(), "Ln: 2");
}

TEST_F(DataFrameTest, TestDataIsOneYearOfHours) {
    TDataFrame frame(nullptr, channels, nullptr, &clock, true);
    frame.AddLine("old");
    frame.FlushRefresh();
    int graphUpdates = 0;
    frame.OnUpdateGraph = [&] { ++graphUpdates; };
    frame.Button7()->click();
    frame.FlushRefresh();
    EXPECT_EQ(graphUpdates, 1);   // from the Clear only: test data waits for "&Update graph"
    ASSERT_EQ(frame.LineCount(), 8760);
    EXPECT_EQ(frame.LogData()->document()->blockCount(), 8760);
    EXPECT_EQ(frame.GetLine(0), "00,01,01,2011,    0,    0,    0");
    EXPECT_EQ(frame.GetLine(8759), "23,31,12,2011,    0,    0,    0");
    for (int i = 0; i < frame.LineCount(); ++i) {
        TLogRecordTime t;
        QVector<int> counts;
        frame.Store().ParseLine(frame.GetLine(i), t, counts);
        ASSERT_TRUE(frame.Store().IsValidLine(frame.GetLine(i))) << i;
        for (int c : counts) {
            ASSERT_LE(c, 49);
            if (t.hour < 10 || t.hour > 20) ASSERT_EQ(c, 0) << i;
        }
    }
    EXPECT_GT(frame.DaySum(2011, 6, 15), 0);
}

TEST_F(DataFrameTest, Viewer) {
    TShowLogFile viewer(nullptr, channels, nullptr, &clock);
    EXPECT_EQ(viewer.windowTitle(), "Show log file");
    EXPECT_EQ(viewer.size(), QSize(952, 656));
    EXPECT_EQ(viewer.DataFrame1()->objectName(), "DataFrame1");
    zt::WriteAll(dir.File("f.LOG"), "a\r\nb\r\n");
    viewer.ShowLogFileFromPath(dir.File("f.LOG"));
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_EQ(viewer.DataFrame1()->LineCount(), 2);
    EXPECT_EQ(OpenLogFileFilter("LOG"), "Log Files (*.LOG);;All Files (*)");
    EXPECT_EQ(OpenLogFileFilter(".LOG"), "Log Files (*.LOG);;All Files (*)");
}

} // namespace
