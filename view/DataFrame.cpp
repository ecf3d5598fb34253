#include "DataFrame.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <cstdio>
#include "ChartView.h"
#include "ExcelSupp.h"
#include "config/Clock.h"
#include "logdata/EventLog.h"

namespace za {

namespace {

const QString kXlsFilter = QStringLiteral("xls files (*.xls);;xlsx files (*.xlsx);;All files (*)");
const QString kBmpFilter = QStringLiteral("bmp files (*.bmp);;All files (*)");
const QString kJpgFilter = QStringLiteral("jpg files (*.jpg);;All files (*)");

// The masks are 32-bit; channels beyond bit 31 have no bit of their own.
bool Bit(int mask, int i) { return i >= 0 && i < 32 && ((unsigned(mask) >> i) & 1u) != 0; }

bool Checked(const QListWidget* list, int i) {
    const QListWidgetItem* item = list->item(i);
    return item && item->checkState() == Qt::Checked;
}

// A group box whose contents sit close together, so the panel stays low.
QGroupBox* Group(QWidget* parent, const char* name, const QString& title, QBoxLayout*& layout) {
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QString::fromLatin1(name));
    layout = new QVBoxLayout(g);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(0);
    return g;
}

// The user's short date, always with four year digits.
QString PickerFormat() {
    QString f = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QStringLiteral("yyyy"))) f.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return f;
}

QListWidget* CheckList(QWidget* parent, const char* name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setUniformItemSizes(true);
    list->setMinimumWidth(90);
    return list;
}

} // namespace

TDataFrame::TDataFrame(QWidget* parent, const TChannelSet& channels, TEventLog* log, const TClock* clock, bool viewer)
    : TDataFrame(parent, std::make_unique<TLogStore>(channels, log), log, clock, viewer) {}

TDataFrame::TDataFrame(QWidget* parent, TLogStore& store, TEventLog* log, const TClock* clock, bool viewer)
    : TDataFrame(parent, std::unique_ptr<TLogStore>(), log, clock, viewer, &store) {}

TDataFrame::TDataFrame(QWidget* parent, std::unique_ptr<TLogStore> own, TEventLog* log, const TClock* clock,
                       bool viewer, TLogStore* shown)
    : QWidget(parent), ownStore_(std::move(own)), store_(shown ? *shown : *ownStore_), log_(log),
      clock_(clock ? clock : &SystemClock()), viewer_(viewer) {
    setObjectName("TDataFrame");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("PageControl1");
    textTab_ = new QWidget;
    textTab_->setObjectName("TextTab");
    auto* textLayout = new QVBoxLayout(textTab_);
    textLayout->setContentsMargins(0, 0, 0, 0);
    logData_ = new QPlainTextEdit(textTab_);
    logData_->setObjectName("LogData");
    logData_->setReadOnly(true);
    logData_->setLineWrapMode(QPlainTextEdit::NoWrap);
    logData_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logData_->setUndoRedoEnabled(false);
    textLayout->addWidget(logData_);
    tabs_->addTab(textTab_, "View as Text");

    graphTab_ = new QWidget;
    graphTab_->setObjectName("GraphTab");
    tabs_->addTab(graphTab_, "View as Graph");
    BuildGraphTab();
    tabs_->setCurrentIndex(0);
    layout->addWidget(tabs_, 1);

    AskSaveFileName = [this](const QString& caption, const QString& filter, const QString& suffix) {
        return DefaultAskSaveFileName(caption, filter, suffix);
    };
    AskPrinter = [this](QPrinter& printer) {
        QPrintDialog dlg(&printer, this);
        return dlg.exec() == QDialog::Accepted;
    };

    // The view follows the store from the event loop: a new record's Ack never
    // waits for the text view or the chart.
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(0);
    connect(refreshTimer_, &QTimer::timeout, this, &TDataFrame::FlushRefresh);
    store_.OnChanged = [this](TStoreChange change, int index) { StoreChanged(change, index); };
    rangeStart_ = rangeEnd_ = clock_->Now();
}

