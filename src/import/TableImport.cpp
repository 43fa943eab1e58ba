#include "import/TableImport.h"

#include "import/ItemNumber.h"
#include "import/ResavedFloat.h"

#include "HeldPosts.h"

#include <config/Configs.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <db/DefaultValue.h>
#include <db/Field.h>
#include <db/ServerError.h>
#include <db/ValueText.h>
#include <platform/CodePage.h>
#include <platform/ErrorText.h>

#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace dataimport {
namespace {

struct Guard {
  const char* column;
  bool ItemRules::*allowed;
  const char* setting;  // the switch's caption in "參數設定"
};

// Columns of an existing item that only an enabled switch lets the import overwrite.
constexpr Guard kGuarded[] = {
    {"ShelfNo", &ItemRules::shelfNo, "更新貨架"},
    {"AvgCost", &ItemRules::avgCost, "更新平均成本"},
    {"UniPrice", &ItemRules::uniPrice, "更新最新進價"},
    {"Price", &ItemRules::price, "更新售價"},
    {"MemPrice", &ItemRules::memPrice, "更新會員價格"},
    {"VipPrice", &ItemRules::vipPrice, "更新VIP價格"},
};
constexpr const char* kStockSetting = "更新庫存量";

}  // namespace

ItemRules ItemRules::fromConfig(const config::TConfig& config) {
  namespace k = config::keys;
  ItemRules r;
  r.shelfNo = config.read(k::UpdateShelfNo);
  r.avgCost = config.read(k::UpdateAvgCost);
  r.uniPrice = config.read(k::UpdateUniPrice);
  r.price = config.read(k::UpdatePrice);
  r.memPrice = config.read(k::UpdateMemPrice);
  r.vipPrice = config.read(k::UpdateVipPrice);
  r.updateStkQty = config.read(k::UpdateStkQty);
  r.stkQtyAction = config.read(k::UpdateStkQtyAction);
  return r;
}

TableImport::TableImport(PosTable table, db::Dataset& source, db::Dataset& target)
    : table_(table), source_(source), target_(target) {}

TableImport::~TableImport() = default;

void TableImport::prepare() {
  if (!map_) map_ = config::ColumnMap::readTable(QString::fromUtf8(importTable(table_).name));
  const bool item = table_ == PosTable::Item;
  if (item && !rules_) rules_ = ItemRules::fromConfig(config::Config());
  trimOthers_ = table_ == PosTable::Classify || table_ == PosTable::Customer;
  records_.clear();
  if (editsOnly_ ? *editsOnly_ : config::Config().read(config::keys::EditsOnly))
    records_ = posdb::ExportRecord::readAll(QString::fromUtf8(importTable(table_).name));
  keyField_ = map_->keyField();
  keyDisplay_ = map_->keyDisplay();
  keySource_ = nullptr;
  columns_.clear();
  for (const config::ColumnPair& pair : map_->pairs()) {
    Column c;
    c.names = pair;
    if (map_->isKeyPair(pair)) {
      c.rule = Rule::Key;
    } else if (item && pair.field == QLatin1String("StkQty")) {
      c.rule = Rule::Stock;
      c.setting = kStockSetting;
    } else if (item) {
      for (const Guard& g : kGuarded)
        if (pair.field == QLatin1String(g.column)) {
          c.rule = Rule::Guarded;
          c.allowed = (*rules_).*g.allowed;
          c.setting = g.setting;
        }
    }
    columns_.push_back(c);
  }
  checkHeadings();
  findConflictingCopies();
}

void TableImport::checkHeadings() {
  // Nothing to read, nothing missing: an empty file imports as done.
  if (source_.recordCount() == 0 || !map_ || map_->pairs().empty()) return;
  QStringList missing;
  for (const Column& c : columns_)
    if (!source_.findField(c.names.display)) missing << c.names.display;
  if (missing.isEmpty()) return;
  // Said once for the table, not once for every row.
  const QString table = QString::fromUtf8(importTable(table_).name);
  throw platform::Error(
      QStringLiteral("%1 裡找不到欄位「%2」（欄位對照檔 %3.ini 列出的欄位），這個資料表沒有匯入。"
                     "請在 %4 中把欄位標題改回原來的名稱，或重新按「匯出檔案」產生新的檔案。")
          .arg(sourceFileName(), missing.join(QStringLiteral("」、「")), table, sourceProgram_));
}

