#include "SessionEnd.h"
#include <QGuiApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

namespace za {

namespace {

// Written only by the signal handler; volatile sig_atomic_t is what a handler may touch.
volatile sig_atomic_t gWriteFd = -1;

extern "C" void SessionSignalHandler(int signo) {
    const int saved = errno;
    const int fd = gWriteFd;
    if (fd >= 0) {
        const char c = static_cast<char>(signo);
        // Non-blocking: if the pipe is full a wake-up is already pending.
        [[maybe_unused]] ssize_t n = ::write(fd, &c, 1);
    }
    errno = saved;
}

} // namespace

TSessionEnd::TSessionEnd(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        qWarning("TSessionEnd: socketpair failed");
        fds_[0] = fds_[1] = -1;
    } else {
        notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &TSessionEnd::OnSignalPipe);

        previousWriteFd_ = gWriteFd;
        gWriteFd = fds_[1];
        struct sigaction sa {};
        sa.sa_handler = SessionSignalHandler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        const bool term = ::sigaction(SIGTERM, &sa, &oldTerm_) == 0;
        const bool hup = ::sigaction(SIGHUP, &sa, &oldHup_) == 0;
        // Ctrl+C in the terminal that started the program ends it the same orderly way.
        const bool intr = ::sigaction(SIGINT, &sa, &oldInt_) == 0;
        installed_ = term && hup && intr;
    }
#ifndef QT_NO_SESSIONMANAGER
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { Fire(); });
#endif
}

TSessionEnd::~TSessionEnd() {
    if (fds_[1] >= 0) {
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        ::sigaction(SIGHUP, &oldHup_, nullptr);
        ::sigaction(SIGINT, &oldInt_, nullptr);
        gWriteFd = previousWriteFd_;
    }
    delete notifier_;
    for (int& fd : fds_)
        if (fd >= 0) ::close(fd);
}

void TSessionEnd::OnSignalPipe() {
    char buf[64];
    while (::read(fds_[0], buf, sizeof buf) > 0) {
    }
    Fire();
}

void TSessionEnd::Fire() {
    // The shutdown runs once; a second signal while it runs must not start it again.
    if (fired_) return;
    fired_ = true;
    emit SessionEnding();
}

} // namespace za
