#pragma once
// One run of the real program in a scratch folder that plays its folder, with
// message boxes written to standard error, and the ini helpers its tests use.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace zt {

class TAppProcess {
public:
    explicit TAppProcess(const QString& folder, const QString& clockStart = QString(),
                         const QStringList& extraEnv = {});
    ~TAppProcess();
    TAppProcess(const TAppProcess&) = delete;
    TAppProcess& operator=(const TAppProcess&) = delete;

    void Signal(int sig);
    bool WaitForExit(int ms);
    int ExitCode() const { return proc_.exitCode(); }
    QProcess::ExitStatus ExitStatus() const { return proc_.exitStatus(); }
    QString Stderr();                   // everything written to standard error so far
    bool Running() const { return proc_.state() == QProcess::Running; }

private:
    QProcess proc_;
    QString stderr_;
};

// zentrellapp.ini in folder: the port on folder/counter.tty, monthly log files
// LOG<YYYY-MM>.LOG in folder, then extra (CR LF separated "KEY=value" lines of SETUP,
// or further sections).
void WriteIni(const QString& folder, const QString& extra);
// The value of the first "key=" line of the file, "" when there is none.
QString IniValue(const QString& iniPath, const QString& key);

} // namespace zt
