// The data frame's graph tab: view options and their masks, visibility and
// recompute rules, drill-down by bar click, pictures, printing and the
// spreadsheet exports, on real widgets. Spreadsheets are read back by python
// xlrd / openpyxl.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <qcustomplot.h>
#include "config/Clock.h"
#include "support/TestSupport.h"
#include "view/ChartView.h"
#include "view/DataFrame.h"
#include "view/ShowLogFile.h"

using namespace za;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QDateTime& t, std::ostream* os) { *os << t.toString(Qt::ISODateWithMs).toStdString(); }
QT_END_NAMESPACE

namespace {

template <typename T>
T* Find(const QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_TRUE(c) << name;
    return c;
}

QListWidgetItem* Item(const TDataFrame& f, const char* list, int i) { return Find<QListWidget>(f, list)->item(i); }

void SetItem(const TDataFrame& f, const char* list, int i, bool checked) {
    Item(f, list, i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

// Channel series visibility, then Sum, Selected Sum 1, Selected Sum 2.
QVector<bool> Visible(const TDataFrame& f) {
    QVector<bool> out;
    for (int i = 0; i < f.Chart1()->SeriesCount(); ++i) out << f.Chart1()->SeriesVisible(i);
    return out;
}


class GraphViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        channels.SetChannels({"Counter 1", "Counter 2", "Counter 3"}, {});
        channels.SetLogLineFormat(0);
    }

    // A frame whose save dialogs answer with a file in the scratch folder.
    std::unique_ptr<TDataFrame> Frame(bool viewer = false) {
        auto f = std::make_unique<TDataFrame>(nullptr, channels, &log, &clock, viewer);
        f->AskSaveFileName = [this](const QString& caption, const QString& filter, const QString& suffix) {
            asked << caption + "|" + filter + "|" + suffix;
            return answer;
        };
        return f;
    }
    void Count(TDataFrame& f) {
        f.OnUpdateGraph = [this] { ++updates; };
    }

    zt::TScratchDir dir;
    TChannelSet channels;
    TFixedClock clock;   // Thursday 31 March 2011
    zt::TRecordingChannel channel;
    TEventLog log{&channel, &clock};
    QStringList asked;
    QString answer;
    int updates = 0;
};

TEST_F(GraphViewTest, RangeAndPeriodOptions) {
    auto f = Frame();
    EXPECT_EQ(f->DataToShow(), 0);
    EXPECT_EQ(f->ShowPer(), 0);
    for (int v : {1, 2, 3, 4, 0}) {
        f->SetDataToShow(v);
        EXPECT_EQ(f->DataToShow(), v);
    }
    for (int v : {2, 1, 0}) {
        f->SetShowPer(v);
        EXPECT_EQ(f->ShowPer(), v);
    }
    f->SetDataToShow(3);
    f->SetShowPer(2);
    for (int bad : {-1, 5, 99}) {
        f->SetDataToShow(bad);
        f->SetShowPer(bad == 5 ? 3 : bad);
        EXPECT_EQ(f->DataToShow(), 3);
        EXPECT_EQ(f->ShowPer(), 2);
    }

    const TDateTime day = EncodeDate(2011, 3, 9);
    f->SetStart(day);
    f->SetEnd(day + 3);
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomStart")->dateTime(), QDateTime(QDate(2011, 3, 9), QTime(0, 0)));
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomEnd")->dateTime(), QDateTime(QDate(2011, 3, 12), QTime(0, 0)));
    EXPECT_EQ(f->Start(), day);
    EXPECT_EQ(f->End(), day + 3);
    // Read back to the nearest whole day: noon already counts as the next day.
    struct {
        QTime time;
        TDateTime expected;
    } const rounding[] = {{QTime(11, 59, 59, 999), day}, {QTime(12, 0), day + 1}, {QTime(23, 59, 59, 999), day + 1}};
    for (const auto& r : rounding) {
        Find<QDateEdit>(*f, "dtpCustomStart")->setDateTime(QDateTime(QDate(2011, 3, 9), r.time));
        EXPECT_EQ(f->Start(), r.expected) << r.time.toString().toStdString();
    }
}

TEST_F(GraphViewTest, CounterMasks) {
    auto f = Frame();
    // N = 3: bit 3 is the total.
    f->SetShowCounter(8);
    EXPECT_EQ(Find<QListWidget>(*f, "clbVisCounter")->count(), 3);
    EXPECT_EQ(Visible(*f), (QVector<bool>{false, false, false, true, false, false}));
    EXPECT_EQ(f->ShowCounter(), 8);
    f->SetShowCounter(5);
    EXPECT_EQ(Visible(*f), (QVector<bool>{true, false, true, false, false, false}));
    EXPECT_EQ(f->ShowCounter(), 5);

    Count(*f);
    f->SetSelSumEnable1(0b1010);     // channel 2, shown
    f->SetSelSumEnable2(0b0011);     // channels 1 and 2, hidden
    EXPECT_EQ(f->SelSumEnable1(), 0b1010);
    EXPECT_EQ(f->SelSumEnable2(), 0b0011);
    EXPECT_TRUE(Find<QCheckBox>(*f, "cbSelSum1")->isChecked());
    EXPECT_EQ(Visible(*f), (QVector<bool>{true, false, true, false, true, false}));
    EXPECT_EQ(updates, 1);           // the Show box that became checked

    // The same SHOWCOUNTER with N = 4 means channel 4 only.
    channels.SetChannels({"A", "B", "C", "D"}, {});
    auto g = Frame();
    g->SetShowCounter(8);
    EXPECT_EQ(Visible(*g), (QVector<bool>{false, false, false, true, false, false, false}));
    EXPECT_EQ(g->ShowCounter(), 8);
    EXPECT_EQ(g->Chart1()->SeriesTitle(4), "Sum");
}

TEST_F(GraphViewTest, RenamedChannelKeepsColourAndChecks) {
    channels.SetChannels({"A", "B", "C"}, {0, 0x0000FF, 0});
    auto f = Frame();
    f->SetShowCounter(0b1101);
    const QColor red = f->Chart1()->SeriesColor(1);
    EXPECT_EQ(red, QColor(255, 0, 0));
    channels.SetChannels({"A", "Door 2", "C"}, {0, 0x0000FF, 0});
    f->RefreshChannelNames();
    EXPECT_EQ(f->Chart1()->SeriesTitle(1), "Door 2");
    EXPECT_EQ(f->Chart1()->SeriesColor(1), red);
    for (const char* list : {"clbVisCounter", "clbSelSum1", "clbSelSum2"}) EXPECT_EQ(Item(*f, list, 1)->text(), "Door 2");
    EXPECT_EQ(f->ShowCounter(), 0b1101);

    // Fewer channels: the lists are made again, the sums still come last.
    channels.SetChannels({"A", "Door 2"}, {});
    f->UpdateGraph();
    EXPECT_EQ(Find<QListWidget>(*f, "clbSelSum2")->count(), 2);
    EXPECT_EQ(f->Chart1()->SeriesTitle(2), "Sum");
    EXPECT_EQ(Visible(*f), (QVector<bool>{true, true, true, false, false}));
    EXPECT_EQ(f->ShowCounter(), 0b111);
}

TEST_F(GraphViewTest, ClicksThatRecomputeAndClicksThatDoNot) {
    auto f = Frame();
    f->AddLine("10,31,03,2011,    1,    2,    4"), f->FlushRefresh();
    f->SetShowCounter(8);
    Count(*f);

    // Channel items and the total: visibility only.
    SetItem(*f, "clbVisCounter", 0, true);
    EXPECT_TRUE(f->Chart1()->SeriesVisible(0));
    SetItem(*f, "clbVisCounter", 0, false);
    EXPECT_FALSE(f->Chart1()->SeriesVisible(0));
    Find<QCheckBox>(*f, "cbSum")->click();
    EXPECT_FALSE(f->Chart1()->SeriesVisible(f->Chart1()->SumSeries()));
    // Range and period buttons wait for "Update graph".
    Find<QRadioButton>(*f, "rbThisYear")->click();
    Find<QRadioButton>(*f, "rbShowPerDay")->click();
    // A selected-sum item while its sum is hidden: nothing to recompute.
    SetItem(*f, "clbSelSum1", 2, false);
    EXPECT_EQ(updates, 0);

    const int s1 = f->Chart1()->SelSum1Series();
    Find<QCheckBox>(*f, "cbSelSum1")->click();
    EXPECT_EQ(updates, 1);
    EXPECT_TRUE(f->Chart1()->SeriesVisible(s1));
    // This year per day: 31 March is day 89.
    ASSERT_EQ(f->PeriodTable().periodCount, 365);
    EXPECT_EQ(f->Chart1()->PointValue(s1, 89), 3);
    SetItem(*f, "clbSelSum1", 2, true);
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(f->Chart1()->PointValue(s1, 89), 7);
    Find<QCheckBox>(*f, "cbSelSum1")->click();
    EXPECT_EQ(updates, 2);
    EXPECT_FALSE(f->Chart1()->SeriesVisible(s1));
    Find<QPushButton>(*f, "btOpdater")->click();
    EXPECT_EQ(updates, 3);
}

TEST_F(GraphViewTest, RecordsReachTheChartAtOnce) {
    auto f = Frame();
    f->SetShowPer(spDay);
    Count(*f);
    f->AddLine("10,30,03,2011,    1,    2,    3"), f->FlushRefresh();
    EXPECT_EQ(updates, 1);
    const int sum = f->Chart1()->SumSeries();
    ASSERT_EQ(sum, 3);
    ASSERT_EQ(f->Chart1()->PointCount(sum), 1);
    EXPECT_EQ(f->Chart1()->PointValue(sum, 0), 6);
    // The values are there at once; the drawing waits for the event loop, so
    // the record's Ack is not held up by it.
    f->Tabs()->setCurrentIndex(1);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    QApplication::processEvents();
    int replots = 0;
    QObject::connect(f->Chart1()->Plot(), &QCustomPlot::afterReplot, [&] { ++replots; });
    f->AddLine("11,30,03,2011,   10,   20,   30"), f->FlushRefresh();
    EXPECT_EQ(f->Chart1()->PointValue(sum, 0), 66);
    EXPECT_EQ(replots, 0);
    QApplication::processEvents();
    EXPECT_EQ(replots, 1);
    f->AddLine("00,31,03,2011,    5,    0,    0"), f->FlushRefresh();
    ASSERT_EQ(f->Chart1()->PointCount(sum), 2);
    EXPECT_EQ(f->Chart1()->PointValue(0, 1), 5);
    EXPECT_EQ(f->Chart1()->AxisLabel(1), "31");
    EXPECT_EQ(f->Chart1()->BottomAxisTitle(), "Date");
    EXPECT_EQ(f->Chart1()->Title(), DateToStr(EncodeDate(2011, 3, 30)) + " - " + DateToStr(EncodeDate(2011, 3, 31)));

    // A load sets the custom pickers to the file's range and refreshes.
    zt::WriteAll(dir.File("f.log"), "14,02,03,2011,    1,    2,    3\r\n09,05,03,2011,    1,    2,    3\r\n");
    ASSERT_TRUE(f->LoadFromFile(dir.File("f.log")));
    f->FlushRefresh();
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomStart")->dateTime(), QDateTime(QDate(2011, 3, 2), QTime(0, 0)));
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomEnd")->dateTime(), QDateTime(QDate(2011, 3, 5), QTime(23, 59, 59)));
    EXPECT_EQ(f->DataToShow(), dsAll);
    EXPECT_EQ(f->Chart1()->PointCount(sum), 4);
    EXPECT_EQ(f->Chart1()->PointValue(sum, 3), 6);
}

TEST_F(GraphViewTest, PickersOnlyForCustom) {
    auto f = Frame();
    auto enabled = [&] {
        QVector<bool> e;
        for (const char* n : {"dtpCustomStart", "dtpCustomEnd", "lblStart", "lblEnd"})
            e << Find<QWidget>(*f, n)->isEnabled();
        return e;
    };
    EXPECT_EQ(enabled(), QVector<bool>(4, false));
    f->SetDataToShow(dsCustom);
    EXPECT_EQ(enabled(), QVector<bool>(4, true));
    Find<QRadioButton>(*f, "rbThisWeek")->click();
    EXPECT_EQ(enabled(), QVector<bool>(4, false));
    Find<QRadioButton>(*f, "rbCustom")->click();
    EXPECT_EQ(enabled(), QVector<bool>(4, true));
    EXPECT_EQ(Find<QLabel>(*f, "lblStart")->buddy(), Find<QWidget>(*f, "dtpCustomStart"));
}

TEST_F(GraphViewTest, BarClickDrillsDown) {
    auto f = Frame();
    f->resize(1280, 800);
    f->Tabs()->setCurrentIndex(1);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    for (int d = 1; d <= 31; ++d) f->AddLine(QString::asprintf("12,%02d,03,2011,   10,   10,   10", d)), f->FlushRefresh();
    // All per week: weeks 9 to 13, from Monday 28 February.
    ASSERT_EQ(f->PeriodTable().periodCount, 5);
    Count(*f);
    QCustomPlot* plot = f->Chart1()->Plot();
    plot->replot(QCustomPlot::rpImmediateRefresh);
    auto* sumBars = qobject_cast<QCPBars*>(plot->plottable(f->Chart1()->SumSeries()));
    ASSERT_TRUE(sumBars);
    const QPointF top = sumBars->dataPixelPosition(1);
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, QPoint(int(top.x()), int(top.y()) + 10));

