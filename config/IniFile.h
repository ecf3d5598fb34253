#pragma once
// Settings file access: sections of "key=value" lines, names matched without
// regard to letter case, every write goes to disk at once and replaces the
// file atomically, so a kill or power cut never leaves half a settings file.
// Several instances may share the file: a write re-reads it under a lock file
// first, and reads notice when someone else changed it.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include "DateTime.h"

namespace za {

// Raised when a write cannot be stored: "Unable to write to <file>".
class EIniWriteError : public std::runtime_error {
public:
    explicit EIniWriteError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    QString Text() const { return text_; }
private:
    QString text_;
};

// The user's regional short date format, and the long time format without its
// time-zone part: the date-time text of event-log lines and time-of-day values.
QString SystemShortDateFormat();
QString SystemLongTimeFormat();

class TIniFile {
public:
    explicit TIniFile(QString fileName);
    QString FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;   // "0x"/"$" hex
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    TDateTime ReadDateTime(const QString& section, const QString& key, TDateTime def) const;
    TDateTime ReadTime(const QString& section, const QString& key, TDateTime def) const; // fraction of a day

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteDateTime(const QString& section, const QString& key, TDateTime value);
    void WriteTime(const QString& section, const QString& key, TDateTime value);
    // Replaced atomically like every write, but not waited for on the disk: for
    // a value written very often whose loss in a power cut only costs a warning
    // (the log file checksum).
    void WriteIntegerUnflushed(const QString& section, const QString& key, int value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSection(const QString& section) const;        // key names
    void EraseSection(const QString& section);

    // The text forms of date-time numbers and times of day that Read*/Write* use.
    static QString FormatDateTimeNumber(TDateTime value);
    static bool ParseDateTimeNumber(const QString& text, TDateTime& out);
    static QString FormatTimeOfDay(TDateTime value);
    static bool ParseTimeOfDay(const QString& text, TDateTime& out);

    static constexpr int kMaxStringLength = 2047;

private:
    struct TData;
    static std::shared_ptr<TData> Load(const QString& fileName);
    const TData& Current() const;       // the file's content, reloaded when it changed on disk
    void Modify(const std::function<bool(TData&)>& change);

    bool WriteFlushed(const QByteArray& out) const;
    bool WriteReplacing(const QByteArray& out) const;

    QString fileName_;
    bool flushToDisk_ = true;
    mutable std::shared_ptr<TData> d_;  // cache of the parsed file
};

} // namespace za
