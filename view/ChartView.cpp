#include "ChartView.h"
#include "config/FileReplace.h"
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPrinter>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <qcustomplot.h>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace za {

// Bars that draw all their rectangles in one call and remember where they
// stand, so that the mark layer can put value marks above them.
class TMarkedBars : public QCPBars {
public:
    TMarkedBars(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPBars(keyAxis, valueAxis) {}

    // From the last drawing: the bars' rectangles, and for each visible bar its
    // top centre and value; periodPixels is the width of one period on screen.
    QVector<QRectF> barRects;
    struct TTop {
        QPointF at;
        double value;
    };
    QVector<TTop> tops;
    double periodPixels = 0;

    double selectTest(const QPointF& pos, bool onlySelectable, QVariant* details = nullptr) const override {
        if ((onlySelectable && mSelectable == QCP::stNone) || mDataContainer->isEmpty()) return -1;
        if (!mKeyAxis || !mValueAxis) return -1;
        if (!mKeyAxis->axisRect()->rect().contains(pos.toPoint())) return -1;
        const double offset = KeyPixelOffset();
        const double width = std::max(BarPixelWidth(), 1.0);
        const int idx = int(std::lround(mKeyAxis->pixelToCoord(pos.x() - offset)));
        if (idx < 0 || idx >= mDataContainer->size()) return -1;
        const auto it = mDataContainer->constBegin() + idx;
        const double x = mKeyAxis->coordToPixel(it->key) + offset;
        if (std::fabs(pos.x() - x) > width / 2 + 0.5) return -1;
        // Low bars stay clickable: at least a few pixels above the base line.
        const double base = mValueAxis->coordToPixel(0);
        double top = mValueAxis->coordToPixel(it->value);
        const double lo = std::min(base, top) - 4, hi = std::max(base, top) + 1;
        if (pos.y() < lo || pos.y() > hi) return -1;
        if (details) details->setValue(QCPDataSelection(QCPDataRange(idx, idx + 1)));
        return mParentPlot->selectionTolerance() * 0.99;
    }

protected:
    // Horizontal distance of this series' bars from their key position (the
    // place in the bar group); the same for every key on a linear axis.
    double KeyPixelOffset() const {
        if (mDataContainer->isEmpty()) return 0;
        const double key = mDataContainer->constBegin()->key;
        const QRectF r = getBarRect(key, 1);
        return r.center().x() - mKeyAxis->coordToPixel(key);
    }
    double BarPixelWidth() const {
        if (mDataContainer->isEmpty()) return 0;
        return getBarRect(mDataContainer->constBegin()->key, 1).width();
    }

    void draw(QCPPainter* painter) override {
        barRects.clear();
        tops.clear();
        periodPixels = 0;
        if (!mKeyAxis || !mValueAxis || mDataContainer->isEmpty()) return;
        QCPBarsDataContainer::const_iterator begin, end;
        getVisibleDataBounds(begin, end);
        if (begin == end) return;
        QCPAxis* kAxis = mKeyAxis.data();
        QCPAxis* vAxis = mValueAxis.data();
        const double offset = KeyPixelOffset();
        const double width = BarPixelWidth();
        const bool narrow = width < 3;
        const double drawWidth = std::max(width, 1.0);
        const double base = vAxis->coordToPixel(0);
        const double keyPixels = std::fabs(kAxis->coordToPixel(1) - kAxis->coordToPixel(0));

        QVector<QRectF> rects;
        rects.reserve(int(end - begin));
        if (keyPixels < 1.0) {
            // Several periods share a pixel column: one bar per column with the
            // column's extreme values, instead of thousands of overdrawn ones.
            int column = INT_MIN;
            double hi = 0, lo = 0, x0 = 0;
            auto flush = [&]() {
                if (column == INT_MIN) return;
                const double yHi = vAxis->coordToPixel(hi), yLo = vAxis->coordToPixel(lo);
                rects.append(QRectF(x0, std::min(yHi, yLo), drawWidth, std::fabs(yLo - yHi)));
            };
            for (auto it = begin; it != end; ++it) {
                const double x = kAxis->coordToPixel(it->key) + offset - drawWidth / 2;
                const int col = int(std::floor(x));
                if (col != column) {
                    flush();
                    column = col;
                    x0 = col;
                    hi = lo = 0;
                }
                hi = std::max(hi, it->value);
                lo = std::min(lo, it->value);
            }
            flush();
        } else {
            for (auto it = begin; it != end; ++it) {
                const double x = kAxis->coordToPixel(it->key) + offset;
                const double y = vAxis->coordToPixel(it->value);
                rects.append(QRectF(x - drawWidth / 2, std::min(y, base), drawWidth, std::fabs(base - y)));
            }
        }
        painter->setAntialiasing(!narrow && mAntialiasedFill);
        painter->setPen(narrow ? QPen(Qt::NoPen) : mPen);
        painter->setBrush(mBrush);
        painter->drawRects(rects.constData(), int(rects.size()));

        barRects = rects;
        periodPixels = keyPixels;
        if (keyPixels < 1.0) return;
        tops.reserve(int(end - begin));
        for (auto it = begin; it != end; ++it)
            tops.append({QPointF(kAxis->coordToPixel(it->key) + offset, vAxis->coordToPixel(it->value)), it->value});
    }
};

// Value marks of all series, drawn after every bar. A mark is placed above its
// bar when it touches no other bar and no mark placed before it, so marks never
// overlap and never hide a bar; a zoomed-out year simply gets fewer of them.
class TMarkLayer : public QCPLayerable {
public:
    TMarkLayer(QCustomPlot* plot, std::function<QVector<TMarkedBars*>()> series)
        : QCPLayerable(plot, QStringLiteral("marks")), series_(std::move(series)) {}

    int marks = 0;
    QVector<QRectF> markRects;

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override { painter->setAntialiasing(true); }
    QRect clipRect() const override { return mParentPlot->axisRect()->rect(); }

    void draw(QCPPainter* painter) override {
        marks = 0;
        markRects.clear();
        const QVector<TMarkedBars*> all = series_();
        const QFontMetricsF fm(mParentPlot->font());
        const double digit = fm.horizontalAdvance(QLatin1Char('0'));
        const double h = fm.height();
        const QRectF area = mParentPlot->axisRect()->rect();

        // Obstacles by pixel column band, so each test looks at a few neighbours only.
        constexpr double kBand = 24.0;
        QHash<int, QVector<QRectF>> bands;
        auto bandsOf = [&](const QRectF& r, auto&& f) {
            for (int b = int(std::floor(r.left() / kBand)); b <= int(std::floor(r.right() / kBand)); ++b) f(bands[b]);
        };
        auto add = [&](const QRectF& r) { bandsOf(r, [&](QVector<QRectF>& v) { v.append(r); }); };
        auto free = [&](const QRectF& r) {
            bool ok = true;
            bandsOf(r, [&](QVector<QRectF>& v) {
                for (const QRectF& o : v)
                    if (ok && o.intersects(r)) ok = false;
            });
            return ok;
        };
        bool any = false;
        for (TMarkedBars* s : all) {
            if (!s->realVisibility() || s->tops.isEmpty() || s->periodPixels < digit + 2) continue;
            any = true;
            for (const QRectF& r : s->barRects) add(r);
        }
        if (!any) return;
        painter->setFont(mParentPlot->font());
        painter->setPen(Qt::black);
        // The sums first: where not every mark fits, the totals matter most.
        for (auto sit = all.crbegin(); sit != all.crend(); ++sit) {
            TMarkedBars* s = *sit;
            if (!s->realVisibility() || s->periodPixels < digit + 2) continue;
            for (const TMarkedBars::TTop& t : s->tops) {
                const QString text = QString::number(qint64(std::llround(t.value)));
                const double tw = fm.horizontalAdvance(text);
                // Wider than its period it would stand over the next period's bars.
                if (tw + 2 > s->periodPixels) continue;
                const QRectF r = t.value >= 0 ? QRectF(t.at.x() - tw / 2, t.at.y() - h - 1, tw, h)
                                              : QRectF(t.at.x() - tw / 2, t.at.y() + 1, tw, h);
                if (!area.contains(r) || !free(r.adjusted(-1, 0, 1, 0))) continue;
                painter->drawText(r, Qt::AlignCenter, text);
                add(r.adjusted(-1, 0, 1, 0));
                markRects.append(r);
                ++marks;
            }
        }
    }

private:
    std::function<QVector<TMarkedBars*>()> series_;
};

namespace {

QColor FromColorValue(int bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

QColor PaletteColor(int i) {
    static const QColor palette[] = {QColor(31, 119, 180), QColor(44, 160, 44),  QColor(214, 39, 40),
                                     QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194),
                                     QColor(127, 127, 127), QColor(23, 190, 207), QColor(188, 189, 34)};
    return palette[i % int(sizeof palette / sizeof palette[0])];
}


} // namespace

TChartView::TChartView(bool viewerColors, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    plot_ = new QCustomPlot(this);
    layout->addWidget(plot_);
    plot_->setBackground(Qt::white);
    plot_->setNoAntialiasingOnDrag(true);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->axisRect()->setRangeDrag(Qt::Horizontal);
    plot_->axisRect()->setRangeZoom(Qt::Horizontal);
    plot_->plotLayout()->insertRow(0);
    title_ = new QCPTextElement(plot_, QString(), QFont(font().family(), font().pointSize() + 1, QFont::Bold));
    plot_->plotLayout()->addElement(0, 0, title_);
    plot_->legend->setVisible(true);
    plot_->legend->setBrush(QColor(255, 255, 255, 220));
    // The legend goes in one line under the chart, where it hides no bar.
    plot_->axisRect()->insetLayout()->take(plot_->legend);
    auto* legendRow = new QCPLayoutGrid;
    plot_->plotLayout()->addElement(2, 0, legendRow);
    legendRow->setMargins(QMargins(5, 0, 5, 5));
    legendRow->addElement(0, 0, plot_->legend);
    plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot_->legend->setBorderPen(Qt::NoPen);
    plot_->plotLayout()->setRowStretchFactor(2, 0.001);

    ticker_.reset(new QCPAxisTickerText);
    ticker_->setSubTickCount(0);
    plot_->xAxis->setTicker(ticker_);
    plot_->xAxis->grid()->setVisible(false);
    plot_->xAxis->setSubTicks(false);

    plot_->addLayer(QStringLiteral("marks"), plot_->layer(QStringLiteral("main")), QCustomPlot::limAbove);
    marks_ = new TMarkLayer(plot_, [this] {
        QVector<TMarkedBars*> all;
        for (int i = 0; i < SeriesCount(); ++i) all.append(Series(i));
        return all;
    });

    group_ = new QCPBarsGroup(plot_);
    group_->setSpacingType(QCPBarsGroup::stAbsolute);
    group_->setSpacing(0);

    const QColor sumColors[2][3] = {{QColor(255, 128, 64), QColor(255, 255, 0), QColor(255, 255, 128)},
                                    {QColor(0, 0, 255), QColor(64, 128, 128), QColor(64, 128, 128)}};
    const QString sumTitles[3] = {QStringLiteral("Sum"), QStringLiteral("Selected Sum 1"),
                                  QStringLiteral("Selected Sum 2")};
    for (int k = 0; k < 3; ++k) sums_[k] = NewSeries(sumTitles[k], sumColors[viewerColors ? 1 : 0][k]);
    // A new frame shows the total, not the selected sums.
    sums_[1]->setVisible(false);
    sums_[2]->setVisible(false);

    connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange&) { KeyRangeChanged(); });
    connect(plot_, &QCustomPlot::plottableClick, this, [this](QCPAbstractPlottable* p, int dataIndex, QMouseEvent*) {
        auto* bars = qobject_cast<QCPBars*>(p);
        if (!bars || dataIndex < 0 || dataIndex >= bars->data()->size()) return;
        const int period = int(std::lround((bars->data()->constBegin() + dataIndex)->key));
        if (period >= 0 && period < periods_) emit BarClicked(period);
    });
    Arrange();
    ResetZoom();
}