    EXPECT_TRUE(Find<QRadioButton>(*f, "rbCustom")->isChecked());
    EXPECT_TRUE(Find<QWidget>(*f, "dtpCustomStart")->isEnabled());
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomStart")->dateTime(), QDateTime(QDate(2011, 3, 7), QTime(0, 0)));
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomEnd")->dateTime(), QDateTime(QDate(2011, 3, 13), QTime(23, 59, 59, 999)));
    EXPECT_EQ(updates, 0);
    EXPECT_EQ(f->Start(), EncodeDate(2011, 3, 7));
    EXPECT_EQ(f->End(), EncodeDate(2011, 3, 14));   // the day after that Sunday

    // "Update graph" now shows that week, per day when chosen so.
    f->SetShowPer(spDay);
    Find<QPushButton>(*f, "btOpdater")->click();
    ASSERT_EQ(f->PeriodTable().periodCount, 7);
    EXPECT_EQ(f->Chart1()->AxisLabel(0), "7");
    EXPECT_EQ(f->Chart1()->PointValue(f->Chart1()->SumSeries(), 6), 30);

    // An hour bar drills down to its whole day.
    f->SetShowPer(spHour);
    f->UpdateGraph();
    emit f->Chart1()->BarClicked(24 * 2 + 5);
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomStart")->dateTime(), QDateTime(QDate(2011, 3, 9), QTime(0, 0)));
    EXPECT_EQ(Find<QDateEdit>(*f, "dtpCustomEnd")->dateTime(), QDateTime(QDate(2011, 3, 9), QTime(23, 59, 59, 999)));
}

