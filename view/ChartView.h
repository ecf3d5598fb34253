#pragma once
// The data view's bar chart: one bar series per channel and three sum series
// ("Sum", "Selected Sum 1", "Selected Sum 2"), one group of side-by-side bars
// per period, labelled with the period labels. Zoom and pan are horizontal;
// a click on a bar reports its period.
#include <QColor>
#include <QImage>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include "PeriodTable.h"

class QCustomPlot;
class QCPBarsGroup;
class QCPTextElement;
class QCPAxisTickerText;
class QPrinter;
class QRectF;

namespace za {

class TMarkedBars;
class TMarkLayer;

class TChartView : public QWidget {
    Q_OBJECT
public:
    // viewerColors: the sum series colours of the log file viewer instead of
    // those of the main window.
    explicit TChartView(bool viewerColors = false, QWidget* parent = nullptr);
    ~TChartView() override;

    // Creates or removes channel series so that there is one per name; existing
    // series keep their title and colour. Colours are 0x00BBGGRR; 0 or missing
    // picks a palette colour. The sum series always follow the channel series.
    void SyncChannels(const QStringList& names, const QVector<int>& colors);
    void RefreshChannelNames(const QStringList& names);

    // Series in chart order: channels 0..N-1, then Sum, Selected Sum 1, Selected Sum 2.
    int ChannelSeriesCount() const { return int(channels_.size()); }
    int SeriesCount() const { return ChannelSeriesCount() + 3; }
    int SumSeries() const { return ChannelSeriesCount(); }
    int SelSum1Series() const { return ChannelSeriesCount() + 1; }
    int SelSum2Series() const { return ChannelSeriesCount() + 2; }
    QString SeriesTitle(int index) const;
    QColor SeriesColor(int index) const;
    bool SeriesVisible(int index) const;
    void SetSeriesVisible(int index, bool visible);
    int PointCount(int index) const;
    double PointValue(int index, int point) const;

    // Replaces every series' points by the table; title and bottom axis title
    // as given. A zoom chosen by the user is kept; otherwise all periods show.
    void Fill(const TPeriodTable& table, const QString& title, const QString& bottomAxisTitle);
    void Fill(const TPeriodTable& table) { Fill(table, RangeTitle(table), PeriodAxisTitle(table.showPer)); }
    QString Title() const;
    QString BottomAxisTitle() const;
    QString AxisLabel(int period) const { return period >= 0 && period < labels_.size() ? labels_[period] : QString(); }
    // The labels the axis shows now (every n-th one when they would overlap).
    QStringList ShownAxisLabels() const;

    void ResetZoom();
    bool Zoomed() const { return zoomed_; }

    // Landscape for the print job; the printer's orientation is restored after.
    bool Print(QPrinter& printer);
    // The chart at its current size on white.
    QImage RenderImage() const;
    bool SaveBmp(const QString& fileName, QString* error = nullptr);
    // Saves tmpBmpPath as BMP first, loads it back and encodes it as JPEG;
    // the BMP stays.
    bool SaveJpg(const QString& fileName, const QString& tmpBmpPath, QString* error = nullptr);

    // Value marks of the last drawing (marks are drawn only where they fit).
    int LastDrawnMarks() const;
    QVector<QRectF> LastMarkRects() const;

    QCustomPlot* Plot() const { return plot_; }

signals:
    void BarClicked(int periodIndex);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    TMarkedBars* Series(int index) const;
    TMarkedBars* NewSeries(const QString& title, const QColor& color);
    void Arrange();
    void UpdateValueRange();
    void UpdateTicks();
    void KeyRangeChanged();
    void SetKeyRange(double lower, double upper);

    QCustomPlot* plot_;
    QCPTextElement* title_;
    QCPBarsGroup* group_;
    QSharedPointer<QCPAxisTickerText> ticker_;
    QVector<TMarkedBars*> channels_;
    TMarkedBars* sums_[3];
    TMarkLayer* marks_ = nullptr;   // owned by the plot
    QStringList labels_;
    int periods_ = 0;
    int maxLabelChars_ = 1;
    bool zoomed_ = false;
    bool settingRange_ = false;
};

// JPEG encoding with libjpeg; a failure is reported, never fatal.
bool EncodeJpeg(const QImage& image, int quality, QByteArray& out, QString* error = nullptr);

} // namespace za
