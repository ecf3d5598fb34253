#include "FileReplace.h"
#include <QDir>
#include <QSaveFile>

namespace za {

QString CreateFileError(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(fileName), reason);
}

bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes, QString* error) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = CreateFileError(fileName, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error) *error = CreateFileError(fileName, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = CreateFileError(fileName, file.errorString());
        return false;
    }
    return true;
}

} // namespace za