TDataFrame::~TDataFrame() { store_.OnChanged = nullptr; }

QStringList TDataFrame::ChannelNames() const { return Channels().Names(); }

QVector<int> TDataFrame::ChannelColors() const { return Channels().Colors(); }

void TDataFrame::BuildGraphTab() {
    auto* tab = new QVBoxLayout(graphTab_);
    tab->setContentsMargins(0, 0, 0, 0);
    tab->setSpacing(0);
    chart_ = new TChartView(viewer_, graphTab_);
    chart_->setObjectName("Chart1");
    tab->addWidget(chart_, 1);

    panel_ = new QWidget(graphTab_);
    panel_->setObjectName("Panel1");
    panel_->setFixedHeight(177);
    tab->addWidget(panel_);
    auto* row = new QHBoxLayout(panel_);
    row->setContentsMargins(4, 2, 4, 4);
    row->setSpacing(4);

    QBoxLayout* box = nullptr;
    auto radio = [this](QGroupBox* g, QBoxLayout* l, QButtonGroup* bg, const char* name, const QString& text,
                        int id) {
        auto* rb = new QRadioButton(text, g);
        rb->setObjectName(QString::fromLatin1(name));
        bg->addButton(rb, id);
        l->addWidget(rb);
        return rb;
    };

    // Range.
    QGroupBox* gData = Group(panel_, "gbDataToShow", "&Data to show", box);
    dataToShow_ = new QButtonGroup(this);
    rbAll_ = radio(gData, box, dataToShow_, "rbAll", "&All", dsAll);
    radio(gData, box, dataToShow_, "rbThisYear", "This &year", dsThisYear);
    radio(gData, box, dataToShow_, "rbThisMonth", "This &month", dsThisMonth);
    radio(gData, box, dataToShow_, "rbThisWeek", "This &week", dsThisWeek);
    rbCustom_ = radio(gData, box, dataToShow_, "rbCustom", "&Custom", dsCustom);
    box->addStretch(1);
    row->addWidget(gData);

    // Period length, with the custom range pickers below it.
    auto* perColumn = new QVBoxLayout;
    perColumn->setSpacing(2);
    QGroupBox* gPer = Group(panel_, "gbShowPer", "Show &per", box);
    showPer_ = new QButtonGroup(this);
    rbShowPerWeek_ = radio(gPer, box, showPer_, "rbShowPerWeek", "&Week", spWeek);
    radio(gPer, box, showPer_, "rbShowPerDay", "&Day", spDay);
    radio(gPer, box, showPer_, "rbShowPerHour", "&Hour", spHour);
    perColumn->addWidget(gPer);
    auto* pickers = new QGridLayout;
    pickers->setContentsMargins(0, 0, 0, 0);
    pickers->setHorizontalSpacing(4);
    pickers->setVerticalSpacing(2);
    auto picker = [this, pickers](const char* name, const char* labelName, const QString& caption, int r,
                                  QLabel*& label) {
        auto* edit = new QDateEdit(panel_);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(PickerFormat());
        edit->setDateTime(clock_->Now());
        label = new QLabel(caption, panel_);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setBuddy(edit);
        pickers->addWidget(label, r, 0);
        pickers->addWidget(edit, r, 1);
        return edit;
    };
    dtpCustomStart_ = picker("dtpCustomStart", "lblStart", "&Start", 0, lblStart_);
    dtpCustomEnd_ = picker("dtpCustomEnd", "lblEnd", "&End", 1, lblEnd_);
    perColumn->addLayout(pickers);
    perColumn->addStretch(1);
    row->addLayout(perColumn);

    // Channels shown and the two selected sums.
    // A group of a channel check list over one check box.
    auto listGroup = [&](const char* group, const QString& title, const char* listName, QListWidget*& list,
                         const QString& boxCaption, const char* boxName, QCheckBox*& check) {
        QGroupBox* g = Group(panel_, group, title, box);
        list = CheckList(g, listName);
        box->addWidget(list, 1);
        check = new QCheckBox(boxCaption, g);
        check->setObjectName(boxName);
        box->addWidget(check);
        row->addWidget(g, 1);
    };
    listGroup("gbShowCounter", "Show c&ounter", "clbVisCounter", clbVisCounter_, "S&um", "cbSum", cbSum_);
    listGroup("gbSelSum1", "Selected sum 1", "clbSelSum1", clbSelSum1_, "Show", "cbSelSum1", cbSelSum1_);
    listGroup("gbSelSum2", "Selected sum 2", "clbSelSum2", clbSelSum2_, "Show", "cbSelSum2", cbSelSum2_);

    // Buttons: the view in the first column, pictures and files in the second.
    auto* buttons = new QGridLayout;
    buttons->setContentsMargins(0, 6, 0, 0);
    buttons->setHorizontalSpacing(4);
    buttons->setVerticalSpacing(4);
    auto button = [this, buttons](const char* name, const QString& caption, int r, int c) {
        auto* b = new QPushButton(caption, panel_);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b, r, c);
        return b;
    };
    btOpdater_ = button("btOpdater", "&Update graph", 0, 0);
    btOpdater_->setDefault(true);
    QPushButton* button4 = button("Button4", "Reset &zoom", 1, 0);
    QPushButton* button1 = button("Button1", "&Print", 2, 0);
    button7_ = button("Button7", "TestData", 3, 0);
    QPushButton* button2 = button("Button2", "Save &BMP", 0, 1);
    QPushButton* button3 = button("Button3", "Save &JPG", 1, 1);
    QPushButton* button5 = button("Button5", "&Export View", 2, 1);
    QPushButton* button6 = button("Button6", "Export &All", 3, 1);
    buttons->setRowStretch(4, 1);
    row->addLayout(buttons);
    if (!viewer_) button7_->setVisible(false);

    // Designed state: All, per week, the total shown, the selected sums hidden
    // (the chart starts that way too).
    rbAll_->setChecked(true);
    rbShowPerWeek_->setChecked(true);
    cbSum_->setChecked(true);
    cbSelSum1_->setChecked(false);
    cbSelSum2_->setChecked(false);
    EnablePickers();

    // Enter anywhere on the tab works the default button, as in a dialog.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* sc = new QShortcut(QKeySequence(key), graphTab_);
        sc->setContext(Qt::WidgetWithChildrenShortcut);
        connect(sc, &QShortcut::activated, btOpdater_, &QPushButton::click);
    }

    connect(dataToShow_, &QButtonGroup::idToggled, this, [this](int, bool) { EnablePickers(); });
    for (QListWidget* list : {clbVisCounter_, clbSelSum1_, clbSelSum2_})
        connect(list, &QListWidget::itemChanged, this, [this, list](QListWidgetItem* item) {
            ListItemChanged(list, item);
        });
    connect(cbSum_, &QCheckBox::toggled, this,
            [this](bool checked) { chart_->SetSeriesVisible(chart_->SumSeries(), checked); });
    connect(cbSelSum1_, &QCheckBox::toggled, this, [this](bool checked) { SelSumShowToggled(1, checked); });
    connect(cbSelSum2_, &QCheckBox::toggled, this, [this](bool checked) { SelSumShowToggled(2, checked); });
    connect(chart_, &TChartView::BarClicked, this, [this](int period) { DrillDown(period); });

    connect(btOpdater_, &QPushButton::clicked, this, [this] { UpdateGraph(); });
    connect(button4, &QPushButton::clicked, this, [this] { ResetZoom(); });
    connect(button1, &QPushButton::clicked, this, [this] { PrintChart(); });
    connect(button2, &QPushButton::clicked, this, [this] { SaveBmp(); });
    connect(button3, &QPushButton::clicked, this, [this] { SaveJpg(); });
    connect(button5, &QPushButton::clicked, this, [this] { ExportView(); });
    connect(button6, &QPushButton::clicked, this, [this] { ExportAll(); });
    connect(button7_, &QPushButton::clicked, this, [this] { FillTestData(); });
}

