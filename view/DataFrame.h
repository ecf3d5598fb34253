#pragma once
// The data view: the lines of one log file as text ("View as Text") and, on
// the second tab, the chart and its controls ("View as Graph").
#include <QDateTime>
#include <QWidget>
#include <functional>
#include "LogStore.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace za {

class TClock;
class TEventLog;

class TDataFrame : public QWidget {
    Q_OBJECT
public:
    // log: receives "Could not save logdata"; clock: "now" for the range of an
    // empty file. Both may be nullptr (no log; the system clock).
    explicit TDataFrame(QWidget* parent = nullptr, TEventLog* log = nullptr, const TClock* clock = nullptr);

    TLogStore& Store() { return store_; }
    const TLogStore& Store() const { return store_; }

    // Store operations; every change refreshes the text view and then the graph.
    int LineCount() const { return store_.LineCount(); }
    QString GetLine(int i) const { return store_.GetLine(i); }
    void AddLine(const QString& line) { store_.AddLine(line); }
    void DeleteLine(int i) { store_.DeleteLine(i); }
    void Clear() { store_.Clear(); }
    bool LoadFromFile(const QString& fileName) { return store_.LoadFromFile(fileName); }
    bool SaveToFile(const QString& fileName) { return store_.SaveToFile(fileName); }
    int DaySum(int year, int month, int day) const { return store_.DaySum(year, month, day); }
    bool HasRecord(int minute, int hour, int day, int month, int year) const {
        return store_.HasRecord(minute, hour, day, month, year);
    }

    // Recomputes the graph. The default only runs OnUpdateGraph; the text view is
    // already current when it is called.
    virtual void UpdateGraph();
    std::function<void()> OnUpdateGraph;

    // After each load: first line's date at 00:00 to last line's date at 23:59:59,
    // or now twice when the store is empty or either line has no valid date.
    std::function<void(const QDateTime& start, const QDateTime& end)> OnFileRange;
    QDateTime RangeStart() const { return rangeStart_; }
    QDateTime RangeEnd() const { return rangeEnd_; }

    // The whole year 2011, hours 10 to 20 with random counts 0..49 on three
    // channels; the graph is not recomputed.
    void FillTestData();

    // panel gets "Ln: <count>" on every change of the text, but only when
    // showLineCount is set (the main window attaches its panel without it).
    void SetStatusPanel(QLabel* panel, bool showLineCount = false);
    void SetTestDataButtonVisible(bool visible);

    QTabWidget* Tabs() const { return tabs_; }
    QWidget* GraphTab() const { return graphTab_; }
    QPlainTextEdit* LogData() const { return logData_; }
    QPushButton* Button7() const { return button7_; }

private:
    void StoreChanged(TStoreChange change, int index);
    void SetWholeText();
    void ShowLineCount();
    void ComputeRange();

    TLogStore store_;
    const TClock* clock_;
    QTabWidget* tabs_;
    QWidget* textTab_;
    QWidget* graphTab_;
    QPlainTextEdit* logData_;
    QPushButton* button7_;
    QLabel* statusPanel_ = nullptr;
    bool showLineCount_ = false;
    QDateTime rangeStart_, rangeEnd_;
};

} // namespace za