TEST_F(GraphViewTest, ExportViewWritesTheShownColumns) {
    for (const char* name : {"view.xls", "view.xlsx"}) {
        SCOPED_TRACE(name);
        auto f = Frame();
        f->AddLine("10,28,02,2011,    1,    2,    3"), f->FlushRefresh();
        f->AddLine("11,28,02,2011,    1,    2,    3"), f->FlushRefresh();
        f->AddLine("10,01,03,2011,    5,   50,  500"), f->FlushRefresh();
        f->SetShowCounter(0b1101);                 // channel 2 hidden
        f->SetSelSumEnable1(0b1011);               // channels 1 and 2, shown
        f->SetShowPer(spDay);                       // not yet applied: the export recomputes
        Count(*f);
        updates = 0;
        answer = dir.File(name);
        asked.clear();
        ASSERT_TRUE(f->ExportView());
        EXPECT_EQ(updates, 1);
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].endsWith("|xls files (*.xls);;xlsx files (*.xlsx);;All files (*)|xls")) << asked[0].toStdString();

        const QJsonArray rows = zt::ReadSpreadsheet(answer);
        ASSERT_EQ(rows.size(), 4);
        const QJsonArray head = rows[0].toArray();
        QStringList heading;
        for (const auto& v : head) heading << v.toString();
        EXPECT_EQ(heading, (QStringList{"Date", "Day", "Counter 1", "Counter 3", "Sum", "Selected Sum 1"}));
        EXPECT_EQ(rows[1].toArray()[0].toString(), DateToStr(EncodeDate(2011, 2, 28)));
        EXPECT_EQ(rows[1].toArray()[1].toDouble(), 28);
        EXPECT_EQ(rows[2].toArray()[1].toString(), "1/3");
        // The hidden channel is still part of the sums.
        auto values = [&](int r) {
            QVector<double> v;
            const QJsonArray row = rows[r].toArray();
            for (int k = 2; k < row.size(); ++k) v << row[k].toDouble();
            return v;
        };
        EXPECT_EQ(values(1), (QVector<double>{2, 6, 12, 6}));
        EXPECT_EQ(values(2), (QVector<double>{5, 500, 555, 55}));
        EXPECT_EQ(rows[3].toArray()[1].toString(), "Total Sum");
        EXPECT_EQ(values(3), (QVector<double>{7, 506, 567, 61}));
    }
    EXPECT_TRUE(channel.boxes.isEmpty());
}

