// The undo at scale. A demo POS with N items is made (not timed), then a journal of an
// import that renamed every item twice (2N entries), its writes made directly. Timed:
// the history list with that journal, the undo's dry run (which follows its own steps
// for the rows written twice), and the undo itself. bench_undo [--rows N]
#include "DemoPos.h"

#include <db/Command.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <import/ImportDriver.h>
#include <import/ImportHistory.h>
#include <import/ImportJournal.h>
#include <import/JournalUndo.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int rows = 20000;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2)
    if (args[i] == "--rows") rows = args[i + 1].toInt();
  QTemporaryDir dir;
  platform::setProgramFolder(dir.path());
  demopos::Options o;
  o.path = dir.filePath("pos.sqlite");
  o.items = rows;
  o.today = QDate(2026, 1, 1);
  demopos::generate(o);

  const QString text = "Provider=SQLite;Data Source=" + o.path;
  posdb::TDmMSSQL dm;
  dm.startWith(text);
  dm.cnKAROS.select("PRAGMA journal_mode=WAL");
  dm.cnKAROS.execute("PRAGMA synchronous=OFF");
  QString path;
  {
    dataimport::ImportJournal journal("import", dataimport::ImportDriver::posDescription(text));
    journal.beginTable("Item", dir.filePath("Item.mdb"));
    db::Dataset& q = dm.qryItem;
    for (int pass = 0; pass < 2; ++pass)
      for (q.first(); !q.eof(); q.next()) {
        const QString key = q.fieldByName("ItemNo").asString();
        const QVariant name = q.fieldByName("PtName").value();
        journal::RowChange c{"Item", "ItemNo", key, journal::RowChange::Action::Update, {}};
        c.cells.push_back({"PtName", db::ftString, pass ? QVariant(key + "a") : name,
                           pass ? QVariant(key + "b") : QVariant(key + "a")});
        journal.rowReady(c);
        journal.rowPosted();
      }
    journal.finish(true);
    path = journal.path();
  }
  dm.cnKAROS.execute("UPDATE Item SET PtName = ItemNo || 'b'");
  dm.refresh("Item");
  const qint64 entries = qint64(dm.qryItem.recordCount()) * 2;

  QElapsedTimer timer;
  timer.start();
  const auto list = dataimport::ImportHistory::list();
  const double listMs = double(timer.nsecsElapsed()) / 1e6;

  platform::NoProgress none;
  dataimport::JournalUndo undo(dm, path);
  timer.restart();
  const dataimport::UndoResult preview = undo.run(true, none);
  const double dryS = double(timer.nsecsElapsed()) / 1e9;
  timer.restart();
  const dataimport::UndoResult done = undo.run(false, none);
  const double undoS = double(timer.nsecsElapsed()) / 1e9;

  std::printf("history list (%zu journal): %.1f ms\n", list.size(), listMs);
  std::printf("dry run: %lld entries in %.2f s (%.1f us/entry), %d restored, %d conflicts\n",
              entries, dryS, dryS * 1e6 / double(entries), preview.restored, preview.conflicts);
  std::printf("undo:    %lld entries in %.2f s (%.1f us/entry), %d restored, %d conflicts\n",
              entries, undoS, undoS * 1e6 / double(entries), done.restored, done.conflicts);
  return preview.restored == done.restored && preview.conflicts == done.conflicts ? 0 : 1;
}
