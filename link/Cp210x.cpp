#include "Cp210x.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace za {

namespace {

QString ReadAttr(const QString& dir, const char* name) {
    QFile f(dir + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.read(256)).trimmed();
}

// ttyUSBn number of a tty child of one interface folder, or -1.
int TtyUsbIn(const QString& ifaceDir) {
    static const QRegularExpression re(QStringLiteral("^ttyUSB(\\d{1,2})$"));
    for (const QString& sub : {QString(), QStringLiteral("/tty")}) {
        const QDir d(ifaceDir + sub);
        if (!d.exists()) continue;
        const QStringList names = d.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
        for (const QString& name : names) {
            const QRegularExpressionMatch m = re.match(name);
            if (m.hasMatch()) return m.captured(1).toInt();
        }
    }
    return -1;
}

} // namespace

bool FindCp210xPort(int& portNumber, const QString& sysfsRoot, QString* devicePath, const QString& devRoot) {
    if (portNumber != -1) return false;
    const QDir devices(sysfsRoot + QStringLiteral("/bus/usb/devices"));
    if (!devices.exists()) return false;
    const QStringList entries =
        devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        const QString dev = devices.filePath(entry);
        if (ReadAttr(dev, "idVendor").compare(QLatin1String("10c4"), Qt::CaseInsensitive) != 0) continue;
        if (ReadAttr(dev, "idProduct").compare(QLatin1String("ea60"), Qt::CaseInsensitive) != 0) continue;
        if (ReadAttr(dev, "serial") != QLatin1String("0001")) continue;
        // Interface folders are named "<device>:<config>.<interface>"; sorted,
        // so the first interface is tried first.
        const QStringList ifaces = QDir(dev).entryList({entry + QStringLiteral(":*")},
                                                        QDir::Dirs | QDir::NoDotAndDotDot | QDir::System,
                                                        QDir::Name);
        for (const QString& iface : ifaces) {
            const int n = TtyUsbIn(dev + QLatin1Char('/') + iface);
            if (n < 0) continue;
            portNumber = 100 + n;
            if (devicePath) *devicePath = devRoot + QStringLiteral("/ttyUSB") + QString::number(n);
            return true;
        }
    }
    return false;
}

bool ProbeSerialDevice(const QString& path, QString* err) {
    auto fail = [&](const QString& why) {
        if (err) *err = path + QStringLiteral(": ") + why;
        return false;
    };
    if (path.isEmpty()) return fail(QStringLiteral("no device"));
    const QByteArray native = QFile::encodeName(path);
    // No O_CREAT: only an existing device counts.
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a character device"));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        ::close(fd);
        return fail(QString::fromLocal8Bit(std::strerror(e)));
    }
    // Drop the exclusive mark again: it would outlive this descriptor on a
    // device whose other side stays open and lock out the real open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return true;
}

} // namespace za
