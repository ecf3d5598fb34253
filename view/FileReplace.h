#pragma once
// Writing a whole file so that a failure never leaves half of it: the bytes go
// to a new file beside the target, which then replaces the target in one step.
#include <QByteArray>
#include <QString>

namespace za {

// "Cannot create file "<name>". <reason>"
QString CreateFileError(const QString& fileName, const QString& reason);

// False with error set (CreateFileError text) when the file could not be written;
// the old file, if any, is then unchanged.
bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes, QString* error);

} // namespace za
