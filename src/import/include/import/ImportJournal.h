// The journal of an import (or an undo) run, kept in the folder "journal" beside
// Config.ini: one file per run, named by the time it started, the newest 50 kept.
//
// As the run's observer it commits each row's entry before the row is posted and
// takes it back when the post fails, so the journal holds exactly the rows that may
// have reached the POS. Rows posted in a batch are all journaled before it is sent.
#pragma once

#include <journal/JournalFile.h>
#include "import/ImportObserver.h"

#include <QString>
#include <deque>
#include <memory>

namespace dataimport {

class ImportJournal : public ImportObserver {
 public:
  static constexpr int kKept = 50;

  // The journal folder of the program folder.
  static QString folder();
  // The journals in it, oldest first.
  static QStringList list();

  // Creates the run's file (and the folder), then removes the oldest journals past
  // kKept. `pos` describes the POS the run changes; `undoes` names the journal an
  // undo takes back.
  ImportJournal(const QString& kind, const QString& pos, const QString& undoes = QString());
  ~ImportJournal() override;

  const QString& path() const { return file_->path(); }
  journal::JournalFile& file() { return *file_; }

  // The Access file a table is read from, before its rows.
  void beginTable(const QString& table, const QString& accessFile);

  void rowReady(const journal::RowChange& change) override;
  void rowPosted() override;
  void rowFailed(bool mayHaveWritten) override;

  void finish(bool completed);
  void finishAs(const QString& outcome) { file_->finishAs(outcome); }

 private:
  std::unique_ptr<journal::JournalFile> file_;
  // Entries of the rows sent or about to be, oldest first: rows held for a batch are
  // reported in the order they were journaled.
  std::deque<std::pair<qint64, journal::RowChange::Action>> pending_;
};

}  // namespace dataimport
