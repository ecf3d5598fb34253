// The bar chart on the offscreen platform: series order, titles, colours and
// visibility, filling, bar click, marks, zoom, picture files and printing.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <qcustomplot.h>
#include "support/TestSupport.h"
#include "view/ChartView.h"

using namespace za;

namespace {

// A period table with given values: channel c of period i = (c + 1) * base(i).
TPeriodTable MakeTable(int n, int periods, std::function<qint64(int)> base) {
    TPeriodTable t;
    t.channelCount = n;
    t.periodCount = periods;
    t.showPer = spDay;
    t.rangeStart = EncodeDate(2011, 1, 1);
    t.rangeEnd = EndOfDay(EncodeDate(2011, 1, 1) + periods - 1);
    t.channelSums.resize(n * periods);
    t.total.resize(periods);
    t.selSum1.resize(periods);
    t.selSum2.resize(periods);
    for (int i = 0; i < periods; ++i) {
        t.periodStarts.append(t.rangeStart + i);
        t.periodEnds.append(EndOfDay(t.rangeStart + i));
        t.labels.append(QString::number(i % 24));
        qint64 sum = 0;
        for (int c = 0; c < n; ++c) {
            t.channelSums[c * periods + i] = (c + 1) * base(i);
            sum += (c + 1) * base(i);
        }
        t.total[i] = sum;
        t.selSum1[i] = base(i);
        t.selSum2[i] = 2 * base(i);
    }
    return t;
}

struct TShownChart {
    TChartView view;
    explicit TShownChart(bool viewer = false) : view(viewer) {
        view.resize(1280, 800);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void Draw() { view.Plot()->replot(QCustomPlot::rpImmediateRefresh); }
};

} // namespace

TEST(ChartView, SeriesOrderTitlesAndColours) {
    TChartView v;
    v.SyncChannels({"A", "B", "C"}, {0, 0x0000FF, 0x00FF0000});
    ASSERT_EQ(v.SeriesCount(), 6);
    QStringList titles;
    for (int i = 0; i < v.SeriesCount(); ++i) titles << v.SeriesTitle(i);
    EXPECT_EQ(titles, (QStringList{"A", "B", "C", "Sum", "Selected Sum 1", "Selected Sum 2"}));
    EXPECT_EQ(v.SeriesColor(1), QColor(255, 0, 0));     // colour values are 0x00BBGGRR
    EXPECT_EQ(v.SeriesColor(2), QColor(0, 0, 255));
    EXPECT_TRUE(v.SeriesColor(0).isValid());
    EXPECT_EQ(v.SeriesColor(v.SumSeries()), QColor(255, 128, 64));
    EXPECT_EQ(v.SeriesColor(v.SelSum1Series()), QColor(255, 255, 0));
    EXPECT_EQ(v.SeriesColor(v.SelSum2Series()), QColor(255, 255, 128));
    const QColor channel0 = v.SeriesColor(0);

    // Fewer channels: the surplus goes, the rest keep title and colour, sums stay last.
    v.SyncChannels({"X", "Y"}, {});
    titles.clear();
    for (int i = 0; i < v.SeriesCount(); ++i) titles << v.SeriesTitle(i);
    EXPECT_EQ(titles, (QStringList{"A", "B", "Sum", "Selected Sum 1", "Selected Sum 2"}));
    v.SyncChannels({"X", "Y", "Z", "W"}, {0, 0, 0, 0x00FF00});
    EXPECT_EQ(v.SeriesTitle(3), "W");
    EXPECT_EQ(v.SeriesColor(3), QColor(0, 255, 0));
    EXPECT_EQ(v.SeriesTitle(4), "Sum");
    v.RefreshChannelNames({"One", "Two", "Three", "Four"});
    EXPECT_EQ(v.SeriesTitle(0), "One");
    EXPECT_EQ(v.SeriesColor(0), channel0);
    EXPECT_EQ(v.SeriesColor(1), QColor(255, 0, 0));

    TChartView viewer(true);
    EXPECT_EQ(viewer.SeriesColor(viewer.SumSeries()), QColor(0, 0, 255));
    EXPECT_EQ(viewer.SeriesColor(viewer.SelSum1Series()), QColor(64, 128, 128));
    EXPECT_EQ(viewer.SeriesColor(viewer.SelSum2Series()), QColor(64, 128, 128));
}

TEST(ChartView, VisibilityAndLegend) {
    TChartView v;
    v.SyncChannels({"A", "B", "C"}, {});
    EXPECT_TRUE(v.SeriesVisible(0));
    EXPECT_TRUE(v.SeriesVisible(v.SumSeries()));
    EXPECT_FALSE(v.SeriesVisible(v.SelSum1Series()));
    EXPECT_FALSE(v.SeriesVisible(v.SelSum2Series()));
    EXPECT_EQ(v.Plot()->legend->itemCount(), 4);
    v.SetSeriesVisible(1, false);
    v.SetSeriesVisible(v.SelSum2Series(), true);
    EXPECT_FALSE(v.SeriesVisible(1));
    ASSERT_EQ(v.Plot()->legend->itemCount(), 4);
    QStringList legend;
    for (int i = 0; i < v.Plot()->legend->itemCount(); ++i)
        legend << static_cast<QCPPlottableLegendItem*>(v.Plot()->legend->item(i))->plottable()->name();
    EXPECT_EQ(legend, (QStringList{"A", "C", "Sum", "Selected Sum 2"}));
    // New channel series after a sync keep the sums' visibility as it was.
    v.SyncChannels({"A", "B", "C", "D"}, {});
    EXPECT_TRUE(v.SeriesVisible(3));
    EXPECT_FALSE(v.SeriesVisible(1));
    EXPECT_TRUE(v.SeriesVisible(v.SelSum2Series()));
}

TEST(ChartView, FillTitlesPointsAndLabels) {
    TShownChart c;
    c.view.SyncChannels({"A", "B", "C"}, {});
    const TPeriodTable t = MakeTable(3, 7, [](int i) { return i + 1; });
    c.view.Fill(t);
    EXPECT_EQ(c.view.Title(), DateToStr(t.rangeStart) + " - " + DateToStr(t.rangeEnd));
    EXPECT_EQ(c.view.BottomAxisTitle(), "Date");
    for (int s = 0; s < c.view.SeriesCount(); ++s) EXPECT_EQ(c.view.PointCount(s), 7);
    EXPECT_EQ(c.view.PointValue(2, 4), 15);
    EXPECT_EQ(c.view.PointValue(c.view.SumSeries(), 4), 30);
    EXPECT_EQ(c.view.PointValue(c.view.SelSum2Series(), 6), 14);
    EXPECT_EQ(c.view.ShownAxisLabels(), (QStringList{"0", "1", "2", "3", "4", "5", "6"}));

    // A year of hours: only every n-th label, evenly spaced.
    c.view.Fill(MakeTable(3, 8760, [](int i) { return i % 50; }), "t", "Hour");
    c.Draw();
    const QStringList shown = c.view.ShownAxisLabels();
    EXPECT_GT(shown.size(), 5);
    EXPECT_LT(shown.size(), 200);
    EXPECT_EQ(c.view.BottomAxisTitle(), "Hour");
    // A later table with fewer periods replaces every series' points.
    c.view.Fill(MakeTable(3, 2, [](int) { return 1; }));
    for (int s = 0; s < c.view.SeriesCount(); ++s) EXPECT_EQ(c.view.PointCount(s), 2);
}

TEST(ChartView, MarksOnlyWhereTheyFit) {
    TShownChart c;
    c.view.SyncChannels({"A", "B", "C"}, {});
    c.view.SetSeriesVisible(c.view.SelSum1Series(), true);
    c.view.SetSeriesVisible(c.view.SelSum2Series(), true);

    c.view.Fill(MakeTable(3, 3, [](int i) { return 10 * i; }));
    c.Draw();
    EXPECT_EQ(c.view.LastDrawnMarks(), 3 * 6);

    // Mixed widths: whatever is drawn never overlaps.
    c.view.Fill(MakeTable(3, 12, [](int i) { return i % 3 == 0 ? 99999 : i % 3 == 1 ? 1 : 123; }));
    c.Draw();
    const QVector<QRectF> rects = c.view.LastMarkRects();
    EXPECT_GT(rects.size(), 0);
    EXPECT_LT(rects.size(), 12 * 6);
    for (int a = 0; a < rects.size(); ++a)
        for (int b = a + 1; b < rects.size(); ++b) ASSERT_FALSE(rects[a].intersects(rects[b])) << a << " " << b;

    // A month per day: bars are narrower than their numbers, but the period is
    // wide enough, so most bars get a mark that stands clear of the other bars.
    c.view.Fill(MakeTable(3, 30, [](int i) { return 200 + 37 * (i % 9); }));
    c.Draw();
    EXPECT_GE(c.view.LastDrawnMarks(), 30);
    const QVector<QRectF> month = c.view.LastMarkRects();
    for (int a = 0; a < month.size(); ++a)
        for (int b = a + 1; b < month.size(); ++b) ASSERT_FALSE(month[a].intersects(month[b])) << a << " " << b;

    c.view.Fill(MakeTable(3, 8760, [](int i) { return i % 40; }));
    c.Draw();
    EXPECT_LT(c.view.LastDrawnMarks(), 100);
}

TEST(ChartView, BarClickReportsThePeriod) {
    TShownChart c;
    c.view.SyncChannels({"A", "B"}, {});
    c.view.Fill(MakeTable(2, 10, [](int) { return 100; }));
    c.Draw();
    QSignalSpy spy(&c.view, &TChartView::BarClicked);
    QCustomPlot* plot = c.view.Plot();
    for (int period : {0, 3, 9}) {
        // Channel B's bar of that period, a little below its top.
        auto* bars = qobject_cast<QCPBars*>(plot->plottable(1));
        ASSERT_TRUE(bars);
        const QPointF top = bars->dataPixelPosition(period);
        QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, QPoint(int(top.x()), int(top.y()) + 20));
        QTest::qWait(QApplication::doubleClickInterval() + 50);   // separate clicks, not a double click
    }
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].toInt(), 0);
    EXPECT_EQ(spy[1][0].toInt(), 3);
    EXPECT_EQ(spy[2][0].toInt(), 9);
    // Empty space above the bars reports nothing.
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, QPoint(plot->width() / 2, plot->axisRect()->top() + 5));
    EXPECT_EQ(spy.count(), 3);
}

