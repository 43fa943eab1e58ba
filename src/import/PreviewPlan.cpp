#include "import/PreviewPlan.h"

#include "import/ChangesCsv.h"

#include <config/ColumnMap.h>
#include <platform/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace dataimport {
namespace {

PreviewPlan::FileState fileState(const QString& path) {
  PreviewPlan::FileState state;
  state.path = path;
  const QFileInfo info(path);
  if (info.exists()) {
    state.size = info.size();
    state.modified = info.lastModified();
  }
  return state;
}

}  // namespace

PreviewPlan::PreviewPlan() = default;
PreviewPlan::~PreviewPlan() = default;

void PreviewPlan::collect(ImportPreview& preview) {
  csvDir_ = std::make_unique<QTemporaryDir>();
  if (!csvDir_->isValid())
    throw platform::Error(
        QStringLiteral("無法建立暫存的變更清單：%1。請確認暫存資料夾可以寫入、磁碟沒有滿。")
            .arg(csvDir_->errorString()));
  csv_ = std::make_unique<ChangesCsv>(csvDir_->filePath(QStringLiteral("changes.csv")));
  tables_ = preview.run([this](const journal::RowChange& change) { add(change); });
  csv_->commit();
  files_.clear();
  for (const TablePreview& t : tables_)
    if (!t.file.isEmpty()) files_.push_back(fileState(t.file));
}

int PreviewPlan::columnOf(config::PosTable table, const QString& field) {
  const size_t t = size_t(table);
  const QString upper = field.toUpper();
  if (const auto found = columnIndex_[t].constFind(upper); found != columnIndex_[t].cend())
    return *found;
  if (headings_[t].isEmpty()) {
    // The map the import reads the file's headings by; a map that cannot be read
    // leaves the POS names alone.
    try {
      const config::ColumnMap map =
          config::ColumnMap::readTable(QString::fromLatin1(config::posTable(table).name));
      for (const config::ColumnPair& pair : map.pairs())
        headings_[t].insert(pair.field.toUpper(), pair.display);
    } catch (const std::exception&) {
    }
    if (headings_[t].isEmpty()) headings_[t].insert(QString(), QString());
  }
  columns_[t].push_back({field, headings_[t].value(upper, field)});
  columnIndex_[t].insert(upper, int(columns_[t].size() - 1));
  return int(columns_[t].size() - 1);
}

void PreviewPlan::add(const journal::RowChange& change) {
  csv_->add(change);
  const config::PosTableInfo* info = config::posTableNamed(change.table);
  const config::PosTable table = info ? info->table : config::PosTable::Classify;
  const bool appended = change.action == journal::RowChange::Action::Append;
  for (const journal::RowChange::Cell& cell : change.cells) {
    if (cell.defaulted) continue;  // not a value the file gives
    QString after = journal::valueText(cell.after, cell.type).value_or(QString());
    if (appended && after.isEmpty()) continue;
    if (cells_.size() >= size_t(kMaxCells)) {
      ++leftOut_;
      continue;
    }
    Cell c;
    c.table = table;
    c.column = columnOf(table, cell.column);
    c.appended = appended;
    c.key = change.key;
    if (!appended) c.before = journal::valueText(cell.before, cell.type).value_or(QString());
    if (cell.added) {
      // What the import adds to the POS's stock, as the changes file shows it.
      const double amount = cell.after.toDouble() - cell.before.toDouble();
      after = (amount < 0 ? QString() : QStringLiteral("+")) + QString::number(amount, 'g', 15);
    }
    c.after = std::move(after);
    cells_.push_back(std::move(c));
  }
}

bool PreviewPlan::hasChanges() const {
  for (const TablePreview& t : tables_)
    if (t.counts && (t.counts->added > 0 || t.counts->changed > 0)) return true;
  return false;
}

QStringList PreviewPlan::changedFiles() const {
  QStringList changed;
  for (const FileState& before : files_)
    if (!(fileState(before.path) == before)) changed << before.path;
  return changed;
}

void PreviewPlan::saveChanges(const QString& path) const {
  QFile from(csvDir_ ? csvDir_->filePath(QStringLiteral("changes.csv")) : QString());
  QSaveFile to(path);
  if (!from.open(QIODevice::ReadOnly) || !to.open(QIODevice::WriteOnly))
    throw platform::Error(
        QStringLiteral("無法寫入變更清單 %1：%2。請換一個資料夾，或確認磁碟沒有滿。")
            .arg(QDir::toNativeSeparators(path),
                 from.isOpen() ? to.errorString() : from.errorString()));
  while (!from.atEnd()) {
    const QByteArray chunk = from.read(1 << 16);
    if (to.write(chunk) != chunk.size()) break;
  }
  if (!to.commit())
    throw platform::Error(
        QStringLiteral("無法寫入變更清單 %1：%2。請換一個資料夾，或確認磁碟沒有滿。")
            .arg(QDir::toNativeSeparators(path), to.errorString()));
}

}  // namespace dataimport
