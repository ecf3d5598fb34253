#include "AppProcess.h"
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <csignal>
#include "TestSupport.h"

namespace zt {

TAppProcess::TAppProcess(const QString& folder, const QString& clockStart, const QStringList& extraEnv) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZENTRELLAPP_DIR", folder);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ZENTRELLAPP_BOXES", "stderr");
    if (!clockStart.isEmpty()) env.insert("ZENTRELLAPP_CLOCK_START", clockStart);
    for (const QString& kv : extraEnv) env.insert(kv.section('=', 0, 0), kv.section('=', 1));
    // The single-instance lock and socket are per user session: give each
    // test a session of its own, so tests running side by side don't meet.
    const QString runtime = folder + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("TMPDIR", runtime);
    proc_.setProcessEnvironment(env);
    proc_.setWorkingDirectory(folder);
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    proc_.start(ZA_APP_EXE, QStringList());
    proc_.waitForStarted(5000);
}

TAppProcess::~TAppProcess() {
    if (proc_.state() != QProcess::NotRunning) {
        proc_.kill();
        proc_.waitForFinished(5000);
    }
}

void TAppProcess::Signal(int sig) { ::kill(pid_t(proc_.processId()), sig); }

bool TAppProcess::WaitForExit(int ms) {
    return WaitUntil([this] { return proc_.state() == QProcess::NotRunning; }, ms);
}

QString TAppProcess::Stderr() {
    stderr_ += QString::fromLocal8Bit(proc_.readAllStandardError());
    return stderr_;
}

void WriteIni(const QString& folder, const QString& extra) {
    const QString ini = "[SETUP]\r\nCOMPORT=1\r\nCOMPORT_DEVICE=" + folder + "/counter.tty\r\nLOGFILEPATH=" + folder +
                        "\r\nLOGFILEPREFIX=LOG\r\nLOGFILECODE=YYYY-MM\r\nLOGFILEEXT=.LOG\r\n" + extra;
    WriteAll(folder + "/zentrellapp.ini", ini.toLatin1());
}

QString IniValue(const QString& iniPath, const QString& key) {
    for (const QString& line : ReadLines(iniPath))
        if (line.startsWith(key + "=", Qt::CaseInsensitive)) return line.mid(key.size() + 1);
    return QString();
}

} // namespace zt
