#pragma once
// Settings file access: sections of "key=value" lines, names matched without
// regard to letter case, every write goes to disk at once and replaces the
// file atomically, so a kill or power cut never leaves half a settings file.
#include <QString>
#include <QStringList>
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

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSection(const QString& section) const;        // key names
    void EraseSection(const QString& section);

private:
    QString fileName_;
};

} // namespace za
