#include "FileReplace.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace za {

QString CreateFileError(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(fileName), reason);
}

namespace {

bool WriteAllBytes(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qint64>(left, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// A name beside the target that nobody else uses: created exclusively, so two
// writers never share one.
int CreateBeside(const QString& target, QByteArray& tmpName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpName = QFile::encodeName(target) + '.' +
                  QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".new~";
        const int fd = ::open(tmpName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void FlushFolder(const QString& target) {
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // The file is already in place; a file system that cannot flush a folder
    // gives no reason to report the write as failed.
    (void)::fsync(fd);
    ::close(fd);
}

} // namespace

bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes, QString* error, TReplacedFile* written) {
    auto fail = [&](int err) {
        if (error) *error = CreateFileError(fileName, qt_error_string(err));
        return false;
    };
    QString target = fileName;
    struct stat st;
    if (::lstat(QFile::encodeName(fileName).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const QString resolved = QFileInfo(fileName).canonicalFilePath();
        if (!resolved.isEmpty()) target = resolved;
    }
    const bool exists = ::stat(QFile::encodeName(target).constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return fail(EISDIR);

    QByteArray tmp;
    const int fd = CreateBeside(target, tmp);
    if (fd < 0) return fail(errno);
    if (exists) (void)::fchmod(fd, st.st_mode & 07777);   // keep who may read it

    struct stat done;
    if (!WriteAllBytes(fd, bytes) || ::fsync(fd) != 0 || ::fstat(fd, &done) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(tmp.constData());
        return fail(err);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        return fail(err);
    }
    if (::rename(tmp.constData(), QFile::encodeName(target).constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        return fail(err);
    }
    FlushFolder(target);
    if (written) {
        written->inode = quint64(done.st_ino);
        written->size = qint64(done.st_size);
        written->mtimeNs = qint64(done.st_mtim.tv_sec) * 1000000000LL + done.st_mtim.tv_nsec;
    }
    return true;
}

} // namespace za
