// Spreadsheet export: the binary worksheet bytes, the .xlsx file, the safe
// replace of the target, and the two export tables. The written files are read
// back by independent readers (python xlrd / openpyxl).
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include "support/TestSupport.h"
#include "view/ExcelSupp.h"

using namespace za;

namespace {

TExportTable Table(int cols, int rows, const QStringList& rowMajor) {
    TExportTable t;
    t.Resize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) t.SetCell(c, r, rowMajor[r * cols + c]);
    return t;
}

QByteArray U16(int v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char(v >> 8)); }


// Numbers must come back as numbers, everything else as the text.
void ExpectSame(const TExportTable& t, const QJsonArray& rows, bool emptyIsNull) {
    ASSERT_EQ(rows.size(), t.rows);
    for (int r = 0; r < t.rows; ++r) {
        const QJsonArray row = rows[r].toArray();
        for (int c = 0; c < t.cols; ++c) {
            SCOPED_TRACE(QString("cell %1,%2").arg(c).arg(r).toStdString());
            const QJsonValue v = c < row.size() ? row[c] : QJsonValue();
            int n = 0;
            if (CellNumber(t.Cell(c, r), n)) {
                ASSERT_TRUE(v.isDouble());
                EXPECT_EQ(v.toDouble(), double(n));
            } else if (t.Cell(c, r).isEmpty() && emptyIsNull) {
                EXPECT_TRUE(v.isNull() || v.isUndefined() || v.toString().isEmpty());
            } else {
                EXPECT_EQ(v.toString(), t.Cell(c, r));
            }
        }
    }
}

const QStringList kSample = {"Date", "Week", "Sum",    //
                             "28-02-2011", "9", "12",  //
                             "", "Total Sum", " -3"};

} // namespace

TEST(Xls, RecordLayout) {
    const TExportTable t = Table(2, 2, {"Sum", "12", "", "-7"});
    const QByteArray b = BuildXls(t);
    const QByteArray bof = QByteArray::fromHex("090808000000100000000000");
    const QByteArray eof = QByteArray::fromHex("0a000000");
    // Column 0 first: (0,0) "Sum", (0,1) "", then column 1: (1,0) 12, (1,1) -7.
    QByteArray expect = bof;
    expect += QByteArray::fromHex("04020b00") + U16(0) + U16(0) + U16(0) + U16(3) + "Sum";
    expect += QByteArray::fromHex("04020800") + U16(1) + U16(0) + U16(0) + U16(0);
    double twelve = 12.0, minusSeven = -7.0;
    expect += QByteArray::fromHex("03020e00") + U16(0) + U16(1) + U16(0) +
              QByteArray(reinterpret_cast<const char*>(&twelve), 8);
    expect += QByteArray::fromHex("03020e00") + U16(1) + U16(1) + U16(0) +
              QByteArray(reinterpret_cast<const char*>(&minusSeven), 8);
    expect += eof;
    EXPECT_EQ(b.toHex(' '), expect.toHex(' '));
}

TEST(Xls, NumberOrTextByTheIntegerRule) {
    const struct {
        const char* text;
        bool number;
    } cases[] = {{"12", true},       {"  12", true},        {"+5", true},       {"-2147483648", true},
                 {"2147483648", false}, {"12 ", false},     {"1/3", false},     {"Total Sum", false},
                 {"", false},        {"1.5", false},        {"- 1", false},     {"28-02-2011", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QByteArray b = BuildXls(Table(1, 1, {c.text}));
        EXPECT_EQ(b.mid(12, 2), c.number ? QByteArray::fromHex("0302") : QByteArray::fromHex("0402"));
        EXPECT_EQ(b.size(), 12 + 4 + (c.number ? 18 : 12 + int(strlen(c.text))));
    }
}

TEST(Xls, WrittenFileReadsBack) {
    zt::TScratchDir dir;
    TExportTable t = Table(3, 3, kSample);
    t.SetCell(0, 1, QString::fromUtf8("Tæller 1"));   // 8-bit text
    const QString file = dir.File("view.xls");
    QString err;
    ASSERT_TRUE(SaveGridAsXls(t, file, &err)) << err.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), BuildXls(t));
    ExpectSame(t, zt::ReadSpreadsheet(file), true);
}

