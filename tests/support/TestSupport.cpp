#include "TestSupport.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace zt {

void TRecordingChannel::ShowBox(za::TBoxKind kind, const QString& text) {
    boxes.push_back({kind, text});
    if (whileOpen) whileOpen();
}

QStringList TRecordingChannel::Texts() const {
    QStringList out;
    for (const auto& b : boxes) out << b.text;
    return out;
}

TScratchDir::TScratchDir() { dir_.setAutoRemove(true); }

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromLatin1(f.readAll());
}

QStringList ReadLines(const QString& path) {
    QString all = ReadAll(path);
    all.replace("\r\n", "\n");
    QStringList lines = all.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace zt
