#include "import/ImportJournal.h"

#include <platform/Error.h>
#include <platform/ProgramFolder.h>

#include <pwd.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dataimport {
namespace {

QString userName() {
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
    return QString::fromLocal8Bit(pw->pw_name);
  return qEnvironmentVariable("USER");
}

// The oldest journals past the newest `kept`, and files left of journals already gone
// (a run stopped before its journal was whole); a run still writing keeps its files.
void prune(const QString& dirPath, const QStringList& all, qsizetype kept,
           const QStringList& spared) {
  for (qsizetype i = 0; i + kept < all.size(); ++i)
    if (!spared.contains(all.at(i)) && !journal::JournalFile::isRunning(all.at(i)))
      journal::JournalFile::remove(all.at(i));
  const QDir dir(dirPath);
  for (const QString& name : dir.entryList({QStringLiteral("*.sqlite-*")}, QDir::Files)) {
    const QString base = dir.filePath(name.left(name.lastIndexOf(QLatin1String(".sqlite-")) + 7));
    if (!spared.contains(base) && !QFileInfo::exists(base) &&
        !journal::JournalFile::isRunning(base))
      QFile::remove(dir.filePath(name));
  }
}

}  // namespace

QString ImportJournal::folder() {
  return platform::programFolder() + QStringLiteral("journal");
}

QStringList ImportJournal::list() {
  const QDir dir(folder());
  QStringList out;
  for (const QString& name : dir.entryList({QStringLiteral("*.sqlite")}, QDir::Files, QDir::Name))
    out << dir.filePath(name);
  return out;
}

ImportJournal::ImportJournal(const QString& kind, const QString& pos, const QString& undoes) {
  const QString dirPath = folder();
  if (!QDir().mkpath(dirPath))
    throw platform::Error(journal::journalWriteError(dirPath, QStringLiteral("無法建立資料夾")));
  // Private to its owner; what the owner may do there is left as it is.
  QFile::setPermissions(dirPath, QFile::permissions(dirPath) &
                                     (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadUser | QFile::WriteUser | QFile::ExeUser));
  journal::JournalRun run;
  run.kind = kind;
  run.started = QDateTime::currentDateTime();
  run.user = userName();
  run.folder = QDir::toNativeSeparators(platform::programFolder());
  run.pos = pos;
  run.undoes = undoes;
  // Named by the start time; a second run in the same millisecond gets a suffix. Two
  // programs may pick the same name at once: the journal is created exclusively, and
  // the one that finds it taken tries the next name.
  const QString stem = run.started.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
  for (int n = 1;; ++n) {
    const QString path =
        QDir(dirPath).filePath(n == 1 ? stem + QStringLiteral(".sqlite")
                                      : QStringLiteral("%1-%2.sqlite").arg(stem).arg(n));
    if (QFileInfo::exists(path)) continue;
    try {
      file_ = journal::JournalFile::create(path, run);
      break;
    } catch (const platform::Error&) {
      if (n >= kKept || !(QFileInfo::exists(path) || journal::JournalFile::isRunning(path))) throw;
    }
  }
  // Never the journal an undo takes back: it is being read.
  const QString undone = undoes.isEmpty() ? QString() : QDir(dirPath).filePath(undoes);
  prune(dirPath, list(), kKept, {file_->path(), undone});
}

ImportJournal::~ImportJournal() = default;

void ImportJournal::beginTable(const QString& table, const QString& accessFile) {
  file_->addSource(
      {table, QDir::toNativeSeparators(accessFile), QFileInfo(accessFile).lastModified()});
}

void ImportJournal::rowReady(const journal::RowChange& change) {
  pending_.emplace_back(file_->add(change), change.action);
}

void ImportJournal::rowPosted() {
  if (!pending_.empty()) pending_.pop_front();
}

void ImportJournal::rowFailed(bool mayHaveWritten) {
  if (pending_.empty()) return;
  const auto [entry, action] = pending_.front();
  pending_.pop_front();
  // A row that may have been written keeps its entry: an undo then finds what the POS
  // holds. Otherwise the entry would only be found not applied; the row's own error is
  // what the operator must see.
  try {
    if (mayHaveWritten)
      file_->markUncertain(entry);
    else
      file_->remove(entry, action);
  } catch (...) {
  }
}

void ImportJournal::finish(bool completed) {
  file_->finish(completed);
}

}  // namespace dataimport