TEST_F(GraphViewTest, ExportFailuresShowAnErrorAndWriteNothing) {
    auto f = Frame();
    f->AddLine("10,30,03,2011,    1,    2,    3"), f->FlushRefresh();

    // Cancelled: nothing at all.
    answer.clear();
    EXPECT_FALSE(f->ExportAll());
    EXPECT_FALSE(f->ExportView());
    EXPECT_TRUE(channel.boxes.isEmpty());

    // A folder that does not exist.
    answer = dir.File("missing/all.xls");
    EXPECT_FALSE(f->ExportAll());
    ASSERT_EQ(channel.boxes.size(), 1);
    EXPECT_EQ(channel.boxes[0].kind, TBoxKind::Error);
    EXPECT_TRUE(channel.boxes[0].text.contains("all.xls")) << channel.boxes[0].text.toStdString();

    // A line the date rules let through but the calendar does not.
    f->AddLine("10,31,04,2011,    1,    2,    3"), f->FlushRefresh();
    answer = dir.File("all.xls");
    EXPECT_FALSE(f->ExportAll());
    ASSERT_EQ(channel.boxes.size(), 2);
    EXPECT_EQ(channel.boxes[1].kind, TBoxKind::Error);
    EXPECT_FALSE(QFile::exists(answer));

    // More lines than the binary worksheet has rows: refused, the old file stays.
    QList<QByteArray> lines(65535, QByteArray("10,30,03,2011,    1,    2,    3"));
    f->Store().SetLines(lines);
    zt::WriteAll(answer, "old");
    EXPECT_FALSE(f->ExportAll());
    ASSERT_EQ(channel.boxes.size(), 3);
    EXPECT_TRUE(channel.boxes[2].text.contains("65536")) << channel.boxes[2].text.toStdString();
    EXPECT_EQ(zt::ReadAll(answer), "old");
}

