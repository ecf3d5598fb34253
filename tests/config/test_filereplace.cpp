#include "config/FileReplace.h"
#include "tests/support/TestSupport.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace za;

namespace {

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
}

} // namespace

TEST(FileReplace, ReplacesWholeAndKeepsWhatTheFileWas) {
    zt::TScratchDir dir;
    const QString path = dir.File("data.txt");
    QString error;
    ASSERT_TRUE(ReplaceFileContents(path, "first", &error)) << error.toStdString();
    EXPECT_EQ(zt::ReadAll(path), "first");

    // The file's permissions stay; the new content replaces all of the old.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    TReplacedFile written;
    ASSERT_TRUE(ReplaceFileContents(path, "2nd", &error, &written));
    EXPECT_EQ(zt::ReadAll(path), "2nd");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(written.inode, quint64(st.st_ino));
    EXPECT_EQ(written.size, 3);
    EXPECT_EQ(written.mtimeNs, qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec);

    // A symbolic link stays a link; the file it points to gets the content.
    ASSERT_TRUE(QFile::link(path, dir.File("link.txt")));
    ASSERT_TRUE(ReplaceFileContents(dir.File("link.txt"), "via link", &error));
    EXPECT_TRUE(QFileInfo(dir.File("link.txt")).isSymLink());
    EXPECT_EQ(zt::ReadAll(path), "via link");

    ASSERT_TRUE(ReplaceFileContents(path, QByteArray(), &error));
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_EQ(Entries(dir.Path()), (QStringList{"data.txt", "link.txt"}));
}

TEST(FileReplace, FailureLeavesEverythingAsItWas) {
    zt::TScratchDir dir;
    QDir(dir.Path()).mkdir("folder");
    zt::WriteAll(dir.File("plain"), "x");
    const QString cases[] = {dir.File("folder"), dir.File("missing/data.txt"), dir.File("plain/data.txt")};
    for (const QString& target : cases) {
        QString error;
        EXPECT_FALSE(ReplaceFileContents(target, "bytes", &error)) << target.toStdString();
        EXPECT_TRUE(error.startsWith("Cannot create file \"" + QDir::toNativeSeparators(target) + "\". "))
            << error.toStdString();
        EXPECT_GT(error.size(), QString("Cannot create file \"%1\". ").arg(target).size());
    }
    EXPECT_TRUE(QFileInfo(dir.File("folder")).isDir());
    EXPECT_EQ(zt::ReadAll(dir.File("plain")), "x");
    EXPECT_EQ(Entries(dir.Path()), (QStringList{"folder", "plain"}));
    EXPECT_TRUE(Entries(dir.File("folder")).isEmpty());
}
