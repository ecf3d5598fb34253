#include "Spool.h"
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <unistd.h>
#include "config/FileReplace.h"

namespace za {

namespace {

// One entry per line: the log file's name, a tab, the log line. Neither holds
// a tab or a line break.
QByteArray EntryBytes(const QString& logFile, const QByteArray& line) {
    return QFile::encodeName(logFile) + '\t' + line + "\r\n";
}

void SyncFolder(const QString& fileName) {
    const QByteArray dir = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool TSpool::Append(const QString& logFile, const QByteArray& line) {
    const QByteArray path = QFile::encodeName(fileName_);
    const bool created = !QFileInfo::exists(fileName_);
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const QByteArray bytes = EntryBytes(logFile, line);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && created) SyncFolder(fileName_);
    return ok;
}

QList<TSpoolEntry> TSpool::Read() const {
    QList<TSpoolEntry> out;
    QFile f(fileName_);
    if (!f.open(QIODevice::ReadOnly)) return out;
    const QByteArray bytes = f.readAll();
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        // A last line without its line end was cut by a crash during the append;
        // its record was never acknowledged, so the counter still has it.
        if (end < 0) break;
        QByteArray entry = bytes.mid(start, end - start);
        if (entry.endsWith('\r')) entry.chop(1);
        start = end + 1;
        const qsizetype tab = entry.indexOf('\t');
        if (tab <= 0) continue;
        out.append({QFile::decodeName(entry.left(tab)), entry.mid(tab + 1)});
    }
    return out;
}

bool TSpool::Empty() const {
    const QFileInfo fi(fileName_);
    return !fi.exists() || fi.size() == 0;
}

bool TSpool::Rewrite(const QList<TSpoolEntry>& entries) {
    if (entries.isEmpty()) {
        if (!QFileInfo::exists(fileName_)) return true;
        const bool ok = QFile::remove(fileName_);
        if (ok) SyncFolder(fileName_);
        return ok;
    }
    QByteArray bytes;
    for (const TSpoolEntry& e : entries) bytes += EntryBytes(e.logFile, e.line);
    return ReplaceFileContents(fileName_, bytes, nullptr);
}

} // namespace za
