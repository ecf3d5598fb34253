// Speed of the data view's refresh: the period sums over a year of hourly
// lines, filling and drawing the chart with a year of hours, and the whole
// refresh of a data frame as every received record causes it.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QRandomGenerator>
#include <qcustomplot.h>
#include <QTabWidget>
#include "config/Clock.h"
#include "logdata/Channels.h"
#include "view/ChartView.h"
#include "view/DataFrame.h"
#include "view/PeriodTable.h"

using namespace za;

namespace {

// One line per hour of 2011 in layout 0, as the counter writes them.
QList<QByteArray> YearOfLines(int n) {
    QList<QByteArray> lines;
    QRandomGenerator rng(7);
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= DaysInMonth(2011, m); ++d)
            for (int h = 0; h < 24; ++h) {
                QString line = QString::asprintf("%0.2d,%0.2d,%0.2d,%4d", h, d, m, 2011);
                for (int c = 0; c < n; ++c)
                    line += QString::asprintf(",%5d", h >= 10 && h <= 20 ? int(rng.bounded(50)) : 0);
                lines.append(line.toLatin1());
            }
    return lines;
}

TPeriodOptions ThisYear(int showPer, int n) {
    TPeriodOptions o;
    o.dataToShow = dsThisYear;
    o.showPer = showPer;
    o.now = EncodeDateTime(2011, 6, 15, 12, 0, 0);
    o.selSum1 = QVector<bool>(n, true);
    o.selSum2 = QVector<bool>(n, false);
    o.selSum2[0] = true;
    return o;
}

void BM_PeriodTable(benchmark::State& state) {
    const int n = int(state.range(0));
    const int per = int(state.range(1));
    const QList<QByteArray> lines = YearOfLines(n);
    const TPeriodOptions o = ThisYear(per, n);
    const bool reuse = state.range(2) != 0;
    TPeriodTable kept;
    for (auto _ : state) {
        if (reuse) {
            ComputePeriodTable(lines, n, 0, o, kept);
            benchmark::DoNotOptimize(kept.total.data());
        } else {
            TPeriodTable t = ComputePeriodTable(lines, n, 0, o);
            benchmark::DoNotOptimize(t.total.data());
        }
    }
    state.SetLabel(QString("%1%2").arg(per == spHour ? "hour" : per == spDay ? "day" : "week",
                                       reuse ? ", reused table" : "").toStdString());
}
BENCHMARK(BM_PeriodTable)
    ->ArgsProduct({{3, 8}, {spHour, spDay, spWeek}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ChartFillAndRepaint(benchmark::State& state) {
    const int n = int(state.range(0));
    const TPeriodTable table = ComputePeriodTable(YearOfLines(n), n, 0, ThisYear(spHour, n));
    TChartView view;
    QStringList names;
    for (int c = 0; c < n; ++c) names << QString("Counter %1").arg(c + 1);
    view.SyncChannels(names, {});
    view.SetSeriesVisible(view.SelSum1Series(), true);
    view.SetSeriesVisible(view.SelSum2Series(), true);
    view.resize(1280, 800);
    view.show();
    QApplication::processEvents();
    for (auto _ : state) {
        view.Fill(table);
        view.Plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_ChartFillAndRepaint)
    ->Arg(3)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// UpdateGraph of a frame holding a year of hourly lines, "This year", every
// channel and all three sums shown, plus the one repaint that follows it.
void BM_DataFrameUpdateGraph(benchmark::State& state) {
    const int n = int(state.range(0));
    const int per = int(state.range(1));
    QStringList names;
    for (int c = 0; c < n; ++c) names << QString("Counter %1").arg(c + 1);
    TChannelSet channels;
    channels.SetChannels(names, {});
    TFixedClock clock(QDateTime(QDate(2011, 6, 15), QTime(12, 0)));
    TDataFrame frame(nullptr, channels, nullptr, &clock);
    frame.resize(1280, 800);
    frame.Tabs()->setCurrentIndex(1);
    frame.show();
    frame.Store().SetLines(YearOfLines(n));
    frame.SetDataToShow(dsThisYear);
    frame.SetShowPer(per);
    const int all = (1 << n) - 1, show = 1 << n;
    frame.SetShowCounter(all | show);
    frame.SetSelSumEnable1(all | show);
    frame.SetSelSumEnable2(1 | show);
    QApplication::processEvents();
    for (auto _ : state) {
        frame.UpdateGraph();
        frame.Chart1()->Plot()->replot(QCustomPlot::rpImmediateRefresh);
    }
    state.SetLabel(QString("%1 periods x %2 series")
                       .arg(frame.PeriodTable().periodCount)
                       .arg(frame.Chart1()->SeriesCount())
                       .toStdString());
}
BENCHMARK(BM_DataFrameUpdateGraph)
    ->ArgsProduct({{3, 8}, {spHour, spDay, spWeek}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