void TableImport::findConflictingCopies() {
  copies_.clear();
  const int n = source_.recordCount();
  if (n < 2) return;
  const db::Field* keySource = source_.findField(keyDisplay_);
  const db::Field* keyTarget = target_.findField(keyField_);
  if (!keySource || !keyTarget) return;  // the first row fails on the name
  const bool item = table_ == PosTable::Item;
  // Keys as the server compares them; only the keys seen twice have their rows' contents
  // compared, so that the usual file costs one walk of its keys.
  QHash<QString, std::vector<int>> rowsOf;
  rowsOf.reserve(n);
  int position = 0;
  for (source_.first(); !source_.eof(); source_.next(), ++position) {
    QString key = keySource->asString();
    if (item) {
      try {
        key = completeItemNo(key);
      } catch (const platform::Error&) {
        // The row fails on its own key when it is reached.
      }
    }
    if (trimmedText(key).isEmpty()) continue;  // blank, or failing on its own
    rowsOf[target_.textForm(*keyTarget, key)].push_back(position);
  }
  for (auto it = rowsOf.cbegin(); it != rowsOf.cend(); ++it) {
    const std::vector<int>& rows = it.value();
    if (rows.size() < 2) continue;
    std::vector<QStringList> contents;
    for (int row : rows) {
      source_.moveTo(row);
      QStringList values;
      for (int f = 0; f < source_.fieldCount(); ++f) values << source_.field(f).asString();
      contents.push_back(values);
    }
    for (size_t a = 0; a < rows.size(); ++a)
      for (size_t b = 0; b < rows.size(); ++b)
        if (a != b && contents[a] != contents[b]) copies_[rows[a]].push_back(rows[b]);
  }
  source_.first();
}

void TableImport::failConflictingCopy(const std::vector<int>& others) {
  // Either copy would overwrite the other: the operator decides which one stays.
  const int here = source_.recNo();
  std::vector<int> all = others;
  all.push_back(here);
  std::sort(all.begin(), all.end());
  QStringList rows;
  for (int row : all) {
    source_.moveTo(row);
    rows << QString::number(sourceRowNumber());
  }
  source_.moveTo(here);
  throw platform::Error(
      QStringLiteral("%1 第 %2 列的 %3 都是 %4，內容不同；請刪除其中一列，這些列都沒有匯入")
          .arg(sourceFileName(), rows.join(QStringLiteral(" 列與第 ")), keyDisplay_,
               keySource_->asString()));
}

bool TableImport::blankRow() {
  if (columns_.empty()) return false;  // no map: the row fails on the key's name
  for (Column& c : columns_) {
    const db::Field* f = nullptr;
    try {
      f = &sourceField(c);
    } catch (const platform::Error&) {
      return false;  // the row fails on the name
    }
    if (!trimmedText(f->asString()).isEmpty()) return false;
  }
  return true;
}

QString TableImport::sourceFileName() const {
  return sourceFile_.isEmpty()
             ? QString::fromUtf8(importTable(table_).name) + QStringLiteral(".mdb")
             : QFileInfo(sourceFile_).fileName();
}

int TableImport::sourceRowNumber() const {
  const int sheetRow = source_.sourceRow();
  return sheetRow > 0 ? sheetRow : source_.recNo() + 1;
}

void TableImport::run(platform::Progress& progress) {
  prepare();
  batching_ = batchRows_ > 1 && target_.batchesPosts();
  held_.clear();
  const int total = source_.recordCount();
  progress.start(total);
  int done = 0;
  source_.first();
  while (!source_.eof()) {
    try {
      if (!blankRow()) importRow();
      source_.next();
      ++done;
      progress.step(done, total);
    } catch (...) {
      target_.cancel();
      // Rows held for a batch are journaled already: they are sent before the run ends
      // (a cancel included), so that what the journal holds was written and the rows
      // before a failing one stay. A held row that fails is the table's failure instead.
      flushHeld();
      throw;
    }
  }
  flushHeld();
  progress.finish();
}