void TDataFrame::SetEventLog(TEventLog* log) {
    log_ = log;
    if (ownStore_) ownStore_->SetEventLog(log);
}

// ---- Graph ----

void TDataFrame::UpdateGraph() {
    SyncChannelControls();
    ComputePeriodTable(store_.RawLines(), Channels().Count(), Channels().LogLineFormat(), Options(), table_);
    // Fill only queues the repaint: the drawing runs once the caller is back in
    // the event loop, after everything that follows a new record.
    chart_->Fill(table_);
    if (OnUpdateGraph) OnUpdateGraph();
}

TPeriodOptions TDataFrame::Options() const {
    TPeriodOptions o;
    o.dataToShow = DataToShow();
    o.showPer = ShowPer();
    o.customStart = FromQDateTime(dtpCustomStart_->dateTime());
    o.customEnd = FromQDateTime(dtpCustomEnd_->dateTime());
    const int n = Channels().Count();
    o.selSum1.resize(n);
    o.selSum2.resize(n);
    for (int c = 0; c < n; ++c) {
        o.selSum1[c] = Checked(clbSelSum1_, c);
        o.selSum2[c] = Checked(clbSelSum2_, c);
    }
    o.now = clock_->NowDT();
    return o;
}

void TDataFrame::FillList(QListWidget* list) {
    list->clear();
    for (int i = 0; i < Channels().Count(); ++i) {
        auto* item = new QListWidgetItem(Channels().Name(i), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
}

void TDataFrame::SyncChannelControls() {
    const int n = Channels().Count();
    bool rebuilt = false;
    if (clbVisCounter_->count() != n) {
        syncing_ = true;
        for (QListWidget* list : {clbVisCounter_, clbSelSum1_, clbSelSum2_}) FillList(list);
        syncing_ = false;
        rebuilt = true;
    }
    if (chart_->ChannelSeriesCount() != n) chart_->SyncChannels(ChannelNames(), ChannelColors());
    // Fresh lists show every channel; series kept from before must follow them.
    if (rebuilt) ApplyChannelVisibility();
}

void TDataFrame::ApplyChannelVisibility() {
    const int n = std::min(chart_->ChannelSeriesCount(), clbVisCounter_->count());
    for (int i = 0; i < n; ++i) chart_->SetSeriesVisible(i, Checked(clbVisCounter_, i));
}

void TDataFrame::ListItemChanged(QListWidget* list, QListWidgetItem*) {
    if (syncing_) return;
    ApplyChannelVisibility();
    if ((list == clbSelSum1_ && cbSelSum1_->isChecked()) || (list == clbSelSum2_ && cbSelSum2_->isChecked()))
        UpdateGraph();
}

void TDataFrame::SelSumShowToggled(int which, bool checked) {
    if (checked) UpdateGraph();
    chart_->SetSeriesVisible(which == 1 ? chart_->SelSum1Series() : chart_->SelSum2Series(), checked);
}

void TDataFrame::RefreshChannelNames() {
    chart_->RefreshChannelNames(ChannelNames());
    syncing_ = true;
    for (QListWidget* list : {clbVisCounter_, clbSelSum1_, clbSelSum2_})
        for (int i = 0; i < list->count() && i < Channels().Count(); ++i) list->item(i)->setText(Channels().Name(i));
    syncing_ = false;
}

void TDataFrame::EnablePickers() {
    const bool custom = rbCustom_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{dtpCustomStart_, dtpCustomEnd_, lblStart_, lblEnd_})
        w->setEnabled(custom);
}

void TDataFrame::DrillDown(int period) {
    if (period < 0 || period >= table_.periodCount) return;
    rbCustom_->setChecked(true);
    dtpCustomStart_->setDateTime(ToQDateTime(table_.periodStarts[period]));
    dtpCustomEnd_->setDateTime(ToQDateTime(table_.periodEnds[period]));
}

void TDataFrame::ResetZoom() { chart_->ResetZoom(); }

// ---- View options ----

void TDataFrame::SetDataToShow(int value) {
    if (QAbstractButton* b = dataToShow_->button(value)) b->setChecked(true);
}

int TDataFrame::DataToShow() const { return std::max(0, dataToShow_->checkedId()); }

void TDataFrame::SetShowPer(int value) {
    if (QAbstractButton* b = showPer_->button(value)) b->setChecked(true);
}

int TDataFrame::ShowPer() const { return std::max(0, showPer_->checkedId()); }

void TDataFrame::SetMask(QListWidget* list, QCheckBox* box, int mask) {
    syncing_ = true;
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Bit(mask, i) ? Qt::Checked : Qt::Unchecked);
    syncing_ = false;
    box->setChecked(Bit(mask, Channels().Count()));
}

