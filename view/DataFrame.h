#pragma once
// The data view: the lines of one log file as text ("View as Text") and, on
// the second tab, the chart of their period sums with the view options and
// the picture, print and spreadsheet functions ("View as Graph").
#include <QDateTime>
#include <QWidget>
#include <functional>
#include <memory>
#include "logdata/LogStore.h"
#include "PeriodTable.h"
#include "config/DateTime.h"

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace za {

class TChartView;
class TClock;
struct TExportTable;
class TEventLog;

class TDataFrame : public QWidget {
    Q_OBJECT
public:
    // Shows a store of its own, read with the given channel set (the log file
    // viewer), or a store owned elsewhere (the current log file's data), which
    // must outlive the frame. log: receives "Could not save logdata" (own
    // store) and the boxes of the graph tab; clock: "now" for the ranges. Both
    // may be nullptr (no log: plain message boxes; the system clock). viewer:
    // the log file viewer's variant (its chart colours, the "TestData" button shown).
    TDataFrame(QWidget* parent, const TChannelSet& channels, TEventLog* log = nullptr, const TClock* clock = nullptr,
               bool viewer = false);
    TDataFrame(QWidget* parent, TLogStore& store, TEventLog* log = nullptr, const TClock* clock = nullptr,
               bool viewer = false);
    ~TDataFrame() override;

    TLogStore& Store() { return store_; }
    const TLogStore& Store() const { return store_; }
    const TChannelSet& Channels() const { return store_.Channels(); }
    // Also hands the log to an own store.
    void SetEventLog(TEventLog* log);

    // The text view and the graph follow the store from the event loop; this
    // brings them up to date now.
    void FlushRefresh();

    // Store operations; every change refreshes the text view and then the graph
    // (from the event loop).
    int LineCount() const { return store_.LineCount(); }
    QString GetLine(int i) const { return store_.GetLine(i); }
    void AddLine(const QString& line) { store_.AddLine(line); }
    void DeleteLine(int i) { store_.DeleteLine(i); }
    void Clear() { store_.Clear(); }
    // Also sets the custom range pickers to the file's range.
    bool LoadFromFile(const QString& fileName) { return store_.LoadFromFile(fileName); }
    bool SaveToFile(const QString& fileName) { return store_.SaveToFile(fileName); }
    int DaySum(int year, int month, int day) const { return store_.DaySum(year, month, day); }
    bool HasRecord(int minute, int hour, int day, int month, int year) const {
        return store_.HasRecord(minute, hour, day, month, year);
    }

    // Brings the check lists and channel series in line with the channel count,
    // computes the period table from the view options and refills the chart.
    // The chart is repainted from the event loop, so a caller that has more to
    // do (the record path's Ack) is not held up by the drawing.
    virtual void UpdateGraph();
    // Runs at the end of every UpdateGraph.
    std::function<void()> OnUpdateGraph;

    // After each load: first line's date at 00:00 to last line's date at 23:59:59,
    // or now twice when the store is empty or either line has no valid date.
    std::function<void(const QDateTime& start, const QDateTime& end)> OnFileRange;
    QDateTime RangeStart() const { return rangeStart_; }
    QDateTime RangeEnd() const { return rangeEnd_; }

    // The whole year 2011, hours 10 to 20 with random counts 0..49 on three
    // channels; the graph is not recomputed.
    void FillTestData();

    // View options. DataToShow 0 All .. 4 Custom, ShowPer 0 Week, 1 Day,
    // 2 Hour: any other value changes nothing. The masks hold bit i for channel
    // i+1 and bit N for the check box ("S&um" or "Show"). Start and End read
    // back as the nearest whole day; setting them puts the picker to that day
    // at 00:00.
    void SetDataToShow(int value);
    int DataToShow() const;
    void SetShowPer(int value);
    int ShowPer() const;
    void SetShowCounter(int mask);
    int ShowCounter() const;
    void SetSelSumEnable1(int mask);
    int SelSumEnable1() const;
    void SetSelSumEnable2(int mask);
    int SelSumEnable2() const;
    void SetStart(TDateTime day);
    TDateTime Start() const;
    void SetEnd(TDateTime day);
    TDateTime End() const;

    // Channel names into the series titles and the three check lists.
    void RefreshChannelNames();

    // Ask for a file name and write a spreadsheet: .xlsx when that is chosen,
    // the binary worksheet otherwise. True when the file was written; a
    // failure is shown in an error box.
    bool ExportAll();
    bool ExportView();

    // The chart buttons.
    void PrintChart();
    bool SaveBmp();
    bool SaveJpg();
    void ResetZoom();

    // Every save dialog of the frame: returns the chosen name, "" when cancelled.
    // The default is a file dialog that needs an existing folder.
    std::function<QString(const QString& caption, const QString& filter, const QString& defaultSuffix)>
        AskSaveFileName;
    // The printer dialog: true when the user confirms. The default is QPrintDialog.
    std::function<bool(QPrinter& printer)> AskPrinter;

    // panel gets "Ln: <count>" on every change of the text, but only when
    // showLineCount is set (the main window attaches its panel without it).
    void SetStatusPanel(QLabel* panel, bool showLineCount = false);
    void SetTestDataButtonVisible(bool visible);

    const TPeriodTable& PeriodTable() const { return table_; }
    bool Viewer() const { return viewer_; }

    QTabWidget* Tabs() const { return tabs_; }
    QWidget* GraphTab() const { return graphTab_; }
    QPlainTextEdit* LogData() const { return logData_; }
    TChartView* Chart1() const { return chart_; }
    QWidget* Panel1() const { return panel_; }
    QPushButton* Button7() const { return button7_; }

private:
    TDataFrame(QWidget* parent, std::unique_ptr<TLogStore> own, TEventLog* log, const TClock* clock, bool viewer,
               TLogStore* shown = nullptr);
    QStringList ChannelNames() const;
    QVector<int> ChannelColors() const;
    void BuildGraphTab();
    void StoreChanged(TStoreChange change, int index);
    void SetWholeText();
    void ShowLineCount();
    void ComputeRange();

    void SyncChannelControls();
    void FillList(QListWidget* list);
    void ApplyChannelVisibility();
    void ListItemChanged(QListWidget* list, QListWidgetItem* item);
    void SelSumShowToggled(int which, bool checked);
    void SetMask(QListWidget* list, QCheckBox* box, int mask);
    int Mask(const QListWidget* list, const QCheckBox* box) const;
    void EnablePickers();
    void DrillDown(int period);
    TPeriodOptions Options() const;
    TExportTable ExportViewTable() const;
    bool WriteSpreadsheet(const TExportTable& table, const QString& fileName);
    QString AskName(const QString& caption, const QString& filter, const QString& defaultSuffix);
    QString DefaultAskSaveFileName(const QString& caption, const QString& filter, const QString& defaultSuffix);
    void ShowError(const QString& text);
    void ShowInfo(const QString& text);

    std::unique_ptr<TLogStore> ownStore_;
    TLogStore& store_;
    TEventLog* log_;
    const TClock* clock_;
    bool viewer_;
    TPeriodTable table_;                         // kept between refreshes for its storage
    // Set while the frame changes check marks itself, so only the user's
    // clicks count as clicks.
    bool syncing_ = false;

    QTabWidget* tabs_;
    QWidget* textTab_;
    QWidget* graphTab_;
    QPlainTextEdit* logData_;
    TChartView* chart_ = nullptr;
    QWidget* panel_ = nullptr;
    QButtonGroup* dataToShow_ = nullptr;
    QButtonGroup* showPer_ = nullptr;
    QRadioButton* rbAll_ = nullptr;
    QRadioButton* rbCustom_ = nullptr;
    QRadioButton* rbShowPerWeek_ = nullptr;
    QDateEdit* dtpCustomStart_ = nullptr;
    QDateEdit* dtpCustomEnd_ = nullptr;
    QLabel* lblStart_ = nullptr;
    QLabel* lblEnd_ = nullptr;
    QListWidget* clbVisCounter_ = nullptr;
    QListWidget* clbSelSum1_ = nullptr;
    QListWidget* clbSelSum2_ = nullptr;
    QCheckBox* cbSum_ = nullptr;
    QCheckBox* cbSelSum1_ = nullptr;
    QCheckBox* cbSelSum2_ = nullptr;
    QPushButton* btOpdater_ = nullptr;
    QPushButton* button7_ = nullptr;
    std::unique_ptr<QPrinter> printer_;          // kept, so its settings last between prints
    QLabel* statusPanel_ = nullptr;
    bool showLineCount_ = false;
    QDateTime rangeStart_, rangeEnd_;
    // What the next refresh must do.
    QTimer* refreshTimer_ = nullptr;
    bool wholePending_ = false;
    bool loadedPending_ = false;
    bool graphPending_ = false;
    int appendFrom_ = -1;
};

} // namespace za