TableImport::Preview TableImport::preview(
    platform::Progress& progress, const std::function<void(const journal::RowChange&)>& onChange) {
  prepare();
  Preview result;
  result.rows = source_.recordCount();
  progress.start(result.rows);
  // A key the file holds twice: the import appends the first and then updates that
  // new row; nothing was posted here, so the second is recognised by its key.
  QSet<QString> appended;
  int row = 0;
  source_.first();
  while (!source_.eof()) {
    ++row;
    if (blankRow()) {
      ++result.blank;
      source_.next();
      progress.step(row, result.rows);
      continue;
    }
    try {
      bool found = false;
      stageRow(found);
      describeChange(found);
      struct GiveBack {
        TableImport& t;
        ~GiveBack() { t.returnLent(); }
      } giveBack{*this};
      result.leftAlone += leftAlone_;
      if (found && change_.cells.empty()) {
        ++result.unchanged;
      } else {
        // Keys the server takes for one (in case or width only, say) are one row.
        const QString form = target_.textForm(*keyTarget_, change_.key);
        if (found || appended.contains(form)) {
          ++result.changed;
        } else {
          ++result.added;
          appended.insert(form);
        }
        if (onChange) onChange(change_);
      }
    } catch (...) {
      result.failures.push_back({sourceRowNumber(), platform::errorText(std::current_exception())});
    }
    target_.cancel();
    source_.next();
    progress.step(row, result.rows);
  }
  result.keptBySettings = keptBySettings();
  result.missing = findMissingRows(source_, keyDisplay_, target_, keyField_,
                                   table_ == PosTable::Item ? completeItemNo : nullptr);
  progress.finish();
  return result;
}

db::Field& TableImport::sourceField(Column& column) {
  if (!column.source) column.source = &source_.fieldByName(column.names.display);
  return *column.source;
}

db::Field& TableImport::targetField(Column& column) {
  if (!column.target) column.target = &target_.fieldByName(column.names.field);
  return *column.target;
}

void TableImport::stageRow(bool& found) {
  if (!keySource_) keySource_ = &source_.fieldByName(keyDisplay_);
  if (!keyTarget_) keyTarget_ = &target_.fieldByName(keyField_);
  assigned_.clear();
  ++rowStamp_;
  auto assigned = [this](db::Field& f) {
    if (assignedStamp_.size() <= size_t(f.index())) assignedStamp_.resize(size_t(f.index()) + 1);
    if (assignedStamp_[size_t(f.index())] == rowStamp_) return;
    assignedStamp_[size_t(f.index())] = rowStamp_;
    assigned_.push_back(&f);
  };
  const bool item = table_ == PosTable::Item;
  if (const auto copies = copies_.constFind(source_.recNo()); copies != copies_.cend())
    failConflictingCopy(*copies);
  if (trimmedText(keySource_->asString()).isEmpty())
    throw platform::Error(
        QStringLiteral(
            "%1 第 %2 列的 %3 是空的：每一列都要有 %3；請填上或刪除這一列，這一列沒有匯入")
            .arg(sourceFileName())
            .arg(sourceRowNumber())
            .arg(keyDisplay_));
  const QString keyText = item ? completeItemNo(keySource_->asString()) : keySource_->asString();
  // Found as the server compares keys, the row keeps its key as the POS holds it; only
  // a new key must fit the column.
  found = target_.locate(keyField_, keyText);
  if (found) {
    target_.edit();
  } else {
    checkKeyFits(keyText);
    target_.append();
    keyTarget_->setAsString(item ? keyText : keySource_->asString());
    assigned(*keyTarget_);
  }
  for (Column& c : columns_) {
    switch (c.rule) {
      case Rule::Key:
        continue;
      case Rule::Guarded:
        if (found && !c.allowed) {
          noteKept(c);
          continue;
        }
        break;
      case Rule::Stock:
        if (found && !rules_->updateStkQty) {
          noteKept(c);
          continue;
        }
        if (found && rules_->stkQtyAction > 0) {
          const QString text = sourceField(c).asString();
          try {
            addStock(targetField(c), text);
          } catch (const platform::Error& e) {
            failAtCell(c, e);
          }
          assigned(targetField(c));
          continue;
        }
        break;
      case Rule::Copy:
        break;
    }
    const QString text = sourceField(c).asString();
    db::Field& target = targetField(c);
    const QString kept = trimOthers_ ? trimmedText(text) : text;
    checkTextFits(c, target, kept);
    try {
      target.setAsString(kept);
    } catch (const platform::Error& e) {
      if (!setFromSerial(c, target, text)) failAtCell(c, e);
    }
    // A float as a spreadsheet program saves the POS's value is that value, not an edit.
    const QVariant* read = found ? target_.originalCell(target) : nullptr;
    const QVariant* now = read ? target_.currentCell(target) : nullptr;
    if (now && resavedAlike(target.dataType(), *now, *read)) target_.revertCurrentCell(target);
    assigned(target);
  }
  leftAlone_ = 0;
  if (found && !records_.empty()) {
    // The export that wrote this row of the file: the last that began at or before it.
    // Rows typed in after the last export are its to describe, or none's.
    const int position = source_.recNo();
    const posdb::ExportRecord* record = nullptr;
    for (const auto& [first, r] : records_)
      if (first <= position) record = &r;
    if (record) leftAlone_ = keepUnedited(*record);
  }
  checkRow();
}