TEST(Xlsx, WrittenFileReadsBack) {
    zt::TScratchDir dir;
    TExportTable t = Table(3, 3, kSample);
    t.SetCell(0, 1, QString::fromUtf8("Tæller 1"));
    const QString file = dir.File("view.xlsx");
    QString err;
    ASSERT_TRUE(SaveGridAsXlsx(t, file, &err)) << err.toStdString();
    ExpectSame(t, zt::ReadSpreadsheet(file), true);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"view.xlsx"});
}

TEST(Xls, FailuresLeaveTheTargetAlone) {
    zt::TScratchDir dir;
    const QString file = dir.File("old.xls");
    zt::WriteAll(file, "previous content");
    // Keep the old file open as another program would.
    QFile holder(file);
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));

    TExportTable tooBig;
    tooBig.Resize(1, kXlsMaxRows + 1);
    QString err;
    EXPECT_FALSE(SaveGridAsXls(tooBig, file, &err));
    EXPECT_TRUE(err.contains("65536")) << err.toStdString();
    EXPECT_EQ(zt::ReadAll(file), "previous content");

    TExportTable xlsxTooBig;
    xlsxTooBig.Resize(kXlsxMaxCols + 1, 1);
    err.clear();
    EXPECT_FALSE(SaveGridAsXlsx(xlsxTooBig, dir.File("old.xlsx"), &err));
    EXPECT_FALSE(err.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.File("old.xlsx")));

    for (const QString& bad : {dir.File("missing/x.xls"), dir.Path()}) {
        err.clear();
        EXPECT_FALSE(SaveGridAsXls(Table(1, 1, {"1"}), bad, &err));
        EXPECT_TRUE(err.startsWith("Cannot create file")) << err.toStdString();
        err.clear();
        EXPECT_FALSE(SaveGridAsXlsx(Table(1, 1, {"1"}), bad.endsWith(".xls") ? bad + "x" : bad, &err));
        EXPECT_TRUE(err.startsWith("Cannot create file")) << err.toStdString();
    }
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xls"});

    // A good export replaces the held file; the holder still reads the old one.
    ASSERT_TRUE(SaveGridAsXls(Table(1, 1, {"1"}), file, &err));
    EXPECT_EQ(holder.readAll(), "previous content");
    EXPECT_EQ(QFile(file).size(), 12 + 18 + 4);
}

TEST(ExportAll, TableOfEveryLine) {
    const QStringList lines = {"14,31,03,2011,   12,    0,    5,   17", "15,31,03,2011,    1,    2"};
    TExportTable t;
    QString err;
    ASSERT_TRUE(BuildExportAllTable(lines, 3, 0, {"A", "B", "C"}, t, &err)) << err.toStdString();
    ASSERT_EQ(t.cols, 6);
    ASSERT_EQ(t.rows, 4);
    const QString date = DateToStr(EncodeDate(2011, 3, 31));
    const QStringList expect = {"Date", "Time", "A", "B", "C", "Sum",                          //
                                date, TimeToStr(QTime(14, 0)), "12", "0", "5", "17",           //
                                date, TimeToStr(QTime(15, 0)), "1", "2", "0", "3",             //
                                "", "Total Sum", "13", "2", "5", "20"};
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c) EXPECT_EQ(t.Cell(c, r), expect[r * 6 + c]) << c << "," << r;
    EXPECT_TRUE(TimeToStr(QTime(14, 5, 7)).contains("05")) << TimeToStr(QTime(14, 5, 7)).toStdString();
    EXPECT_TRUE(TimeToStr(QTime(14, 5, 7)).contains("07")) << TimeToStr(QTime(14, 5, 7)).toStdString();

    // Layout 1 carries the minute.
    ASSERT_TRUE(BuildExportAllTable(QList<QByteArray>{"45,07,31,03,2011,1"}, 1, 1, {"A"}, t, &err));
    EXPECT_EQ(t.Cell(1, 1), TimeToStr(QTime(7, 45)));

    // An empty store: headings and a totals row of zeros.
    ASSERT_TRUE(BuildExportAllTable(QStringList(), 2, 0, {"A", "B"}, t, &err));
    ASSERT_EQ(t.rows, 2);
    EXPECT_EQ(t.Cell(1, 1), "Total Sum");
    EXPECT_EQ(t.Cell(2, 1), "0");
    EXPECT_EQ(t.Cell(4, 1), "0");
}