TChartView::~TChartView() = default;

TMarkedBars* TChartView::NewSeries(const QString& title, const QColor& color) {
    auto* bars = new TMarkedBars(plot_->xAxis, plot_->yAxis);
    bars->setName(title);
    bars->setBrush(color);
    bars->setPen(QPen(color.darker(150), 0));
    bars->setWidthType(QCPBars::wtPlotCoords);
    bars->setSelectable(QCP::stNone);
    return bars;
}

TMarkedBars* TChartView::Series(int index) const {
    const int n = ChannelSeriesCount();
    if (index < 0 || index >= n + 3) return nullptr;
    return index < n ? channels_[index] : sums_[index - n];
}

void TChartView::SyncChannels(const QStringList& names, const QVector<int>& colors) {
    const int n = int(names.size());
    while (channels_.size() > n) {
        TMarkedBars* last = channels_.takeLast();
        group_->remove(last);
        plot_->removePlottable(last);
    }
    for (int i = int(channels_.size()); i < n; ++i) {
        const int value = i < colors.size() ? colors[i] : 0;
        channels_.append(NewSeries(names[i], value != 0 ? FromColorValue(value) : PaletteColor(i)));
        // Points follow the other series' count, so every series has P points.
        if (periods_ > 0) {
            QVector<QCPBarsData> zero(periods_);
            for (int k = 0; k < periods_; ++k) zero[k] = QCPBarsData(k, 0);
            channels_.last()->data()->set(zero, true);
        }
    }
    Arrange();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TChartView::RefreshChannelNames(const QStringList& names) {
    for (int i = 0; i < channels_.size() && i < names.size(); ++i) channels_[i]->setName(names[i]);
    Arrange();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

QString TChartView::SeriesTitle(int index) const {
    TMarkedBars* s = Series(index);
    return s ? s->name() : QString();
}

QColor TChartView::SeriesColor(int index) const {
    TMarkedBars* s = Series(index);
    return s ? s->brush().color() : QColor();
}

bool TChartView::SeriesVisible(int index) const {
    TMarkedBars* s = Series(index);
    return s && s->visible();
}

void TChartView::SetSeriesVisible(int index, bool visible) {
    TMarkedBars* s = Series(index);
    if (!s || s->visible() == visible) return;
    s->setVisible(visible);
    Arrange();
    UpdateValueRange();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

int TChartView::PointCount(int index) const {
    TMarkedBars* s = Series(index);
    return s ? s->data()->size() : 0;
}

double TChartView::PointValue(int index, int point) const {
    TMarkedBars* s = Series(index);
    if (!s || point < 0 || point >= s->data()->size()) return 0;
    return (s->data()->constBegin() + point)->value;
}

// Group and legend hold the shown series only, in chart order, so hidden
// series leave no gaps between the bars of a period.
void TChartView::Arrange() {
    group_->clear();
    plot_->legend->clearItems();
    int shown = 0;
    for (int i = 0; i < SeriesCount(); ++i) {
        TMarkedBars* s = Series(i);
        if (!s->visible()) continue;
        group_->append(s);
        s->addToLegend();
        ++shown;
    }
    const double width = 0.8 / std::max(shown, 1);
    for (int i = 0; i < SeriesCount(); ++i) Series(i)->setWidth(width);
}

void TChartView::Fill(const TPeriodTable& table, const QString& title, const QString& bottomAxisTitle) {
    title_->setText(title);
    plot_->xAxis->setLabel(bottomAxisTitle);
    const int P = table.periodCount;
    periods_ = P;
    labels_ = table.labels;
    maxLabelChars_ = 1;
    for (const QString& l : labels_) maxLabelChars_ = std::max(maxLabelChars_, int(l.size()));
    QVector<QCPBarsData> points(P);
    auto put = [&](TMarkedBars* s, const int* values) {
        for (int i = 0; i < P; ++i) points[i] = QCPBarsData(i, values ? double(values[i]) : 0.0);
        s->data()->set(points, true);
    };
    for (int c = 0; c < channels_.size(); ++c)
        put(channels_[c], c < table.channelCount ? table.channelSums.constData() + qsizetype(c) * P : nullptr);
    put(sums_[0], table.total.constData());
    put(sums_[1], table.selSum1.constData());
    put(sums_[2], table.selSum2.constData());
    if (zoomed_) {
        UpdateValueRange();
        SetKeyRange(plot_->xAxis->range().lower, plot_->xAxis->range().upper);
    } else {
        ResetZoom();
    }
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

QString TChartView::Title() const { return title_->text(); }

QString TChartView::BottomAxisTitle() const { return plot_->xAxis->label(); }

QStringList TChartView::ShownAxisLabels() const {
    QStringList out;
    const auto ticks = ticker_->ticks();
    for (auto it = ticks.constBegin(); it != ticks.constEnd(); ++it) out.append(it.value());
    return out;
}

void TChartView::UpdateValueRange() {
    double hi = 0, lo = 0;
    for (int i = 0; i < SeriesCount(); ++i) {
        TMarkedBars* s = Series(i);
        if (!s->visible()) continue;
        for (auto it = s->data()->constBegin(); it != s->data()->constEnd(); ++it) {
            hi = std::max(hi, it->value);
            lo = std::min(lo, it->value);
        }
    }
    // Head room for the value marks above the highest bar.
    if (hi <= 0 && lo >= 0) hi = 1;
    plot_->yAxis->setRange(lo * 1.1, hi * 1.1);
}

void TChartView::ResetZoom() {
    zoomed_ = false;
    UpdateValueRange();
    SetKeyRange(-0.5, std::max(periods_, 1) - 0.5);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TChartView::SetKeyRange(double lower, double upper) {
    settingRange_ = true;
    plot_->xAxis->setRange(lower, upper);
    settingRange_ = false;
    UpdateTicks();
}

void TChartView::KeyRangeChanged() {
    if (!settingRange_) {
        zoomed_ = true;
        // Panning and zooming stay within the periods.
        const double full = std::max(periods_, 1);
        QCPRange r = plot_->xAxis->range();
        double size = std::min(r.size(), full);
        double lower = std::max(r.lower, -0.5);
        if (lower + size > full - 0.5) lower = full - 0.5 - size;
        if (lower != r.lower || size != r.size()) {
            settingRange_ = true;
            plot_->xAxis->setRange(lower, lower + size);
            settingRange_ = false;
        }
    }
    UpdateTicks();
}

void TChartView::UpdateTicks() {
    QMap<double, QString> ticks;
    if (periods_ > 0) {
        const QCPRange r = plot_->xAxis->range();
        // The axis rect is laid out only at the next replot; while the chart was
        // hidden (another tab) or is being resized it still has an old width. The
        // widget's own width less the value axis is current.
        const double pixels = std::max(50, width() - 90);
        const QFontMetricsF fm(plot_->xAxis->tickLabelFont());
        const double labelWidth = fm.horizontalAdvance(QString(maxLabelChars_, QLatin1Char('0'))) + 8;
        const double perPeriod = pixels / std::max(r.size(), 1e-9);
        const int step = std::max(1, int(std::ceil(labelWidth / perPeriod)));
        int from = std::max(0, int(std::ceil(r.lower)));
        from = (from + step - 1) / step * step;
        const int to = std::min(periods_ - 1, int(std::floor(r.upper)));
        for (int i = from; i <= to; i += step) ticks.insert(i, labels_[i]);
    }
    ticker_->setTicks(ticks);
}

void TChartView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateTicks();
}

int TChartView::LastDrawnMarks() const { return marks_->marks; }

QVector<QRectF> TChartView::LastMarkRects() const { return marks_->markRects; }

bool TChartView::Print(QPrinter& printer) {
    const QPageLayout::Orientation old = printer.pageLayout().orientation();
    printer.setPageOrientation(QPageLayout::Landscape);
    QCPPainter painter;
    bool ok = painter.begin(&printer);
    if (ok) {
        painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        const QRectF page = printer.pageRect(QPrinter::DevicePixel);
        const int w = plot_->width() >= 200 ? plot_->width() : 1280;
        const int h = std::max(1, int(w * page.height() / std::max(page.width(), 1.0)));
        const double scale = page.width() / w;
        painter.scale(scale, scale);
        plot_->toPainter(&painter, w, h);
        ok = painter.end();
    }
    printer.setPageOrientation(old);
    return ok;
}

QImage TChartView::RenderImage() const {
    QSize size = plot_->size();
    if (size.width() < 50 || size.height() < 50) size = QSize(800, 600);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QCPPainter painter(&image);
    plot_->toPainter(&painter, size.width(), size.height());
    painter.end();
    return image;
}

bool TChartView::SaveBmp(const QString& fileName, QString* error) {
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(RenderImage())) {
        if (error) *error = CreateFileError(fileName, writer.errorString());
        return false;
    }
    return ReplaceFileContents(fileName, bmp, error);
}

bool TChartView::SaveJpg(const QString& fileName, const QString& tmpBmpPath, QString* error) {
    if (!SaveBmp(tmpBmpPath, error)) return false;
    QImageReader reader(tmpBmpPath, "bmp");
    const QImage image = reader.read();
    if (image.isNull()) {
        if (error) *error = QStringLiteral("Cannot read file \"%1\". %2").arg(tmpBmpPath, reader.errorString());
        return false;
    }
    QByteArray jpeg;
    if (!EncodeJpeg(image, 90, jpeg, error)) return false;
    return ReplaceFileContents(fileName, jpeg, error);
}

namespace {

// libjpeg's default handler ends the process; this one jumps back instead.
struct TJpegState {
    jpeg_error_mgr mgr;
    jpeg_compress_struct cinfo;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* state = reinterpret_cast<TJpegState*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, state->message);
    std::longjmp(state->jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}   // warnings: not printed to stderr

// Kept free of C++ objects with destructors, since longjmp skips them.
// Everything libjpeg touches lives in *state, not in locals, so nothing is
// indeterminate after the jump.
bool EncodeRgb(const unsigned char* rgb, int width, int height, int stride, int quality, TJpegState* state) {
    jpeg_compress_struct& cinfo = state->cinfo;
    cinfo.err = jpeg_std_error(&state->mgr);
    state->mgr.error_exit = JpegErrorExit;
    state->mgr.output_message = JpegOutputMessage;
    state->message[0] = 0;
    if (setjmp(state->jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &state->buffer, &state->size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + size_t(cinfo.next_scanline) * size_t(stride));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool EncodeJpeg(const QImage& image, int quality, QByteArray& out, QString* error) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        if (error) *error = QStringLiteral("JPEG error: empty picture");
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    auto* state = new TJpegState();
    const bool ok = EncodeRgb(rgb.constBits(), rgb.width(), rgb.height(), int(rgb.bytesPerLine()),
                              std::clamp(quality, 1, 100), state);
    if (ok) out = QByteArray(reinterpret_cast<const char*>(state->buffer), qsizetype(state->size));
    else if (error) *error = QStringLiteral("JPEG error: ") + QString::fromLocal8Bit(state->message);
    std::free(state->buffer);
    delete state;
    return ok;
}

} // namespace za
