#include "AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/Error.h"

using namespace platform;

namespace {

QByteArray readBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

unsigned modeOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(AtomicFile, NewFilesGetTheCreateModeAndOldFilesKeepTheirs) {
  QTemporaryDir dir;
  const QString fresh = dir.filePath("Config.ini");
  writeFileAtomically(fresh, "a", 0600);
  EXPECT_EQ(modeOf(fresh), 0600u);
  EXPECT_EQ(readBytes(fresh), QByteArray("a"));

  const QString shared = dir.filePath("Item.ini");
  writeFileAtomically(shared, "b", 0644);
  ::chmod(QFile::encodeName(shared).constData(), 0664);
  writeFileAtomically(shared, "bb", 0600);
  EXPECT_EQ(modeOf(shared), 0664u);
  EXPECT_EQ(readBytes(shared), QByteArray("bb"));
  // No temporary files are left behind.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(AtomicFile, WritesThroughSymbolicLinks) {
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("real");
  const QString target = dir.filePath("real/Config.ini");
  const QString link = dir.filePath("Config.ini");
  writeFileAtomically(target, "old", 0600);
  ASSERT_TRUE(QFile::link(target, link));
  writeFileAtomically(link, "new", 0644);
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(readBytes(target), QByteArray("new"));
  EXPECT_EQ(modeOf(target), 0600u);
}

TEST(AtomicFile, RefusesFoldersAndMissingFolders) {
  QTemporaryDir dir;
  EXPECT_THROW(writeFileAtomically(dir.path(), "x", 0644), Error);
  EXPECT_THROW(writeFileAtomically(dir.filePath("no/such/file"), "x", 0644), Error);
}

TEST(AtomicFile, RewritesInPlaceWhenOnlyTheFileIsWritable) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  QTemporaryDir dir;
  const QString path = dir.filePath("Config.ini");
  writeFileAtomically(path, "a longer old content", 0644);
  ::chmod(QFile::encodeName(dir.path()).constData(), 0555);
  writeFileAtomically(path, "short", 0644);
  ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
  EXPECT_EQ(readBytes(path), QByteArray("short"));
}