void TableImport::failAtCell(Column& column, const platform::Error& error) {
  // A workbook numbers its rows and columns: the operator finds the cell by them.
  const int row = source_.sourceRow();
  const db::ColumnInfo* info = source_.columnOf(sourceField(column));
  if (row <= 0 || !info || info->sourceColumn.isEmpty()) throw;
  throw platform::Error(QStringLiteral("%1 工作表第 %2 列 %3 欄（%4）：%5")
                            .arg(QString::fromUtf8(importTable(table_).name))
                            .arg(row)
                            .arg(info->sourceColumn, column.names.display, error.message()));
}

// A number in a date column of a workbook is a date typed into a cell without a date
// format: the spreadsheet keeps it as its day count, which the operator saw as a date.
bool TableImport::setFromSerial(Column& column, db::Field& target, const QString& text) {
  if (db::basicKind(target.dataType()) != db::BasicKind::DateTime) return false;
  const db::ColumnInfo* info = source_.columnOf(sourceField(column));
  if (!info || info->serialDates == 0) return false;
  bool number = false;
  const double serial = text.trimmed().toDouble(&number);
  if (!number || !std::isfinite(serial)) return false;
  const QDateTime at = db::spreadsheetDate(serial, info->serialDates);
  if (!at.isValid()) return false;
  target.setValue(at);
  return true;
}

int TableImport::keepUnedited(const posdb::ExportRecord& record) {
  const QString key = keyTarget_->asString();
  int left = 0;
  for (db::Field* f : assigned_) {
    // An amount added to the stock is an amount received, not an edit.
    if (f == keyTarget_ || target_.addsOnPost(*f)) continue;
    const std::optional<QVariant> exported = record.value(key, f->fieldName());
    if (!exported) continue;  // not exported: brought back as without the record
    const QVariant* now = target_.currentCell(*f);
    const QVariant* read = target_.originalCell(*f);
    if (!now || !read) continue;
    if (journal::sameValue(*now, *exported) || resavedAlike(f->dataType(), *now, *exported)) {
      if (!journal::sameValue(*read, *exported)) ++left;
      target_.revertCurrentCell(*f);
      continue;
    }
    if (!journal::sameValue(*read, *exported)) {
      auto shown = [f](const QVariant& v) {
        return db::isNullValue(v) ? QStringLiteral("（空白）")
                                  : db::ValueText::plain(v, f->dataType());
      };
      throw platform::Error(
          QStringLiteral("%1 在 %5 與 POS 都改過：匯出時為「%2」，%5 為「%3」，POS "
                         "現為「%4」；這一列沒有寫入")
              .arg(cellText(*f), shown(*exported), shown(*now), shown(*read), sourceProgram_));
    }
  }
  return left;
}

QString TableImport::cellText(const db::Field& field) const {
  // The operator edited the column under its heading in the exchange file: named too
  // when it is not the POS's name.
  QString column = field.fieldName();
  for (const Column& c : columns_)
    if (c.names.field == field.fieldName() && !c.names.display.isEmpty() &&
        c.names.display != c.names.field) {
      column += QStringLiteral("（檔案中的「%1」欄）").arg(c.names.display);
      break;
    }
  return QStringLiteral("%1（%2 = %3）的欄位 %4")
      .arg(QString::fromUtf8(importTable(table_).name), keyTarget_->fieldName(),
           keyTarget_->asString(), column);
}

