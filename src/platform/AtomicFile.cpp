#include "AtomicFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "platform/Error.h"
#include "platform/ErrorText.h"

namespace platform {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const QByteArray& data) {
  const char* p = data.constData();
  qsizetype left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, size_t(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= n;
  }
  return true;
}

// The file a path names, through any symbolic links (a dangling link names its target).
QByteArray resolveTarget(const QByteArray& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.constData(), resolved)) return QByteArray(resolved);
  struct stat st;
  if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
    return QFile::encodeName(QFileInfo(QFile::decodeName(path)).symLinkTarget());
  return path;
}

bool rewriteInPlace(const QByteArray& target, const QByteArray& data) {
  FileDescriptor fd(::open(target.constData(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  return writeAll(fd.get(), data) && ::ftruncate(fd.get(), data.size()) == 0 &&
         ::fsync(fd.get()) == 0 && fd.close();
}

void syncFolder(const QByteArray& folder) {
  FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

bool replace(const QByteArray& target, const QByteArray& data, unsigned createMode) {
  struct stat st;
  const bool exists = ::stat(target.constData(), &st) == 0;
  if (exists &&
      (!S_ISREG(st.st_mode) || ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0))
    return false;

  const qsizetype slash = target.lastIndexOf('/');
  const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash + 1);
  const QByteArray name = target.mid(slash + 1);
  QByteArray temp = folder + '.' + name + ".XXXXXX";
  FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) {
    if (exists && (errno == EACCES || errno == EPERM)) return rewriteInPlace(target, data);
    return false;
  }
  // Best effort: some file systems (FAT, SMB mounts) refuse modes and owners, and the
  // file is already 0600 when they do. Only root may give the file back to its owner.
  (void)::fchmod(fd.get(), exists ? (st.st_mode & 07777) : createMode);
  if (exists && ::geteuid() == 0) (void)::fchown(fd.get(), st.st_uid, st.st_gid);
  bool ok = writeAll(fd.get(), data) && ::fsync(fd.get()) == 0;
  ok = fd.close() && ok;
  ok = ok && ::rename(temp.constData(), target.constData()) == 0;
  if (!ok) {
    ::unlink(temp.constData());
    return false;
  }
  syncFolder(folder);
  return true;
}

}  // namespace

void writeFileAtomically(const QString& path, const QByteArray& data, unsigned createMode) {
  const QString fullPath = QFileInfo(path).absoluteFilePath();
  if (!replace(resolveTarget(QFile::encodeName(fullPath)), data, createMode))
    throw Error(unableToWrite(fullPath));
}

}  // namespace platform