TEST_F(GraphViewTest, ExportAllReadBack) {
    auto f = Frame();
    f->AddLine("10,30,03,2011,    1,    2,    3"), f->FlushRefresh();
    f->AddLine("11,30,03,2011,    4,    5,    6"), f->FlushRefresh();
    answer = dir.File("all.xls");
    ASSERT_TRUE(f->ExportAll());
    const QJsonArray rows = zt::ReadSpreadsheet(answer);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].toArray()[2].toString(), "Counter 1");
    EXPECT_EQ(rows[2].toArray()[5].toDouble(), 15);
    EXPECT_EQ(rows[3].toArray()[1].toString(), "Total Sum");
    EXPECT_EQ(rows[3].toArray()[5].toDouble(), 21);
}

TEST_F(GraphViewTest, Pictures) {
    auto f = Frame();
    f->resize(952, 656);
    f->Tabs()->setCurrentIndex(1);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->AddLine("10,30,03,2011,    1,    2,    3"), f->FlushRefresh();
    QStringList status;
    log.OnStatus = [&](const QString& line, int) { status << line; };

    answer = dir.File("chart.bmp");
    ASSERT_TRUE(f->SaveBmp());
    EXPECT_EQ(asked.last(), "Save BMP|bmp files (*.bmp);;All files (*)|bmp");
    EXPECT_FALSE(QImage(answer, "bmp").isNull());
    ASSERT_EQ(channel.boxes.size(), 1);
    EXPECT_EQ(channel.boxes[0].kind, TBoxKind::Information);
    EXPECT_EQ(channel.boxes[0].text, "BMP file saved");
    ASSERT_EQ(status.size(), 1);
    EXPECT_TRUE(status[0].endsWith("BMP file saved"));

    // JPG goes through tmp.bmp in the working folder, which stays; no entry.
    const QString oldCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    answer = dir.File("chart.jpg");
    const bool jpg = f->SaveJpg();
    QDir::setCurrent(oldCwd);
    ASSERT_TRUE(jpg);
    EXPECT_EQ(asked.last(), "Save JPG|jpg files (*.jpg);;All files (*)|jpg");
    QFile jpgFile(answer);
    ASSERT_TRUE(jpgFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(jpgFile.read(2) == QByteArray("\xFF\xD8"));
    EXPECT_FALSE(QImage(dir.File("tmp.bmp"), "bmp").isNull());
    EXPECT_EQ(channel.boxes.size(), 1);
    EXPECT_EQ(status.size(), 1);

    // A failure is an error box with the reason, nothing logged as saved.
    answer = dir.File("missing/chart.bmp");
    EXPECT_FALSE(f->SaveBmp());
    ASSERT_EQ(channel.boxes.size(), 2);
    EXPECT_EQ(channel.boxes[1].kind, TBoxKind::Error);
    EXPECT_TRUE(channel.boxes[1].text.contains("chart.bmp"));
    EXPECT_EQ(status.size(), 1);
}

TEST_F(GraphViewTest, PrintLandscapeAfterTheDialog) {
    auto f = Frame();
    f->AddLine("10,30,03,2011,    1,    2,    3"), f->FlushRefresh();
    const QString pdf = dir.File("chart.pdf");
    bool confirm = false;
    QPrinter* printer = nullptr;
    f->AskPrinter = [&](QPrinter& p) {
        printer = &p;
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(pdf);
        p.setPageSize(QPageSize(QPageSize::A4));
        p.setPageOrientation(QPageLayout::Portrait);
        return confirm;
    };
    Find<QPushButton>(*f, "Button1")->click();
    EXPECT_FALSE(QFile::exists(pdf));
    confirm = true;
    Find<QPushButton>(*f, "Button1")->click();
    ASSERT_TRUE(QFile::exists(pdf));
    const QString bytes = zt::ReadAll(pdf);
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    // The job's page was A4 landscape; the printer is portrait again after it.
    const QRegularExpressionMatch box = QRegularExpression("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]").match(bytes);
    ASSERT_TRUE(box.hasMatch());
    EXPECT_GT(box.captured(1).toDouble(), box.captured(2).toDouble()) << box.captured(0).toStdString();
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Portrait);
    EXPECT_TRUE(channel.boxes.isEmpty());
}

