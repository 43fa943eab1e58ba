#include "platform/ProgramFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using namespace platform;

TEST(ProgramFolder, IsTheFolderOfTheExecutableNotTheCurrentDirectory) {
  const QString cwd = QDir::currentPath();
  QDir::setCurrent(QDir::tempPath());
  const QString folder = programFolder();
  QDir::setCurrent(cwd);
  EXPECT_TRUE(folder.endsWith(QLatin1Char('/')));
  EXPECT_EQ(QFileInfo(folder).canonicalFilePath(),
            QFileInfo(QStringLiteral(DATACONV_BINARY_DIR "/src/platform")).canonicalFilePath());
}

TEST(ProgramFolder, TestSeamOverridesAndRestores) {
  const QString real = programFolder();
  setProgramFolderForTesting(QStringLiteral("/tmp/some folder"));
  EXPECT_EQ(programFolder(), QStringLiteral("/tmp/some folder/"));
  setProgramFolderForTesting(QStringLiteral("/tmp/other/"));
  EXPECT_EQ(programFolder(), QStringLiteral("/tmp/other/"));
  setProgramFolderForTesting(QString());
  EXPECT_EQ(programFolder(), real);
}