int TDataFrame::Mask(const QListWidget* list, const QCheckBox* box) const {
    unsigned mask = 0;
    for (int i = 0; i < list->count() && i < 32; ++i)
        if (Checked(list, i)) mask |= 1u << i;
    const int n = Channels().Count();
    if (box->isChecked() && n < 32) mask |= 1u << n;
    return int(mask);
}

void TDataFrame::SetShowCounter(int mask) {
    SyncChannelControls();
    SetMask(clbVisCounter_, cbSum_, mask);
    ApplyChannelVisibility();
}

int TDataFrame::ShowCounter() const { return Mask(clbVisCounter_, cbSum_); }

// The lists are made first here too, so the order of the setters cannot lose
// the memberships.
void TDataFrame::SetSelSumEnable1(int mask) {
    SyncChannelControls();
    SetMask(clbSelSum1_, cbSelSum1_, mask);
}

int TDataFrame::SelSumEnable1() const { return Mask(clbSelSum1_, cbSelSum1_); }

void TDataFrame::SetSelSumEnable2(int mask) {
    SyncChannelControls();
    SetMask(clbSelSum2_, cbSelSum2_, mask);
}

int TDataFrame::SelSumEnable2() const { return Mask(clbSelSum2_, cbSelSum2_); }

void TDataFrame::SetStart(TDateTime day) { dtpCustomStart_->setDateTime(ToQDateTime(DateOf(day))); }

