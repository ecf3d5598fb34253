#include "DataFrame.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <cstdio>
#include "config/Clock.h"

namespace za {

TDataFrame::TDataFrame(QWidget* parent, TEventLog* log, const TClock* clock)
    : QWidget(parent), store_(log), clock_(clock ? clock : &SystemClock()) {
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
    tabs_->setCurrentIndex(0);
    layout->addWidget(tabs_, 1);

    auto* buttons = new QHBoxLayout;
    button7_ = new QPushButton("TestData", this);
    button7_->setObjectName("Button7");
    buttons->addWidget(button7_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(button7_, &QPushButton::clicked, this, [this] { FillTestData(); });

    store_.OnChanged = [this](TStoreChange change, int index) { StoreChanged(change, index); };
    rangeStart_ = rangeEnd_ = clock_->Now();
}

void TDataFrame::UpdateGraph() {
    if (OnUpdateGraph) OnUpdateGraph();
}

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
        // One new line: append it rather than setting the whole text again.
        logData_->appendPlainText(store_.GetLine(index));
        break;
    case TStoreChange::Deleted: {
        QTextBlock block = logData_->document()->findBlockByNumber(index);
        if (!block.isValid() || logData_->document()->blockCount() != store_.LineCount() + 1) {
            SetWholeText();
            break;
        }
        QTextCursor c(block);
        c.select(QTextCursor::BlockUnderCursor);
        if (index == 0) {
            // The first block has no separator in front; take the one after it.
            c.movePosition(QTextCursor::StartOfBlock);
            c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            if (store_.LineCount() == 0) c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        }
        c.removeSelectedText();
        break;
    }
    case TStoreChange::Cleared:
        logData_->clear();
        break;
    case TStoreChange::Loaded:
    case TStoreChange::Filled:
        SetWholeText();
        break;
    }
    ShowLineCount();
    if (change == TStoreChange::Loaded) {
        ComputeRange();
        if (OnFileRange) OnFileRange(rangeStart_, rangeEnd_);
    }
    if (change != TStoreChange::Filled) UpdateGraph();
}

void TDataFrame::ComputeRange() {
    const QDateTime now = clock_->Now();
    rangeStart_ = rangeEnd_ = now;
    if (store_.LineCount() == 0) return;
    TLogRecordTime first, last;
    QVector<int> counts;
    store_.ParseLine(store_.GetLine(0), first, counts);
    store_.ParseLine(store_.GetLine(store_.LineCount() - 1), last, counts);
    const QDate a(first.year, first.month, first.day);
    const QDate b(last.year, last.month, last.day);
    if (!a.isValid() || !b.isValid()) return;
    rangeStart_ = QDateTime(a, QTime(0, 0));
    rangeEnd_ = QDateTime(b, QTime(23, 59, 59));
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
