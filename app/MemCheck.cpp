#include "MemCheck.h"
#include <QDateTime>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QFile>
#include <QUrl>
#include <cstring>
#include <malloc.h>
#include "config/AppPaths.h"

namespace za {

namespace {
bool gOn = false;
TMemSnapshot gStart;
QString gReportPath;   // noted while the application object exists; it knows the executable's folder
} // namespace

bool TMemCheck::Requested(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--memchk") == 0) return true;
    return false;
}

bool TMemCheck::Start(int argc, const char* const* argv) {
    gOn = Requested(argc, argv);
    if (gOn) gStart = Snapshot();
    return gOn;
}

bool TMemCheck::IsOn() { return gOn; }

void TMemCheck::Rebase() {
    if (!gOn) return;
    if (QCoreApplication::instance()) gReportPath = DefaultReportPath();
    gStart = Snapshot();
}

void TMemCheck::Stop() { gOn = false; }

TMemSnapshot TMemCheck::Snapshot() {
    // The C library's own accounting covers every allocation, from C++ new as
    // well as from the toolkit's malloc-based buffers, at no cost while off.
    const struct mallinfo2 mi = mallinfo2();
    TMemSnapshot s;
    s.inUseBytes = mi.uordblks + mi.hblkhd;
    s.mappedBytes = mi.hblkhd;
    return s;
}

bool TMemCheck::Leaked(const TMemSnapshot& start, const TMemSnapshot& end) {
    return end.inUseBytes > start.inUseBytes;
}

QString TMemCheck::Report(const TMemSnapshot& start, const TMemSnapshot& end) {
    const long long diff = static_cast<long long>(end.inUseBytes) - static_cast<long long>(start.inUseBytes);
    QString r;
    r += "Memory check " + QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss") + "\r\n";
    r += QString("Heap in use at start: %1 bytes (%2 mapped)\r\n").arg(start.inUseBytes).arg(start.mappedBytes);
    r += QString("Heap in use at end:   %1 bytes (%2 mapped)\r\n").arg(end.inUseBytes).arg(end.mappedBytes);
    r += QString("Difference:           %1 bytes\r\n").arg(diff);
    r += Leaked(start, end) ? QString("Result: %1 bytes not freed (possible leak)\r\n").arg(diff)
                            : QString("Result: no leak found\r\n");
    return r;
}

QString TMemCheck::DefaultReportPath() { return TAppPaths::FromEnvironment().WithExtension("_MemCheck.log"); }

bool TMemCheck::Finish(const QString& reportPath, bool openWhenLeaking) {
    if (!gOn) return false;
    const TMemSnapshot end = Snapshot();
    const bool leaked = Leaked(gStart, end);
    QString path = reportPath;
    if (path.isEmpty()) path = QCoreApplication::instance() || gReportPath.isEmpty() ? DefaultReportPath() : gReportPath;
    QFile f(path);
    const bool written = f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         f.write(Report(gStart, end).toUtf8()) >= 0;
    f.close();
    // A debugging aid: if the report cannot be written or shown, the run still ends normally.
    if (written && leaked && openWhenLeaking) {
        // After the application object is gone the desktop services are too;
        // then the desktop's opener is started directly.
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        else
            QProcess::startDetached("xdg-open", {path});
    }
    gOn = false;
    return leaked;
}

} // namespace za