TDateTime TDataFrame::Start() const { return RoundToWholeDay(FromQDateTime(dtpCustomStart_->dateTime())); }

void TDataFrame::SetEnd(TDateTime day) { dtpCustomEnd_->setDateTime(ToQDateTime(DateOf(day))); }

TDateTime TDataFrame::End() const { return RoundToWholeDay(FromQDateTime(dtpCustomEnd_->dateTime())); }

// ---- Pictures and printing ----

void TDataFrame::PrintChart() {
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!AskPrinter || !AskPrinter(*printer_)) return;
    if (!chart_->Print(*printer_)) ShowError(QStringLiteral("Could not print the chart"));
}

bool TDataFrame::SaveBmp() {
    const QString name = AskName(QStringLiteral("Save BMP"), kBmpFilter, QStringLiteral("bmp"));
    if (name.isEmpty()) return false;
    QString error;
    if (!chart_->SaveBmp(name, &error)) {
        ShowError(error);
        return false;
    }
    ShowInfo(QStringLiteral("BMP file saved"));
    return true;
}

bool TDataFrame::SaveJpg() {
    const QString name = AskName(QStringLiteral("Save JPG"), kJpgFilter, QStringLiteral("jpg"));
    if (name.isEmpty()) return false;
    QString error;
    if (!chart_->SaveJpg(name, QDir::current().absoluteFilePath(QStringLiteral("tmp.bmp")), &error)) {
        ShowError(error);
        return false;
    }
    return true;
}