void TableImport::checkKeyFits(const QString& key) const {
  const int width = keyTarget_->size();
  if (width <= 0 || db::basicKind(keyTarget_->dataType()) != db::BasicKind::Text) return;
  const db::ColumnInfo* column = target_.columnOf(*keyTarget_);
  const int bytes = column && column->codePage > 0 ? platform::codePageLength(key, column->codePage)
                                                   : platform::big5Length(key);
  // Cut to the column's width it would be another key, and the row would be appended
  // or written under it.
  if (bytes > width || bytes < 0)
    throw platform::Error(
        QStringLiteral("%1 的索引欄 %2「%3」超過欄寬 %4 個位元組；這一列沒有匯入")
            .arg(QString::fromUtf8(importTable(table_).name), keyTarget_->fieldName(), key)
            .arg(width));
}

void TableImport::checkTextFits(Column& column, db::Field& target, const QString& text) {
  const int width = target.size();
  if (width <= 0 || target.dataType() == db::ftMemo ||
      db::basicKind(target.dataType()) != db::BasicKind::Text || text.size() * 2 <= width)
    return;
  const db::ColumnInfo* info = target_.columnOf(target);
  // A character the code page lacks is checkRow()'s to report.
  const int bytes = info && info->codePage > 0 ? platform::codePageLength(text, info->codePage)
                                               : platform::big5Length(text);
  if (bytes <= width) return;
  const QString key =
      keyTarget_ && target_.currentCell(*keyTarget_) ? keyTarget_->asString() : QString();
  throw platform::Error(
      QStringLiteral("%1（%2 = %3）的欄位「%4」（POS 欄位 %5）太長：「%6」佔 %7 個位元組，"
                     "這個欄位最多只能放 %8 個英文字母或數字（中文字每字算 2 個，最多 %9 "
                     "個中文字）；請縮短後再匯入，這一列沒有匯入")
          .arg(QString::fromUtf8(importTable(table_).name), keyField_, key, column.names.display,
               target.fieldName(), text)
          .arg(bytes)
          .arg(width)
          .arg(width / 2));
}

void TableImport::noteKept(Column& column) {
  db::Field& target = targetField(column);
  const QString text = sourceField(column).asString();
  bool differs = false;
  try {
    if (column.rule == Rule::Stock && rules_->stkQtyAction > 0) {
      // The file holds an amount to add.
      const QVariant amount =
          trimmedText(text).isEmpty() ? QVariant() : db::ValueText::parse(text, target.dataType());
      differs = !db::isNullValue(amount) && amount.toDouble() != 0;
    } else {
      target.setAsString(text);
      const QVariant* now = target_.currentCell(target);
      const QVariant* read = target_.originalCell(target);
      differs = now && read && !target_.storesAlike(target, *read, *now) &&
                !resavedAlike(target.dataType(), *now, *read);
      target_.revertCurrentCell(target);
    }
  } catch (const platform::Error&) {
    // A value that does not read is not imported either: nothing kept to mention.
    target_.revertCurrentCell(target);
    return;
  }
  if (differs) ++column.kept;
}

std::vector<TableImport::KeptColumn> TableImport::keptBySettings() const {
  std::vector<KeptColumn> out;
  for (const Column& c : columns_)
    if (c.kept > 0) out.push_back({c.names.display, QString::fromUtf8(c.setting), c.kept});
  return out;
}

QString TableImport::KeptColumn::text() const {
  return QStringLiteral("%1 %2 筆未更新：參數設定未勾選「%3」").arg(column).arg(cells).arg(setting);
}

void TableImport::checkRow() {
  for (db::Field* f : assigned_) {
    const db::ColumnInfo* column = target_.columnOf(*f);
    const QVariant* value = target_.currentCell(*f);
    if (!column || !value || db::isNullValue(*value)) continue;
    if (column->dateMin.isValid() && db::typeIdOf(*value) == QMetaType::QDateTime) {
      const QDateTime& date = *static_cast<const QDateTime*>(value->constData());
      if (date < column->dateMin || date > column->dateMax)
        throw platform::Error(
            QStringLiteral("%1 的日期 %2 超出 POS 資料庫這個欄位可存的範圍（%3 到 %4）")
                .arg(cellText(*f), f->asString(),
                     db::ValueText::plain(column->dateMin, db::ftDateTime),
                     db::ValueText::plain(column->dateMax, db::ftDateTime)));
    }
    if (column->codePage > 0 && db::typeIdOf(*value) == QMetaType::QString) {
      const QString& text = *static_cast<const QString*>(value->constData());
      QString unmappable;
      const int bytes = platform::codePageLength(text, column->codePage, &unmappable);
      if (bytes < 0)
        throw platform::Error(QStringLiteral("%1 含有 POS 資料庫無法儲存的字元「%2」：%3")
                                  .arg(cellText(*f), unmappable, text));
      if (column->size > 0 && bytes > column->size)
        throw platform::Error(QStringLiteral("%1 的內容有 %2 個位元組，超過欄寬 %3：%4")
                                  .arg(cellText(*f))
                                  .arg(bytes)
                                  .arg(column->size)
                                  .arg(text));
    }
  }
}

