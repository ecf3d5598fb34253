#pragma once
// Log lines that were acknowledged to the counter but could not be written to
// their log file (folder missing, disk full, file unreadable). Each is
// appended to this file and flushed to disk before the Ack goes out, so it
// survives a kill or power cut; it is merged into its log file as soon as that
// can be written, and then dropped from here.
#include <QByteArray>
#include <QList>
#include <QString>

namespace za {

struct TSpoolEntry {
    QString logFile;    // the log file the line belongs to
    QByteArray line;
};

class TSpool {
public:
    explicit TSpool(QString fileName) : fileName_(std::move(fileName)) {}
    QString FileName() const { return fileName_; }

    // Appends one entry and waits until it is on the disk. False when it could not be stored.
    bool Append(const QString& logFile, const QByteArray& line);
    // Every entry, oldest first; entries of a damaged last line are skipped.
    QList<TSpoolEntry> Read() const;
    bool Empty() const;
    // Replaces the whole spool with these entries (removes it when there are none).
    bool Rewrite(const QList<TSpoolEntry>& entries);

private:
    QString fileName_;
};

} // namespace za
