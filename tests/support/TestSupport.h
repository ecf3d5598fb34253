#pragma once
// Small helpers shared by the tests: a scratch folder, a message channel that
// records boxes instead of showing them, and file helpers.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QByteArray>
#include <QJsonArray>
#include <QVector>
#include <cstdint>
#include "logdata/EventLog.h"

namespace zt {

struct TRecordedBox {
    za::TBoxKind kind;
    QString text;
};

// Records every box and beep; optionally runs a callback while the "box is open"
// (to test what happens inside a modal box's nested loop).
class TRecordingChannel : public za::TMessageChannel {
public:
    void ShowBox(za::TBoxKind kind, const QString& text) override;
    void Beep() override { ++beeps; }
    QVector<TRecordedBox> boxes;
    int beeps = 0;
    std::function<void()> whileOpen;
    QStringList Texts() const;
};

class TScratchDir {
public:
    TScratchDir();
    QString Path() const { return dir_.path(); }
    QString File(const QString& name) const { return dir_.filePath(name); }
private:
    QTemporaryDir dir_;
};

QString ReadAll(const QString& path);                 // "" when missing
QStringList ReadLines(const QString& path);           // split on CR LF / LF, no empty last line
void WriteAll(const QString& path, const QByteArray& bytes);

// One counter frame built here, independently of the program's own builder:
// STX, length, type, payload, the checksum that makes the byte sum 0, ETX.
QByteArray Frame(uint8_t type, const QByteArray& payload = {});

// The cells of a spreadsheet file's first sheet as the real readers see them
// (xlrd for .xls, openpyxl for .xlsx, under Debian's own python): rows of
// strings or numbers. Empty on failure, which is also reported as a test failure.
QJsonArray ReadSpreadsheet(const QString& file);

// Runs the event loop until pred() is true or timeoutMs passed; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

} // namespace zt