// ---- Spreadsheets ----

bool TDataFrame::ExportAll() {
    const QString name = AskName(QStringLiteral("Export All"), kXlsFilter, QStringLiteral("xls"));
    if (name.isEmpty()) return false;
    TExportTable table;
    QString error;
    // A line without a valid date stops the export before any file is touched.
    if (!BuildExportAllTable(store_.RawLines(), Channels().Count(), Channels().LogLineFormat(), ChannelNames(), table, &error)) {
        ShowError(error);
        return false;
    }
    return WriteSpreadsheet(table, name);
}

TExportTable TDataFrame::ExportViewTable() const {
    TExportViewColumns columns;
    const int n = Channels().Count();
    columns.channelShown.resize(n);
    for (int c = 0; c < n; ++c) columns.channelShown[c] = Checked(clbVisCounter_, c);
    columns.sum = cbSum_->isChecked();
    columns.selSum1 = cbSelSum1_->isChecked();
    columns.selSum2 = cbSelSum2_->isChecked();
    return BuildExportViewTable(table_, ChannelNames(), columns);
}

bool TDataFrame::ExportView() {
    UpdateGraph();
    const QString name = AskName(QStringLiteral("Export View"), kXlsFilter, QStringLiteral("xls"));
    if (name.isEmpty()) return false;
    return WriteSpreadsheet(ExportViewTable(), name);
}

bool TDataFrame::WriteSpreadsheet(const TExportTable& table, const QString& fileName) {
    QString error;
    const bool xlsx = fileName.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
    const bool ok = xlsx ? SaveGridAsXlsx(table, fileName, &error) : SaveGridAsXls(table, fileName, &error);
    if (!ok) ShowError(error.isEmpty() ? QStringLiteral("Could not save XLS-file") : error);
    return ok;
}

// ---- Dialogs and boxes ----

QString TDataFrame::AskName(const QString& caption, const QString& filter, const QString& defaultSuffix) {
    return AskSaveFileName ? AskSaveFileName(caption, filter, defaultSuffix) : QString();
}

QString TDataFrame::DefaultAskSaveFileName(const QString& caption, const QString& filter,
                                           const QString& defaultSuffix) {
    QFileDialog dlg(this, caption);
    dlg.setObjectName(defaultSuffix.toUpper() + QStringLiteral("SaveDialog"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setNameFilters(filter.split(QStringLiteral(";;")));
    dlg.setDefaultSuffix(defaultSuffix);
    // The chosen type decides the extension a bare name gets.
    connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg, defaultSuffix](const QString& f) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\(\\*\\.(\\w+)\\)")).match(f);
        dlg.setDefaultSuffix(m.hasMatch() ? m.captured(1) : defaultSuffix);
    });
    for (;;) {
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
        const QString name = dlg.selectedFiles().first();
        if (QFileInfo(name).absoluteDir().exists()) return name;
        QMessageBox::warning(this, caption,
                             QStringLiteral("The folder \"%1\" does not exist.")
                                 .arg(QDir::toNativeSeparators(QFileInfo(name).absolutePath())));
    }
}

void TDataFrame::ShowError(const QString& text) {
    if (log_) log_->LogTo(text, 2, false, true, false);
    else QMessageBox::critical(this, QStringLiteral("Error"), text);
}

void TDataFrame::ShowInfo(const QString& text) {
    if (log_) log_->LogForced(text, 0, false, true);
    else QMessageBox::information(this, QStringLiteral("Information"), text);
}

// ---- Text view and store ----

void TDataFrame::SetWholeText() {
    QByteArray all;
    qsizetype total = 0;
    for (const QByteArray& l : store_.RawLines()) total += l.size() + 1;
    all.reserve(total);
    for (qsizetype i = 0; i < store_.RawLines().size(); ++i) {
        if (i) all += '\n';
        all += store_.RawLines()[i];
    }
    logData_->setPlainText(QString::fromLatin1(all));
}

