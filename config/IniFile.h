#pragma once
// Settings file access: sections of "key=value" lines, names matched without
// regard to letter case, every write goes to disk at once and replaces the
// file atomically, so a kill or power cut never leaves half a settings file.
// Several instances may share the file: a write re-reads it under a lock file
// first, and reads notice when someone else changed it. Writes that belong
// together are grouped with TIniFile::TUpdate into one replacement.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include "DateTime.h"
#include "LocaleFormats.h"   // the time-of-day values are written in the regional format

namespace za {

// Raised when a write cannot be stored: "Unable to write to <file>".
class EIniWriteError : public std::runtime_error {
public:
    explicit EIniWriteError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    QString Text() const { return text_; }
private:
    QString text_;
};

class TIniFile {
public:
    explicit TIniFile(QString fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    // Groups the writes made while it lives into one read-modify-write: the
    // file is read once under the lock, reads see the pending values, and
    // Commit replaces the file once (nothing when no value changed). Without
    // Commit (an exception on the way) nothing is written. A failure raises
    // EIniWriteError from Commit only, and the file is then as it was. Groups
    // opened while one is open join it; the outermost Commit writes. The lock
    // is held while the group is open, so nothing that waits for the user or
    // the counter belongs inside one.
    class TUpdate {
    public:
        explicit TUpdate(TIniFile& ini);
        ~TUpdate();
        TUpdate(const TUpdate&) = delete;
        TUpdate& operator=(const TUpdate&) = delete;
        void Commit();
    private:
        TIniFile& ini_;
        bool outer_ = false;
        bool done_ = false;
    };
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
    // How long a write waits for another instance's read-modify-write.
    static constexpr int kLockWaitMs = 500;

private:
    struct TData;
    struct TPending;
    // cached: the last parse, given back (with the new stamp) while the file
    // still holds the same bytes.
    static std::shared_ptr<TData> Load(const QString& fileName, const std::shared_ptr<TData>& cached);
    const TData& Current() const;       // the file's content, reloaded when it changed on disk
    void Modify(const std::function<bool(TData&)>& change);
    void Begin();
    void Commit();
    void Abandon();

    QString fileName_;
    mutable std::shared_ptr<TData> d_;  // cache of the parsed file
    std::unique_ptr<TPending> pending_; // the open group, if any
};

} // namespace za
