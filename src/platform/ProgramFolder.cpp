// The program folder is where the executable lies, never the current directory: the
// operator may start the program from anywhere.
#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <climits>
#include <mutex>

namespace platform {
namespace {

std::mutex folderMutex;
QString folderOverride;

QString withSeparator(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString executableFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return withSeparator(QDir::currentPath());
  QString exe = QFile::decodeName(QByteArray(buf, n));
  // The kernel marks an executable replaced while running (an update in place).
  const QString deleted = QStringLiteral(" (deleted)");
  if (exe.endsWith(deleted)) exe.chop(deleted.size());
  return exe.left(exe.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

QString programFolder() {
  {
    std::lock_guard lock(folderMutex);
    if (!folderOverride.isEmpty()) return folderOverride;
  }
  static const QString folder = executableFolder();
  return folder;
}

void setProgramFolder(const QString& folder) {
  std::lock_guard lock(folderMutex);
  folderOverride = folder.isEmpty() ? QString() : withSeparator(folder);
}

void setProgramFolderForTesting(const QString& folder) {
  setProgramFolder(folder);
}

}  // namespace platform
