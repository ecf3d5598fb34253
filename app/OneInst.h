#pragma once
// Single-instance guard. The first instance holds a lock file for its whole
// life and listens on a local socket; a later instance finds the lock taken,
// asks the first one over the socket to come to the front and learns from the
// answer that it is there. A killed first instance leaves a lock whose owner
// process is gone; the next instance takes it over.
#include <QObject>
#include <QString>
#include <memory>

class QLockFile;
class QLocalServer;
class QLocalSocket;

namespace za {

class TOneInst : public QObject {
    Q_OBJECT
public:
    // name empty: the executable's full path with every "/" replaced by "_".
    explicit TOneInst(const QString& name, QObject* parent = nullptr);
    ~TOneInst() override;

    // True when another live instance holds the name. In that case the other
    // instance is asked to come to the front; the wait for its answer is bounded.
    bool IsAlreadyRunning();

    QString Name() const { return name_; }
    bool HoldsLock() const { return holdsLock_; }     // this is the first instance
    bool AnswerReceived() const { return answered_; } // the first instance answered "exist"

    static QString LockFilePath(const QString& name);
    static QString ServerName(const QString& name);

    static constexpr int AnswerTimeoutMs = 1000;

signals:
    // Another instance asked this one to show itself.
    void ActivateRequested();

private:
    void OnNewConnection();
    void OnRequestData(QLocalSocket* sock);
    bool AskFirstInstance();

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool holdsLock_ = false;
    bool alreadyRunning_ = false;
    bool answered_ = false;
};

} // namespace za
