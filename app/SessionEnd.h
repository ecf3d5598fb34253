#pragma once
// The end of the system session as one Qt signal on the GUI thread: SIGTERM
// and SIGHUP (sent when the session or the service manager stops the
// program), SIGINT (Ctrl+C in the terminal that started it) and the session
// manager's request to save data.
#include <QObject>
#include <csignal>

class QSocketNotifier;

namespace za {

class TSessionEnd : public QObject {
    Q_OBJECT
public:
    // Installs the signal handlers; the destructor puts the previous ones back.
    // Objects must be destroyed in the reverse order of creation.
    explicit TSessionEnd(QObject* parent = nullptr);
    ~TSessionEnd() override;

    bool Installed() const { return installed_; }

signals:
    // Emitted once: the session ends, so the full shutdown should run now.
    void SessionEnding();

private:
    void OnSignalPipe();
    void Fire();

    int fds_[2] = {-1, -1};                 // [0] read by the notifier, [1] written by the handler
    int previousWriteFd_ = -1;
    struct sigaction oldTerm_ {};
    struct sigaction oldHup_ {};
    struct sigaction oldInt_ {};
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
    bool fired_ = false;
};

} // namespace za
