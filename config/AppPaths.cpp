#include "AppPaths.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace za {

TAppPaths::TAppPaths(QString folder, QString baseName)
    : folder_(QDir::cleanPath(std::move(folder))), baseName_(std::move(baseName)) {}

TAppPaths TAppPaths::FromEnvironment() {
    QString base = "zentrellapp";
    QString folder;
    if (QCoreApplication::instance()) {
        QFileInfo exe(QCoreApplication::applicationFilePath());
        folder = exe.absolutePath();
        if (!exe.completeBaseName().isEmpty()) base = exe.completeBaseName();
    }
    const QByteArray env = qgetenv("ZENTRELLAPP_DIR");
    if (!env.isEmpty()) folder = QFileInfo(QString::fromLocal8Bit(env)).absoluteFilePath();
    if (folder.isEmpty()) folder = QDir::currentPath();
    return TAppPaths(folder, base);
}

QString TAppPaths::ExePath() const { return folder_ + "/" + baseName_; }
QString TAppPaths::WithExtension(const QString& ext) const { return ExePath() + ext; }
QString TAppPaths::FileInFolder(const QString& name) const { return folder_ + "/" + name; }

} // namespace za
