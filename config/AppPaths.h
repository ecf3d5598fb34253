#pragma once
// The folder that plays "the executable's folder": settings file, event log and
// leak report live there. By default it is the real executable's folder; the
// environment variable ZENTRELLAPP_DIR (used by the run script and by tests)
// moves it to a scratch folder.
#include <QString>

namespace za {

class TAppPaths {
public:
    // folder: where the files live; baseName: the executable's name without extension.
    TAppPaths(QString folder, QString baseName);
    static TAppPaths FromEnvironment();                // ZENTRELLAPP_DIR or the executable's folder

    QString Folder() const { return folder_; }
    QString ExePath() const;                            // folder/baseName
    QString WithExtension(const QString& ext) const;    // folder/baseName + ext (ext like ".ini")
    QString IniPath() const { return WithExtension(".ini"); }
    QString EventLogPath() const { return WithExtension(".log"); }
    QString FileInFolder(const QString& name) const;   // folder/name

private:
    QString folder_;
    QString baseName_;
};

} // namespace za
