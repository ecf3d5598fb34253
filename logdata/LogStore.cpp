#include "LogStore.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QVarLengthArray>
#include <climits>
#include <fcntl.h>
#include <unistd.h>
#include "Channels.h"
#include "logdata/EventLog.h"

namespace za {

namespace {

// Optional leading spaces, optional sign, decimal digits, signed 32-bit.
bool ToInt(const char* p, const char* e, int& out) {
    while (p < e && *p == ' ') ++p;
    bool neg = false;
    if (p < e && (*p == '+' || *p == '-')) {
        neg = *p == '-';
        ++p;
    }
    if (p == e) return false;
    long long v = 0;
    for (; p < e; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    out = int(v);
    return true;
}

// Walks the comma-separated fields of one line; past the last separator every
// further field is empty.
struct TFieldReader {
    const char* p;
    const char* end;
    bool done = false;
    void Next(const char*& b, const char*& e) {
        if (done) {
            b = e = end;
            return;
        }
        b = p;
        while (p < end && *p != ',') ++p;
        e = p;
        if (p < end) ++p;
        else done = true;
    }
};

} // namespace

bool ParseRawLine(int layout, int n, const char* data, int size, TLogRecordTime& t, int* counts) {
    t = TLogRecordTime();
    if (layout != 0 && layout != 1) return false;
    TFieldReader r{data, data + size};
    const char *b, *e;
    int head[5] = {0, 0, 0, 0, 0};
    const int first = layout == 0 ? 1 : 0;   // layout 0 has no minute field
    for (int k = first; k < 5; ++k) {
        r.Next(b, e);
        if (!ToInt(b, e, head[k])) return false;
    }
    if (counts) {
        for (int i = 0; i < n; ++i) {
            r.Next(b, e);
            if (b == e) counts[i] = 0;
            else if (!ToInt(b, e, counts[i])) return false;
        }
    }
    t.minute = head[0];
    t.hour = head[1];
    t.day = head[2];
    t.month = head[3];
    t.year = head[4];
    return true;
}

QString TLogStore::GetLine(int i) const {
    if (i < 0 || i >= lines_.size()) return QString();
    return QString::fromLatin1(lines_[i]);
}

void TLogStore::AddLine(const QString& line) {
    lines_.append(line.toLatin1());
    Notify(TStoreChange::Added, int(lines_.size()) - 1);
}

void TLogStore::DeleteLine(int i) {
    if (i < 0 || i >= lines_.size()) return;
    lines_.removeAt(i);
    Notify(TStoreChange::Deleted, i);
}

void TLogStore::Clear() {
    lines_.clear();
    Notify(TStoreChange::Cleared, -1);
}

void TLogStore::SetLines(QList<QByteArray> lines) {
    lines_ = std::move(lines);
    Notify(TStoreChange::Filled, -1);
}

QList<QByteArray> TLogStore::SplitLines(const QByteArray& bytes) {
    QList<QByteArray> out;
    const char* d = bytes.constData();
    const int size = int(bytes.size());
    int start = 0;
    for (int i = 0; i < size; ++i) {
        const char c = d[i];
        if (c != '\r' && c != '\n') continue;
        out.append(QByteArray(d + start, i - start));
        if (c == '\r' && i + 1 < size && d[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < size) out.append(QByteArray(d + start, size - start));
    return out;
}

bool TLogStore::LoadFromFile(const QString& fileName) {
    // A file that cannot be read leaves the lines as they are; the view is
    // refreshed all the same.
    QFile f(fileName);
    bool ok = f.open(QIODevice::ReadOnly);
    if (ok) {
        const QByteArray bytes = f.readAll();
        ok = f.error() == QFileDevice::NoError;
        if (ok) lines_ = SplitLines(bytes);
    }
    Notify(TStoreChange::Loaded, -1);
    return ok;
}

bool WriteFileAtomic(const QString& fileName, const QByteArray& bytes) {
    if (fileName.isEmpty()) return false;
    QSaveFile f(fileName);
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly)) return false;
    // commit() flushes the new file to disk before it renames it over the old one.
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    if (!f.commit()) return false;
    // Make the rename itself durable; the content already is, so a failure here
    // does not make the save a failure.
    const QByteArray dir = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

bool TLogStore::SaveToFile(const QString& fileName) {
    // A save started from an event handled during a save is dropped: the
    // running one writes every line anyway, and the next record saves again.
    if (saving_) return false;
    saving_ = true;
    qsizetype total = 0;
    for (const QByteArray& l : lines_) total += l.size() + 2;
    QByteArray bytes;
    bytes.reserve(total);
    for (const QByteArray& l : lines_) {
        bytes += l;
        bytes += "\r\n";
    }
    const bool ok = WriteFileAtomic(fileName, bytes);
    saving_ = false;
    if (!ok && log_) log_->LogTo("Could not save logdata", 2, true, false, true);
    return ok;
}

void TLogStore::ParseLine(const QString& line, TLogRecordTime& t, QVector<int>& counts) const {
    za::ParseLine(LogLineFormat(), ChannelCount(), line, t, counts);
}

void TLogStore::ParseLineDate(const QString& line, TLogRecordTime& t) const {
    za::ParseLineDate(LogLineFormat(), line, t);
}

bool TLogStore::IsValidLine(const QString& line) const {
    return za::IsValidLine(LogLineFormat(), ChannelCount(), line);
}

int TLogStore::DaySum(int year, int month, int day) const {
    const int layout = LogLineFormat();
    const int n = ChannelCount();
    QVarLengthArray<int, 32> counts(n);
    qint64 sum = 0;
    TLogRecordTime t;
    for (const QByteArray& l : lines_) {
        if (!ParseRawLine(layout, n, l.constData(), int(l.size()), t, counts.data())) continue;
        if (t.year != year || t.month != month || t.day != day) continue;
        for (int i = 0; i < n; ++i) sum += counts[i];
    }
    return int(sum);
}

bool TLogStore::HasRecord(int minute, int hour, int day, int month, int year) const {
    const int layout = LogLineFormat();
    if (layout != 0 && layout != 1) return false;
    TLogRecordTime t;
    for (const QByteArray& l : lines_) {
        if (!ParseRawLine(layout, 0, l.constData(), int(l.size()), t, nullptr)) continue;
        if (t.minute == minute && t.hour == hour && t.day == day && t.month == month && t.year == year)
            return true;
    }
    return false;
}

uint16_t TLogStore::CharCodeSum() const {
    uint32_t sum = 0;
    for (const QByteArray& l : lines_)
        for (char c : l) sum += uint8_t(c);
    return uint16_t(sum & 0xFFFF);
}

} // namespace za