void TDataFrame::StoreChanged(TStoreChange change, int index) {
    switch (change) {
    case TStoreChange::Added:
        if (appendFrom_ < 0 || index < appendFrom_) appendFrom_ = index;
        graphPending_ = true;
        break;
    case TStoreChange::Loaded:
        loadedPending_ = true;
        [[fallthrough]];
    case TStoreChange::Deleted:
    case TStoreChange::Cleared:
        wholePending_ = true;
        graphPending_ = true;
        break;
    case TStoreChange::Filled:
        wholePending_ = true;   // the graph waits for "&Update graph"
        break;
    }
    refreshTimer_->start();
}

void TDataFrame::FlushRefresh() {
    refreshTimer_->stop();
    if (wholePending_) {
        SetWholeText();
    } else if (appendFrom_ >= 0) {
        // New lines only: append them rather than setting the whole text again.
        for (int i = appendFrom_; i < store_.LineCount(); ++i) logData_->appendPlainText(store_.GetLine(i));
    }
    const bool anyText = wholePending_ || appendFrom_ >= 0;
    wholePending_ = false;
    appendFrom_ = -1;
    if (anyText) ShowLineCount();
    if (loadedPending_) {
        loadedPending_ = false;
        ComputeRange();
        dtpCustomStart_->setDateTime(rangeStart_);
        dtpCustomEnd_->setDateTime(rangeEnd_);
        if (OnFileRange) OnFileRange(rangeStart_, rangeEnd_);
    }
    if (graphPending_) {
        graphPending_ = false;
        UpdateGraph();
    }
}

// The range of "All": only the time stamps of the first and last line count,
// so a damaged count field does not change it.
void TDataFrame::ComputeRange() {
    const QDateTime now = clock_->Now();
    rangeStart_ = rangeEnd_ = now;
    if (store_.LineCount() == 0) return;
    const int layout = Channels().LogLineFormat();
    TLogRecordTime first, last;
    TDateTime a = 0, b = 0;
    if (!ReadLineDate(layout, QByteArrayView(store_.RawLines().first()), first) || !LineDate(first, a)) return;
    if (!ReadLineDate(layout, QByteArrayView(store_.RawLines().last()), last) || !LineDate(last, b)) return;
    rangeStart_ = ToQDateTime(a);
    rangeEnd_ = ToQDateTime(b + EncodeTime(23, 59, 59));
}

void TDataFrame::ShowLineCount() {
    if (statusPanel_ && showLineCount_) statusPanel_->setText("Ln: " + QString::number(store_.LineCount()));
}

void TDataFrame::SetStatusPanel(QLabel* panel, bool showLineCount) {
    statusPanel_ = panel;
    showLineCount_ = showLineCount;
}

void TDataFrame::SetTestDataButtonVisible(bool visible) { button7_->setVisible(visible); }

void TDataFrame::FillTestData() {
    store_.Clear();
    QList<QByteArray> lines;
    lines.reserve(8760);
    QRandomGenerator* rng = QRandomGenerator::global();
    for (int month = 1; month <= 12; ++month) {
        const int days = QDate(2011, month, 1).daysInMonth();
        for (int day = 1; day <= days; ++day) {
            for (int hour = 0; hour < 24; ++hour) {
                int c[3] = {0, 0, 0};
                if (hour >= 10 && hour <= 20)
                    for (int& v : c) v = int(rng->bounded(50));
                char buf[64];
                const int len = std::snprintf(buf, sizeof buf, "%02d,%02d,%02d,%4d,%5d,%5d,%5d", hour, day,
                                              month, 2011, c[0], c[1], c[2]);
                lines.append(QByteArray(buf, len));
            }
        }
    }
    store_.SetLines(std::move(lines));
}

} // namespace za
