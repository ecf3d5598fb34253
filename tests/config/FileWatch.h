#pragma once
// Watches a folder with inotify and counts how often a file was replaced by a
// rename onto its name, so a test sees how many replacements one operation made.
#include <QFile>
#include <QString>
#include <sys/inotify.h>
#include <unistd.h>

namespace zt {

class TReplaceCounter {
public:
    explicit TReplaceCounter(const QString& folder) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // IN_MOVED_FROM too: the kernel merges an event into an identical one
        // still unread, so renames onto one name would otherwise count once.
        if (fd_ >= 0) ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~TReplaceCounter() {
        if (fd_ >= 0) ::close(fd_);
    }
    TReplaceCounter(const TReplaceCounter&) = delete;
    TReplaceCounter& operator=(const TReplaceCounter&) = delete;

    bool Ok() const { return fd_ >= 0; }

    // Renames onto fileName (a name in the folder) since the last call.
    int Take(const QString& fileName) {
        const QByteArray want = QFile::encodeName(fileName);
        int n = 0;
        alignas(inotify_event) char buf[64 * 1024];
        for (;;) {
            const ssize_t len = ::read(fd_, buf, sizeof buf);
            if (len <= 0) break;
            for (ssize_t at = 0; at < len;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
                if ((ev->mask & IN_MOVED_TO) && ev->len > 0 && want == ev->name) ++n;
                at += ssize_t(sizeof(inotify_event) + ev->len);
            }
        }
        return n;
    }

private:
    int fd_ = -1;
};

} // namespace zt