QString TableImport::refusalPrefix(bool found) {
  // Name the row and the values it was to write: the database's own text rarely says
  // which column it refused.
  QStringList cells;
  for (db::Field* f : assigned_) {
    const QVariant* now = target_.currentCell(*f);
    if (!now || f == keyTarget_) continue;
    const QVariant* before = found ? target_.originalCell(*f) : nullptr;
    if (found ? (!before || target_.storesAlike(*f, *before, *now)) : db::isNullValue(*now))
      continue;
    if (cells.size() == 6) {
      cells << QStringLiteral("…");
      break;
    }
    cells << QStringLiteral("%1 =「%2」").arg(f->fieldName(), f->asString());
  }
  return QStringLiteral("%1（%2 = %3）無法寫入 POS 資料庫（%4）：")
      .arg(QString::fromUtf8(importTable(table_).name), keyTarget_->fieldName(),
           keyTarget_->asString(), cells.join(QStringLiteral("、")));
}

void TableImport::postRow(bool found) {
  try {
    target_.post();
  } catch (const db::ServerError& e) {
    throw db::ServerError(refusalPrefix(found) + e.message());
  }
}

void TableImport::postReported(bool found) {
  if (!observer_) {
    postRow(found);
    return;
  }
  try {
    postRow(found);
  } catch (...) {
    // Still the database's refusal when named: nothing of the row was written.
    observer_->rowFailed(postMayHaveWritten(std::current_exception()));
    throw;
  }
  observer_->rowPosted();
}

void TableImport::holdRow(bool found) {
  // Made now: the post moves the row's values into the dataset.
  QString refusal = refusalPrefix(found);
  db::Dataset::Queue queued = db::Dataset::Queue::Single;
  try {
    queued = target_.queuePost(batchRows_);
    if (queued == db::Dataset::Queue::Full) {
      flushHeld();
      queued = target_.queuePost(batchRows_);
    }
    // A row that writes nothing is done; told to the journal in its turn.
    if (queued == db::Dataset::Queue::Nothing && !observer_) return;
    if (queued != db::Dataset::Queue::Queued) flushHeld();
  } catch (...) {
    // A held row failed: this row, journaled behind it, was not sent.
    if (observer_) observer_->rowFailed(false);
    throw;
  }
  if (queued == db::Dataset::Queue::Nothing) {
    observer_->rowPosted();
    return;
  }
  if (queued != db::Dataset::Queue::Queued) {
    postReported(found);
    return;
  }
  held_.push_back(std::move(refusal));
  heldRows_.push_back(sourceRowNumber());
  if (int(held_.size()) >= batchRows_) flushHeld();
}

void TableImport::flushHeld() {
  if (held_.empty()) return;
  std::vector<QString> held;
  held.swap(held_);
  std::vector<int> rows;
  rows.swap(heldRows_);
  const db::Dataset::Flushed flushed = target_.flushPosts();
  reportFlushed(observer_, flushed, held.size());
  if (!flushed.failure) return;
  const size_t failed = size_t(flushed.written);
  // The walk is past the held rows: the report names the one that failed.
  if (failed < rows.size()) failedRow_ = rows[failed];
  if (flushed.unknown) std::rethrow_exception(flushed.failure);
  try {
    std::rethrow_exception(flushed.failure);
  } catch (const db::ServerError& e) {
    throw db::ServerError(held[failed] + e.message());
  }
}

