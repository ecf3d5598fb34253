#include "TestSupport.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace zt {

void TRecordingChannel::ShowBox(za::TBoxKind kind, const QString& text) {
    boxes.push_back({kind, text});
    if (whileOpen) whileOpen();
}

QStringList TRecordingChannel::Texts() const {
    QStringList out;
    for (const auto& b : boxes) out << b.text;
    return out;
}

TScratchDir::TScratchDir() { dir_.setAutoRemove(true); }

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromLatin1(f.readAll());
}

QStringList ReadLines(const QString& path) {
    QString all = ReadAll(path);
    all.replace("\r\n", "\n");
    QStringList lines = all.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QByteArray Frame(uint8_t type, const QByteArray& payload) {
    QByteArray f;
    f.append(char(0x02)).append(char(payload.size() + 5)).append(char(type)).append(payload);
    int sum = 0x03;
    for (char b : f) sum += uint8_t(b);
    f.append(char((256 - sum % 256) % 256)).append(char(0x03));
    return f;
}

QJsonArray ReadSpreadsheet(const QString& file) {
    static const char* kXlrd = R"(
import os, sys, json, xlrd
s = xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, "w"), encoding_override="latin-1").sheet_by_index(0)
print(json.dumps([[s.cell_value(r, c) for c in range(s.ncols)] for r in range(s.nrows)]))
)";
    static const char* kOpenpyxl = R"(
import sys, json, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
print(json.dumps([[c.value for c in row] for row in ws.iter_rows()]))
)";
    QProcess p;
    // Debian's readers import only under Debian's own interpreter.
    p.start("/usr/bin/python3", {"-c", file.endsWith(".xlsx") ? kOpenpyxl : kXlrd, file});
    if (!p.waitForFinished(30000)) {
        ADD_FAILURE() << "spreadsheet reader did not finish";
        return {};
    }
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace zt