TEST(ChartView, ZoomIsKeptUntilReset) {
    TShownChart c;
    c.view.SyncChannels({"A"}, {});
    c.view.Fill(MakeTable(1, 100, [](int i) { return i; }));
    EXPECT_FALSE(c.view.Zoomed());
    c.view.Plot()->xAxis->setRange(10, 20);               // as a wheel zoom does
    EXPECT_TRUE(c.view.Zoomed());
    c.view.Fill(MakeTable(1, 100, [](int i) { return i; }));
    EXPECT_NEAR(c.view.Plot()->xAxis->range().lower, 10, 1e-9);
    c.view.ResetZoom();
    EXPECT_FALSE(c.view.Zoomed());
    EXPECT_NEAR(c.view.Plot()->xAxis->range().lower, -0.5, 1e-9);
    EXPECT_NEAR(c.view.Plot()->xAxis->range().upper, 99.5, 1e-9);
    // Panning stops at the last period.
    c.view.Plot()->xAxis->setRange(90, 110);
    EXPECT_NEAR(c.view.Plot()->xAxis->range().upper, 99.5, 1e-9);
    EXPECT_NEAR(c.view.Plot()->xAxis->range().size(), 20, 1e-9);
}

TEST(ChartView, PictureFiles) {
    TShownChart c;
    c.view.SyncChannels({"A", "B"}, {});
    c.view.Fill(MakeTable(2, 31, [](int i) { return i; }));
    zt::TScratchDir dir;
    QString err;
    const QString bmp = dir.File("chart.bmp");
    ASSERT_TRUE(c.view.SaveBmp(bmp, &err)) << err.toStdString();
    QImage img(bmp);
    EXPECT_EQ(img.size(), c.view.Plot()->size());
    EXPECT_EQ(img.pixelColor(2, 2), QColor(Qt::white));

    const QString tmp = dir.File("tmp.bmp");
    const QString jpg = dir.File("chart.jpg");
    ASSERT_TRUE(c.view.SaveJpg(jpg, tmp, &err)) << err.toStdString();
    QFile j(jpg);
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    EXPECT_EQ(j.read(2), QByteArray::fromHex("ffd8"));
    EXPECT_EQ(QImage(jpg).size(), img.size());
    QFile t(tmp);
    ASSERT_TRUE(t.open(QIODevice::ReadOnly));
    EXPECT_EQ(t.read(2), QByteArray("BM"));

    // Impossible targets are reported; nothing ends the program.
    err.clear();
    EXPECT_FALSE(c.view.SaveJpg(dir.File("no/such/dir/x.jpg"), tmp, &err));
    EXPECT_TRUE(err.contains("x.jpg")) << err.toStdString();
    err.clear();
    EXPECT_FALSE(c.view.SaveJpg(jpg, dir.File("no/tmp.bmp"), &err));
    EXPECT_FALSE(err.isEmpty());
    err.clear();
    EXPECT_FALSE(c.view.SaveBmp(dir.Path(), &err));
    EXPECT_FALSE(err.isEmpty());
    QByteArray out;
    EXPECT_FALSE(EncodeJpeg(QImage(), 90, out, &err));
    // libjpeg itself refuses a picture wider than a JPEG can be; that must come back as an error.
    err.clear();
    EXPECT_FALSE(EncodeJpeg(QImage(70000, 1, QImage::Format_RGB32), 90, out, &err));
    EXPECT_TRUE(err.startsWith("JPEG error")) << err.toStdString();
}

TEST(ChartView, PrintsLandscapeAndRestoresOrientation) {
    TShownChart c;
    c.view.SyncChannels({"A"}, {});
    c.view.Fill(MakeTable(1, 12, [](int i) { return i; }));
    zt::TScratchDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.File("chart.pdf"));
    printer.setPageOrientation(QPageLayout::Portrait);
    ASSERT_TRUE(c.view.Print(printer));
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
    EXPECT_GT(QFile(dir.File("chart.pdf")).size(), 1000);
}