TEST_F(GraphViewTest, MainAndViewerVariants) {
    auto main = Frame(false);
    auto viewer = Frame(true);
    auto sumColor = [](const TDataFrame& f, int k) { return f.Chart1()->SeriesColor(f.Chart1()->SumSeries() + k); };
    EXPECT_EQ(sumColor(*main, 0), QColor(255, 128, 64));
    EXPECT_EQ(sumColor(*main, 1), QColor(255, 255, 0));
    EXPECT_EQ(sumColor(*viewer, 0), QColor(0, 0, 255));
    EXPECT_EQ(sumColor(*viewer, 2), QColor(64, 128, 128));
    EXPECT_FALSE(main->Button7()->isVisibleTo(main->Panel1()));
    EXPECT_TRUE(viewer->Button7()->isVisibleTo(viewer->Panel1()));
    EXPECT_EQ(main->Button7()->parentWidget(), main->Panel1());

    // The viewer window's frame is the viewer variant and uses the log's boxes.
    TShowLogFile window(nullptr, channels, &log, &clock);
    EXPECT_TRUE(window.DataFrame1()->Viewer());
    window.DataFrame1()->AskSaveFileName = [&](const QString&, const QString&, const QString&) {
        return dir.File("missing/x.xls");
    };
    EXPECT_FALSE(window.DataFrame1()->ExportAll());
    ASSERT_EQ(channel.boxes.size(), 1);
    EXPECT_EQ(channel.boxes[0].kind, TBoxKind::Error);
    // Designed state: All, per week, Sum shown, selected sums hidden; the lists
    // come with the first refresh, every channel checked everywhere.
    TDataFrame* v = window.DataFrame1();
    zt::WriteAll(dir.File("f.log"), "14,02,03,2011,    1,    2,    3\r\n");
    window.ShowLogFileFromPath(dir.File("f.log"));
    EXPECT_EQ(v->DataToShow(), 0);
    EXPECT_EQ(v->ShowPer(), 0);
    EXPECT_EQ(v->ShowCounter(), 15);
    EXPECT_EQ(v->SelSumEnable1(), 7);
    EXPECT_EQ(v->SelSumEnable2(), 7);
}

TEST_F(GraphViewTest, PanelFitsBothWindowSizes) {
    for (QSize size : {QSize(1280, 800), QSize(952, 656)}) {
        SCOPED_TRACE(size.width());
        auto f = Frame(true);
        f->resize(size);
        f->Tabs()->setCurrentIndex(1);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->SetShowCounter(15);
        QApplication::processEvents();
        EXPECT_EQ(f->Panel1()->height(), 177);
        EXPECT_GT(f->Chart1()->height(), 300);
        const QRect panel = f->Panel1()->rect();
        for (QWidget* w : f->Panel1()->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(f->Panel1()) || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
            SCOPED_TRACE(w->objectName().toStdString());
            const QRect r(w->mapTo(f->Panel1(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(panel.contains(r));
            // Texts are not cut: each control has at least the room it asks for.
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QDateEdit*>(w)) {
                EXPECT_GE(w->width(), w->minimumSizeHint().width());
                EXPECT_GE(w->height(), w->minimumSizeHint().height());
            }
        }
    }
}

} // namespace
