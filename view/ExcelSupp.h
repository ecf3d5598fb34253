#pragma once
// Spreadsheet files from a table of text cells: the small binary worksheet
// format that every spreadsheet program opens, and .xlsx. Plus the two tables
// the data view exports: every stored line, and the current period view.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVector>
#include "PeriodTable.h"

namespace za {

// Cells addressed by column and row from 0; row 0 holds the headings.
struct TExportTable {
    int cols = 0, rows = 0;
    QVector<QString> cells;                      // row-major

    void Resize(int columns, int rowCount) {
        cols = columns;
        rows = rowCount;
        cells.fill(QString(), qsizetype(columns) * rowCount);
    }
    const QString& Cell(int col, int row) const { return cells[qsizetype(row) * cols + col]; }
    void SetCell(int col, int row, const QString& text) { cells[qsizetype(row) * cols + col] = text; }
};

// Row and column numbers are 16-bit in the binary format.
constexpr int kXlsMaxRows = 65536;
constexpr int kXlsMaxCols = 65536;
constexpr int kXlsxMaxRows = 1048576;
constexpr int kXlsxMaxCols = 16384;

// A cell is a number when its whole text is an integer: optional leading
// spaces, optional sign, decimal digits, within the signed 32-bit range.
bool CellNumber(const QString& text, int& value);

// The file image: begin-of-file record, one cell record per cell column by
// column, end-of-file record. Texts are written as 8-bit (Latin-1) characters.
QByteArray BuildXls(const TExportTable& table);

// Both writers refuse a table beyond the format's limits, and write through a
// temporary file that is renamed over the target, so a failure leaves any
// existing file as it was and no partial file behind. error gets the reason.
bool SaveGridAsXls(const TExportTable& table, const QString& fileName, QString* error = nullptr);
bool SaveGridAsXlsx(const TExportTable& table, const QString& fileName, QString* error = nullptr);

// Date and time texts of the exports: the user's short date, a time with seconds,
// and a date-time that is the date alone at exactly 00:00.
QString TimeToStr(const QTime& time);
QString DateTimeToStr(TDateTime t);

// Every stored line as a row: "Date", "Time", the channels, "Sum", then the
// "Total Sum" row. A line without a valid date and time stops the build with
// false and an error text naming the line; nothing is to be written then.
bool BuildExportAllTable(const QList<QByteArray>& lines, int n, int layout, const QStringList& channelNames,
                         TExportTable& out, QString* error = nullptr);
bool BuildExportAllTable(const QStringList& lines, int n, int layout, const QStringList& channelNames,
                         TExportTable& out, QString* error = nullptr);

// One row per period: "Date", the period label, the shown channels (in channel
// order), then "Sum", "Selected Sum 1", "Selected Sum 2" as chosen, and the
// "Total Sum" row.
struct TExportViewColumns {
    QVector<bool> channelShown;                  // index = channel; missing = hidden
    bool sum = true, selSum1 = false, selSum2 = false;
};
TExportTable BuildExportViewTable(const TPeriodTable& table, const QStringList& channelNames,
                                  const TExportViewColumns& columns);

} // namespace za
