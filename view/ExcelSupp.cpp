#include "ExcelSupp.h"
#include "config/FileReplace.h"
#include "config/LocaleFormats.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryFile>
#include <QVarLengthArray>
#include <cstdio>
#include <cstring>
#include <xlsxwriter.h>

namespace za {

namespace {

void PutU16(QByteArray& out, int v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void PutDouble(QByteArray& out, double v) {
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) out.append(char((bits >> (8 * i)) & 0xFF));
}

// The record length is 16-bit and holds the text plus 8 header bytes.
constexpr int kMaxTextBytes = 0xFFFF - 8;

bool CheckSize(const TExportTable& t, int maxRows, int maxCols, const QString& kind, QString* error) {
    if (t.cols < 0 || t.rows < 0 || t.cells.size() != qsizetype(t.cols) * t.rows) {
        if (error) *error = QStringLiteral("Could not save XLS-file");
        return false;
    }
    if (t.rows > maxRows || t.cols > maxCols) {
        if (error)
            *error = QStringLiteral("The table has %1 rows and %2 columns; a %3 file holds at most %4 rows "
                                    "and %5 columns. Choose a shorter range.")
                         .arg(t.rows)
                         .arg(t.cols)
                         .arg(kind)
                         .arg(maxRows)
                         .arg(maxCols);
        return false;
    }
    return true;
}


QString TimeFormatWithSeconds() {
    // The exports want the clock time with seconds, never a time zone.
    const QString f = SystemLongTimeFormat();
    return f.contains(QLatin1Char('s')) ? f : QStringLiteral("HH:mm:ss");
}

template <typename List>
bool BuildAll(const List& lines, int n, int layout, const QStringList& names, TExportTable& out,
              QString* error) {
    n = std::max(0, n);
    const int L = int(lines.size());
    TExportTable t;
    t.Resize(n + 3, L + 2);
    t.SetCell(0, 0, QStringLiteral("Date"));
    t.SetCell(1, 0, QStringLiteral("Time"));
    for (int c = 0; c < n; ++c) t.SetCell(2 + c, 0, c < names.size() ? names[c] : QString());
    t.SetCell(n + 2, 0, QStringLiteral("Sum"));
    QVector<qint64> totals(n, 0);
    QVarLengthArray<int, 64> counts(n);
    const QLocale locale = QLocale::system();
    const QString timeFormat = TimeFormatWithSeconds();
    for (int j = 0; j < L; ++j) {
        TLogRecordTime rt;
        ReadLineFields(layout, n, lines[j], rt, counts.data());
        TDateTime day = 0;
        if (!LineDate(rt, day) || rt.hour < 0 || rt.hour > 23 || rt.minute < 0 || rt.minute > 59) {
            if (error)
                *error = QStringLiteral("Line %1 does not hold a valid date and time: '%2'")
                             .arg(j + 1)
                             .arg(QString(lines[j]));
            return false;
        }
        t.SetCell(0, j + 1, locale.toString(ToQDate(day), QLocale::ShortFormat));
        t.SetCell(1, j + 1, locale.toString(QTime(rt.hour, rt.minute, 0), timeFormat));
        qint64 sum = 0;
        for (int c = 0; c < n; ++c) {
            t.SetCell(2 + c, j + 1, QString::number(counts[c]));
            totals[c] += counts[c];
            sum += counts[c];
        }
        t.SetCell(n + 2, j + 1, QString::number(sum));
    }
    t.SetCell(1, L + 1, QStringLiteral("Total Sum"));
    qint64 all = 0;
    for (int c = 0; c < n; ++c) {
        t.SetCell(2 + c, L + 1, QString::number(totals[c]));
        all += totals[c];
    }
    t.SetCell(n + 2, L + 1, QString::number(all));
    out = std::move(t);
    return true;
}

} // namespace

bool CellNumber(const QString& text, int& value) { return ReadIntField(QStringView(text), value); }

QByteArray BuildXls(const TExportTable& t) {
    QByteArray out;
    out.reserve(16 + t.cells.size() * 18);
    static const char bof[] = {0x09, 0x08, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
    out.append(bof, sizeof bof);
    for (int c = 0; c < t.cols; ++c) {
        for (int r = 0; r < t.rows; ++r) {
            const QString& text = t.Cell(c, r);
            int v = 0;
            if (CellNumber(text, v)) {
                PutU16(out, 0x0203);
                PutU16(out, 14);
                PutU16(out, r);
                PutU16(out, c);
                PutU16(out, 0);
                PutDouble(out, double(v));
            } else {
                QByteArray bytes = text.toLatin1();
                if (bytes.size() > kMaxTextBytes) bytes.truncate(kMaxTextBytes);
                PutU16(out, 0x0204);
                PutU16(out, int(bytes.size()) + 8);
                PutU16(out, r);
                PutU16(out, c);
                PutU16(out, 0);
                PutU16(out, int(bytes.size()));
                out.append(bytes);
            }
        }
    }
    static const char eof[] = {0x0A, 0x00, 0x00, 0x00};
    out.append(eof, sizeof eof);
    return out;
}

bool SaveGridAsXls(const TExportTable& table, const QString& fileName, QString* error) {
    if (!CheckSize(table, kXlsMaxRows, kXlsMaxCols, QStringLiteral("XLS"), error)) return false;
    return ReplaceFileContents(fileName, BuildXls(table), error);
}

bool SaveGridAsXlsx(const TExportTable& table, const QString& fileName, QString* error) {
    if (!CheckSize(table, kXlsxMaxRows, kXlsxMaxCols, QStringLiteral("XLSX"), error)) return false;
    const QFileInfo target(fileName);
    if (target.isDir()) {
        if (error) *error = CreateFileError(fileName, QStringLiteral("It is a folder."));
        return false;
    }
    // A name next to the target, so the final rename stays on one file system.
    QTemporaryFile tmp(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                       QStringLiteral(".XXXXXX"));
    if (!tmp.open()) {
        if (error) *error = CreateFileError(fileName, tmp.errorString());
        return false;
    }
    const QString tmpName = tmp.fileName();
    tmp.close();
    const QByteArray tmpPath = QFile::encodeName(tmpName);

    lxw_workbook* wb = workbook_new(tmpPath.constData());
    if (!wb) {
        if (error) *error = CreateFileError(fileName, QStringLiteral("Could not save XLS-file"));
        return false;
    }
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    lxw_error err = ws ? LXW_NO_ERROR : LXW_ERROR_MEMORY_MALLOC_FAILED;
    for (int r = 0; r < table.rows && err == LXW_NO_ERROR; ++r) {
        for (int c = 0; c < table.cols && err == LXW_NO_ERROR; ++c) {
            const QString& text = table.Cell(c, r);
            if (text.isEmpty()) continue;
            int v = 0;
            if (CellNumber(text, v))
                err = worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), double(v), nullptr);
            else
                err = worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), text.toUtf8().constData(), nullptr);
        }
    }
    const lxw_error closeErr = workbook_close(wb);        // frees wb in every case
    if (err == LXW_NO_ERROR) err = closeErr;
    if (err != LXW_NO_ERROR) {
        QFile::remove(tmpName);
        if (error) *error = CreateFileError(fileName, QString::fromUtf8(lxw_strerror(err)));
        return false;
    }
    if (std::rename(tmpPath.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(tmpName);
        if (error) *error = CreateFileError(fileName, reason);
        return false;
    }
    tmp.setAutoRemove(false);
    // QTemporaryFile creates its file readable by the owner only.
    QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

QString TimeToStr(const QTime& time) { return QLocale::system().toString(time, TimeFormatWithSeconds()); }

QString DateTimeToStr(TDateTime t) {
    const TDateParts p = SplitDateTime(t);
    const QString date = QLocale::system().toString(QDate(p.year, p.month, p.day), QLocale::ShortFormat);
    if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.msec == 0) return date;
    return date + QLatin1Char(' ') + TimeToStr(QTime(p.hour, p.minute, p.second));
}

