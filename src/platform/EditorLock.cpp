#include "platform/EditorLock.h"

#include <QFileInfo>
#include <QStringList>

namespace platform {

QString editorLockOf(const QString& path) {
  const QFileInfo info(path);
  const QString folder = info.absolutePath() + u'/';
  const QString name = info.fileName();
  const QString base = info.completeBaseName();
  const bool access = info.suffix().compare(QLatin1String("mdb"), Qt::CaseInsensitive) == 0 ||
                      info.suffix().compare(QLatin1String("accdb"), Qt::CaseInsensitive) == 0;
  const QStringList locks = access ? QStringList{folder + base + QStringLiteral(".ldb"),
                                                 folder + base + QStringLiteral(".laccdb")}
                                   : QStringList{folder + QStringLiteral(".~lock.") + name + u'#',
                                                 folder + QStringLiteral("~$") + name};
  for (const QString& lock : locks)
    if (QFileInfo::exists(lock)) return lock;
  return QString();
}

}  // namespace platform
