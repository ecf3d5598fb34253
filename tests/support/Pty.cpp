#include "Pty.h"
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace zt {

TPty::TPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
        slave_ = QString::fromLatin1(ptsname(master_));
}

TPty::~TPty() {
    if (master_ >= 0) ::close(master_);
}

bool TPty::Write(const QByteArray& bytes) {
    return ::write(master_, bytes.data(), size_t(bytes.size())) == bytes.size();
}

QByteArray TPty::Read(int waitMs) {
    QByteArray got;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) break;
        char buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, int(n));
    }
    return got;
}

} // namespace zt
