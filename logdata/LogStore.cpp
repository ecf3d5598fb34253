#include "LogStore.h"
#include <QFile>
#include <QVarLengthArray>
#include "EventLog.h"
#include "config/FileReplace.h"

namespace za {

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

void TLogStore::DeleteLines(const QVector<int>& ascending) {
    if (ascending.isEmpty()) return;
    // One pass: keep every line that is not listed.
    QList<QByteArray> kept;
    kept.reserve(lines_.size() - ascending.size());
    int next = 0;
    for (int i = 0; i < lines_.size(); ++i) {
        if (next < ascending.size() && ascending[next] == i) {
            ++next;
            continue;
        }
        kept.append(std::move(lines_[i]));
    }
    lines_ = std::move(kept);
    Notify(TStoreChange::Deleted, ascending.first());
}

void TLogStore::Clear() {
    lines_.clear();
    Notify(TStoreChange::Cleared, -1);
}

void TLogStore::SetLines(QList<QByteArray> lines) {
    lines_ = std::move(lines);
    Notify(TStoreChange::Filled, -1);
}

void TLogStore::PrependLines(const QList<QByteArray>& lines) {
    QList<QByteArray> all = lines;
    all.append(lines_);
    lines_ = std::move(all);
    Notify(TStoreChange::Loaded, -1);
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

bool TLogStore::ReadFileLines(const QString& fileName, QList<QByteArray>& lines) {
    QFile f(fileName);
    if (fileName.isEmpty() || !f.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return false;
    lines = SplitLines(bytes);
    return true;
}

QByteArray TLogStore::JoinLines(const QList<QByteArray>& lines) {
    qsizetype total = 0;
    for (const QByteArray& l : lines) total += l.size() + 2;
    QByteArray bytes;
    bytes.reserve(total);
    for (const QByteArray& l : lines) {
        bytes += l;
        bytes += "\r\n";
    }
    return bytes;
}

bool TLogStore::LoadFromFile(const QString& fileName) {
    // A file that cannot be read leaves the lines as they are; the view is
    // refreshed all the same.
    QList<QByteArray> lines;
    const bool ok = ReadFileLines(fileName, lines);
    if (ok) lines_ = std::move(lines);
    Notify(TStoreChange::Loaded, -1);
    return ok;
}

bool TLogStore::SaveToFile(const QString& fileName) {
    // A save started from an event handled during a save is dropped: the
    // running one writes every line anyway, and the next record saves again.
    if (saving_) return false;
    saving_ = true;
    const bool ok = !fileName.isEmpty() && ReplaceFileContents(fileName, JoinLines(lines_), nullptr);
    saving_ = false;
    if (!ok && log_) log_->LogTo("Could not save logdata", 2, true, false, true);
    return ok;
}

void TLogStore::ParseLine(const QString& line, TLogRecordTime& t, QVector<int>& counts) const {
    za::ParseLine(channels_->LogLineFormat(), channels_->Count(), line, t, counts);
}

void TLogStore::ParseLineDate(const QString& line, TLogRecordTime& t) const {
    za::ParseLineDate(channels_->LogLineFormat(), line, t);
}

bool TLogStore::IsValidLine(const QString& line) const {
    return za::IsValidLine(channels_->LogLineFormat(), channels_->Count(), line);
}

bool TLogStore::IsValidLine(int i) const {
    return za::IsValidLine(channels_->LogLineFormat(), channels_->Count(), QByteArrayView(lines_[i]));
}

int TLogStore::DaySum(int year, int month, int day) const {
    const int layout = channels_->LogLineFormat();
    const int n = channels_->Count();
    QVarLengthArray<int, 32> counts(n);
    qint64 sum = 0;
    TLogRecordTime t;
    for (const QByteArray& l : lines_) {
        if (!ReadLineFields(layout, n, QByteArrayView(l), t, counts.data())) continue;
        if (t.year != year || t.month != month || t.day != day) continue;
        for (int i = 0; i < n; ++i) sum += counts[i];
    }
    return int(sum);
}

bool TLogStore::HasRecord(int minute, int hour, int day, int month, int year) const {
    const int layout = channels_->LogLineFormat();
    if (layout != 0 && layout != 1) return false;
    TLogRecordTime t;
    for (const QByteArray& l : lines_) {
        if (!ReadLineDate(layout, QByteArrayView(l), t)) continue;
        if (t.minute == minute && t.hour == hour && t.day == day && t.month == month && t.year == year)
            return true;
    }
    return false;
}

uint16_t TLogStore::CharCodeSum(int count) const {
    const int end = count < 0 || count > lines_.size() ? int(lines_.size()) : count;
    uint32_t sum = 0;
    for (int i = 0; i < end; ++i)
        for (char c : lines_[i]) sum += uint8_t(c);
    return uint16_t(sum & 0xFFFF);
}

} // namespace za