void TableImport::describeChange(bool found) {
  if (change_.table.isEmpty()) change_.table = QString::fromUtf8(importTable(table_).name);
  if (change_.keyColumn.isEmpty()) change_.keyColumn = keyTarget_->fieldName();
  change_.action = found ? journal::RowChange::Action::Update : journal::RowChange::Action::Append;
  // The key as the POS holds it: the row's own for an update, the new one for an append
  // (read before the row's values are lent out).
  const QVariant key = found ? target_.valueAt(target_.recNo(), *keyTarget_) : keyTarget_->value();
  change_.key = journal::valueText(key, keyTarget_->dataType()).value_or(QString());
  // Values still lent by a row that failed before giving them back went with its
  // cancelled edit.
  lent_.clear();
  // The cells of the last row are given this row's values in place: rows name the same
  // columns, so most names and types stay as they are.
  size_t used = 0;
  auto cell = [this, &used](const db::Field& f) -> journal::RowChange::Cell& {
    if (used == change_.cells.size()) change_.cells.emplace_back();
    journal::RowChange::Cell& c = change_.cells[used++];
    if (c.column.constData() != f.fieldName().constData()) c.column = f.fieldName();
    c.type = f.dataType();
    return c;
  };
  for (db::Field* f : assigned_) {
    const QVariant* now = target_.currentCell(*f);
    if (!now) continue;  // a lookup field has no column to write
    if (found) {
      const QVariant* before = target_.originalCell(*f);
      if (!before || target_.storesAlike(*f, *before, *now)) continue;
      journal::RowChange::Cell& c = cell(*f);
      c.before = *before;
      c.after = *now;
      c.added = target_.addsOnPost(*f);
      c.defaulted = false;
    } else {
      journal::RowChange::Cell& c = cell(*f);
      c.added = false;
      c.defaulted = false;
      if (c.before.isValid()) c.before = QVariant();
      if (c.after.isValid()) c.after = QVariant();
      if (target_.swapCurrentCell(*f, c.after)) lent_.emplace_back(f, used - 1);
    }
  }
  if (!found) addDefaultedCells(cell);
  change_.cells.resize(used);
}

void TableImport::addDefaultedCells(
    const std::function<journal::RowChange::Cell&(const db::Field&)>& cell) {
  if (!defaults_) {
    defaults_.emplace(size_t(target_.fieldCount()));
    std::vector<db::ColumnDefault> declared;
    try {
      declared = target_.connection()->columnDefaults(QString::fromUtf8(importTable(table_).name));
    } catch (const platform::Error&) {
      // Unknown: an undo then compares the columns the import gave values to.
    }
    for (const db::ColumnDefault& d : declared) {
      db::Field* f = target_.findField(d.column);
      const db::ColumnInfo* column = f ? target_.columnOf(*f) : nullptr;
      if (f && !f->isLookup() && !(column && column->generated))
        (*defaults_)[size_t(f->index())] = db::constantDefault(d, f->dataType());
    }
  }
  for (int i = 0; i < target_.fieldCount(); ++i) {
    const std::optional<QVariant>& value = (*defaults_)[size_t(i)];
    if (!value || (size_t(i) < assignedStamp_.size() && assignedStamp_[size_t(i)] == rowStamp_))
      continue;
    journal::RowChange::Cell& c = cell(target_.field(i));
    c.added = false;
    c.defaulted = true;
    c.before = QVariant();
    c.after = *value;
  }
}

void TableImport::returnLent() {
  for (const auto& [field, cell] : lent_)
    target_.swapCurrentCell(*field, change_.cells[cell].after);
  lent_.clear();
}

void TableImport::importRow() {
  bool found = false;
  stageRow(found);
  if (!observer_) {
    if (batching_)
      holdRow(found);
    else
      postRow(found);
    return;
  }
  describeChange(found);
  if (found && change_.cells.empty()) {
    target_.post();  // writes nothing: no value differs
    return;
  }
  try {
    observer_->rowReady(change_);
  } catch (...) {
    returnLent();
    throw;
  }
  returnLent();
  if (batching_)
    holdRow(found);
  else
    postReported(found);
}

void TableImport::addStock(db::Field& target, const QString& text) {
  if (trimmedText(text).isEmpty()) return;
  const QVariant add = db::ValueText::parse(text, target.dataType());
  if (add.isNull()) return;
  // Added on the server as the row is posted, to the stock the POS holds then: a sale
  // made at the till since the start must not be written over.
  target_.addOnPost(target, add);
}

}  // namespace dataimport
