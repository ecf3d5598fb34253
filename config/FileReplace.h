#pragma once
// Writing a whole file so that neither a failure nor a power cut leaves half
// of it: the bytes go to a new file beside the target, which is flushed to the
// disk, renamed over the target in one step, and the folder is flushed so the
// rename itself survives. A reader sees the old file or the new one, never a
// mix, and after a power cut the file holds one of them, never nothing.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace za {

// "Cannot create file "<name>". <reason>"
QString CreateFileError(const QString& fileName, const QString& reason);

// What identifies the file that a replacement put in place, as stat() of the
// target reports it as long as nobody else replaced or edited it since.
struct TReplacedFile {
    quint64 inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = -1;
};

// False with error set (CreateFileError text) when the file could not be written;
// the old file, if any, is then unchanged. A symbolic link is kept: the file it
// points to is replaced. The new file keeps the old one's permissions.
bool ReplaceFileContents(const QString& fileName, const QByteArray& bytes, QString* error,
                         TReplacedFile* written = nullptr);

} // namespace za