TEST(ExportAll, InvalidDateStopsTheExport) {
    for (const QString& bad : {QString("10,31,04,2011,    1"), QString("garbage"), QString("24,01,04,2011,    1")}) {
        SCOPED_TRACE(bad.toStdString());
        TExportTable t;
        QString err;
        EXPECT_FALSE(BuildExportAllTable(QStringList{"10,01,04,2011,    1", bad}, 1, 0, {"A"}, t, &err));
        EXPECT_TRUE(err.contains("Line 2")) << err.toStdString();
        EXPECT_EQ(t.rows, 0);
    }
}

TEST(ExportView, ColumnsFollowTheShownSeries) {
    TPeriodOptions o;
    o.dataToShow = dsCustom;
    o.showPer = spDay;
    o.customStart = EncodeDate(2011, 2, 28);
    o.customEnd = EncodeDate(2011, 3, 1);
    o.selSum1 = {false, true, true};
    o.selSum2 = {true};
    const TPeriodTable pt =
        ComputePeriodTable(QStringList{"10,28,02,2011,1,2,3", "10,01,03,2011,10,20,30"}, 3, 0, o);

    TExportViewColumns cols;
    cols.channelShown = {true, false, true};
    cols.sum = true;
    cols.selSum1 = true;
    cols.selSum2 = false;
    const TExportTable t = BuildExportViewTable(pt, {"A", "B", "C"}, cols);
    ASSERT_EQ(t.cols, 2 + 2 + 2);
    ASSERT_EQ(t.rows, 4);
    const QStringList expect = {"Date", "Day", "A", "C", "Sum", "Selected Sum 1",              //
                                DateToStr(EncodeDate(2011, 2, 28)), "28", "1", "3", "6", "5",  //
                                DateToStr(EncodeDate(2011, 3, 1)), "1/3", "10", "30", "60", "50",  //
                                "", "Total Sum", "11", "33", "66", "55"};
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.cols; ++c) EXPECT_EQ(t.Cell(c, r), expect[r * 6 + c]) << c << "," << r;

    // Nothing shown: dates, labels and the totals row remain. Week labels are numbers.
    o.showPer = spWeek;
    const TExportTable w = BuildExportViewTable(ComputePeriodTable(QStringList(), 3, 0, o), {"A", "B", "C"},
                                                TExportViewColumns{{}, false, false, false});
    ASSERT_EQ(w.cols, 2);
    ASSERT_EQ(w.rows, 3);
    EXPECT_EQ(w.Cell(1, 0), "Week");
    EXPECT_EQ(w.Cell(1, 1), "9");
    EXPECT_EQ(w.Cell(1, 2), "Total Sum");
    const QByteArray b = BuildXls(w);
    // After BOF and the three text cells of column 0: "Week", then 9.
    int pos = 12;
    for (int k = 0; k < 3; ++k) pos += 4 + uchar(b[pos + 2]) + 256 * uchar(b[pos + 3]);
    EXPECT_EQ(b.mid(pos, 2), QByteArray::fromHex("0402"));          // "Week"
    pos += 4 + uchar(b[pos + 2]);
    EXPECT_EQ(b.mid(pos, 2), QByteArray::fromHex("0302"));          // 9
}