bool BuildExportAllTable(const QList<QByteArray>& lines, int n, int layout, const QStringList& channelNames,
                         TExportTable& out, QString* error) {
    return BuildAll(lines, n, layout, channelNames, out, error);
}

bool BuildExportAllTable(const QStringList& lines, int n, int layout, const QStringList& channelNames,
                         TExportTable& out, QString* error) {
    return BuildAll(lines, n, layout, channelNames, out, error);
}

TExportTable BuildExportViewTable(const TPeriodTable& pt, const QStringList& names,
                                  const TExportViewColumns& columns) {
    const int n = pt.channelCount;
    const int P = pt.periodCount;
    // Each value column: heading and the P values.
    struct TColumn {
        QString heading;
        const int* values;
    };
    QVector<TColumn> valueCols;
    for (int c = 0; c < n; ++c) {
        if (c < columns.channelShown.size() && columns.channelShown[c])
            valueCols.append({c < names.size() ? names[c] : QString(), pt.channelSums.constData() + qsizetype(c) * P});
    }
    if (columns.sum) valueCols.append({QStringLiteral("Sum"), pt.total.constData()});
    if (columns.selSum1) valueCols.append({QStringLiteral("Selected Sum 1"), pt.selSum1.constData()});
    if (columns.selSum2) valueCols.append({QStringLiteral("Selected Sum 2"), pt.selSum2.constData()});

    TExportTable t;
    t.Resize(2 + int(valueCols.size()), P + 2);
    t.SetCell(0, 0, QStringLiteral("Date"));
    t.SetCell(1, 0, pt.showPer == spDay ? QStringLiteral("Day")
                    : pt.showPer == spHour ? QStringLiteral("Hour")
                                           : QStringLiteral("Week"));
    for (int k = 0; k < valueCols.size(); ++k) t.SetCell(2 + k, 0, valueCols[k].heading);
    for (int i = 0; i < P; ++i) {
        t.SetCell(0, i + 1, DateTimeToStr(pt.periodStarts[i]));
        t.SetCell(1, i + 1, pt.labels[i]);
    }
    t.SetCell(1, P + 1, QStringLiteral("Total Sum"));
    for (int k = 0; k < valueCols.size(); ++k) {
        qint64 total = 0;
        for (int i = 0; i < P; ++i) {
            const qint64 v = valueCols[k].values[i];
            t.SetCell(2 + k, i + 1, QString::number(v));
            total += v;
        }
        t.SetCell(2 + k, P + 1, QString::number(total));
    }
    return t;
}

} // namespace za
