// Posting a dataset's edited or appended row: the statements and their checks, and the
// explanation of an update that found no row. Every statement's count must be known:
// a post whose count the database did not report fails as not known to have written.
#include "db/Dataset.h"
#include "db/ServerError.h"

#include "Driver.h"
#include "RowIndex.h"
#include "db/Connection.h"
#include "db/ServerRules.h"
#include "db/ValueText.h"

#include <platform/Error.h>

#include <QDateTime>
#include <functional>

namespace db {

void Dataset::resolveKey() {
  if (keyResolved_) return;
  QStringList names = keyFields_;
  if (names.isEmpty() && connection_ && connection_->isConnected())
    names = connection_->primaryKey(table_);
  std::vector<int> picked;
  for (const QString& n : names) {
    const Field* f = findField(n);
    if (!f || f->isLookup()) {
      picked.clear();
      break;
    }
    picked.push_back(f->slot_);
  }
  if (picked.empty())
    throw platform::Error(prefixed(
        QStringLiteral("Insufficient key column information for updating or refreshing.")));
  keySlots_ = picked;
  keyResolved_ = true;
}

Statement& Dataset::statement(const std::vector<int>& shape, const std::function<QString()>& sqlOf,
                              const std::vector<FieldType>& types) {
  for (auto it = statements_.begin(); it != statements_.end(); ++it)
    if (it->first == shape) {
      statements_.splice(statements_.begin(), statements_, it);
      return *statements_.front().second;
    }
  if (!connection_)
    throw platform::Error(prefixed(QStringLiteral("Missing Connection or ConnectionString")));
  std::unique_ptr<Statement> st = connection_->prepare(sqlOf(), types);
  if (int(statements_.size()) >= kMaxStatements) statements_.pop_back();
  statements_.emplace_front(shape, std::move(st));
  return *statements_.front().second;
}

namespace {

// A date-time read back over a route that keeps less than its full precision (the
// milliseconds of SQL Server's 1/300 s, PostgreSQL's microseconds cut to milliseconds)
// still matches the stored value within this window, whichever way the server rounds
// the bounds it is given.
constexpr qint64 kDateBefore = 1;  // milliseconds
constexpr qint64 kDateAfter = 2;

}  // namespace

bool Dataset::stageUpdate() {
  const size_t w = size_t(width_);
  const int rowId = position_;
  // Values as read; the store is not contiguous, so index it row by row.
  auto original = [&](size_t s) -> const QVariant& { return cells_[size_t(rowId) * w + s]; };
  // Only the cells whose value changes are written, each on condition that it still
  // holds the value read: a row that another user changed since it was read is not
  // overwritten, and columns the row does not change (a member's total, a stock count
  // the tills keep lowering) are never written back from an old reading.
  std::vector<int>& picked = scratch_.picked;
  picked.clear();
  for (size_t s = 0; s < w; ++s) {
    if (!changed_[s]) continue;
    // A fixed-width column pads what it is given: blanks added or dropped at the end
    // change nothing there.
    if (added_[s].isValid() ||
        !storedAlike(buffer_[s], original(s), rules_.padded(&slotColumns_[s])))
      picked.push_back(int(s));
  }
  if (picked.empty()) return false;
  resolveKey();
  // The statement is known by its shape (see UpdateShape): the columns set and how,
  // which key values are NULL as read, and how each written cell is checked. Its text
  // is made only when it is prepared. A written text is checked exactly (the server's
  // "=" may ignore case, width and trailing blanks); the key keeps the server's own
  // comparison, which finds the row by its index: a key changed since only in case is
  // the same row for the server, and the post never writes the key.
  auto checkOf = [&](size_t s) {
    if (added_[s].isValid()) return kNone;
    if (isNullValue(original(s))) return kIsNull;
    if (basicKind(slotTypes_[s]) == BasicKind::Text) return kText;
    return basicKind(slotTypes_[s]) == BasicKind::DateTime ? kWithin : kEquals;
  };

  std::vector<int>& shape = scratch_.shape;
  shape.assign(1, 0);
  std::vector<QVariant>& values = scratch_.values;
  std::vector<FieldType>& types = scratch_.types;
  values.clear();
  types.clear();
  for (int slot : picked) {
    shape.push_back(slot);
    const bool add = added_[size_t(slot)].isValid();
    values.push_back(add ? added_[size_t(slot)] : buffer_[size_t(slot)]);
    types.push_back(slotTypes_[size_t(slot)]);
    shape.push_back(add ? 1 : 0);
  }
  shape.push_back(-1);
  for (int slot : keySlots_) {
    const bool null = isNullValue(original(size_t(slot)));
    shape.push_back(null ? 1 : 0);
    if (null) continue;
    values.push_back(original(size_t(slot)));
    types.push_back(slotTypes_[size_t(slot)]);
  }
  shape.push_back(-2);
  for (int slot : picked) {
    const size_t s = size_t(slot);
    const Check check = checkOf(s);
    shape.push_back(check);
    if (check == kEquals || check == kText) {
      values.push_back(original(s));
      types.push_back(slotTypes_[s]);
    } else if (check == kWithin) {
      const QDateTime at = original(s).toDateTime();
      values.push_back(at.addMSecs(-kDateBefore));
      values.push_back(at.addMSecs(kDateAfter));
      types.push_back(slotTypes_[s]);
      types.push_back(slotTypes_[s]);
    }
  }
  return true;
}

Dataset::UpdateShape Dataset::UpdateShape::of(const std::vector<int>& shape) {
  UpdateShape u;
  size_t i = 1;
  for (; shape[i] != -1; i += 2) {
    u.picked.push_back(shape[i]);
    u.add.push_back(shape[i + 1] == 1);
  }
  for (++i; shape[i] != -2; ++i) u.keyNull.push_back(shape[i] == 1);
  for (++i; i < shape.size(); ++i) u.checks.push_back(Check(shape[i]));
  return u;
}

QString Dataset::updateSql(const std::vector<int>& shape) const {
  const UpdateShape u = UpdateShape::of(shape);
  QString sql = QStringLiteral("UPDATE %1 SET ").arg(table_);
  for (size_t i = 0; i < u.picked.size(); ++i) {
    const QString name = connection_->quoteName(columnNames_[size_t(u.picked[i])]);
    if (i) sql += QStringLiteral(", ");
    sql += u.add[i] ? name + QStringLiteral(" = COALESCE(") + name + QStringLiteral(", 0) + ?")
                    : name + QStringLiteral(" = ?");
  }
  sql += QStringLiteral(" WHERE ");
  for (size_t i = 0; i < keySlots_.size(); ++i) {
    const size_t s = size_t(keySlots_[i]);
    if (i) sql += QStringLiteral(" AND ");
    sql += connection_->quoteName(columnNames_[s]) +
           (u.keyNull[i] ? QStringLiteral(" IS NULL") : QStringLiteral(" = ?"));
  }
  for (size_t i = 0; i < u.picked.size(); ++i) {
    const size_t s = size_t(u.picked[i]);
    const QString name = connection_->quoteName(columnNames_[s]);
    switch (u.checks[i]) {
      case kText:
        sql += QStringLiteral(" AND ") + rules_.exactTextCheck(name, slotColumns_[s].fixedChar);
        break;
      case kIsNull:
        sql += QStringLiteral(" AND ") + name + QStringLiteral(" IS NULL");
        break;
      case kEquals:
        sql += QStringLiteral(" AND ") + name + QStringLiteral(" = ?");
        break;
      case kWithin:
        sql += QStringLiteral(" AND ") + name + QStringLiteral(" >= ? AND ") + name +
               QStringLiteral(" <= ?");
        break;
      case kNone:
        break;
    }
  }
  return sql;
}

void Dataset::checkUpdateCount(qint64 rows, const std::vector<int>& shape, int rowId) {
  if (!ServerRules::countKnown(rows)) throw platform::Error(unknownCount());
  if (rows == 0) explainMissedUpdate(shape, rowId);
  if (rows > 1)
    throw platform::Error(prefixed(
        QStringLiteral("The update changed %1 rows: the key does not identify one row").arg(rows)));
}

void Dataset::postUpdate() {
  if (!stageUpdate()) return;
  const std::vector<int>& shape = scratch_.shape;
  const qint64 rows = statement(
                          shape, [&] { return updateSql(shape); }, scratch_.types)
                          .execute(scratch_.values);
  scratch_.values.clear();
  checkUpdateCount(rows, shape, position_);
  // The buffer is dropped after the post; its values move into the row.
  const size_t w = size_t(width_);
  for (int s : scratch_.picked) {
    QVariant& cell = cells_[size_t(position_) * w + size_t(s)];
    if (const auto it = indexes_.find(s); it != indexes_.end()) {
      it->second->remove(position_, cell);
      it->second->add(position_, buffer_[size_t(s)]);
    }
    cell = std::move(buffer_[size_t(s)]);
  }
  if (!controlsDisabled())
    emit rowChanged(position_);
  else
    changedWhileDisabled_ = true;
}

void Dataset::explainMissedUpdate(const std::vector<int>& shape, int rowId) {
  const size_t w = size_t(width_);
  const UpdateShape u = UpdateShape::of(shape);
  const std::vector<int>& picked = u.picked;
  auto original = [&](size_t s) -> const QVariant& { return cells_[size_t(rowId) * w + s]; };
  // Columns as the program declares them, not as the database folds their names.
  auto nameOf = [&](size_t s) {
    for (const auto& f : fields_)
      if (f->slot_ == int(s)) return f->fieldName();
    return columnNames_[s];
  };
  const QString missing = prefixed(QStringLiteral(
      "Row cannot be located for updating. Some values may have been changed since it was last "
      "read."));
  // The row as the database holds it now, found by its key.
  QString where, keyText, keyNames;
  for (int slot : keySlots_) {
    const size_t s = size_t(slot);
    const QVariant& v = original(s);
    if (!where.isEmpty()) where += QStringLiteral(" AND ");
    where += connection_->quoteName(columnNames_[s]);
    const QString text = ValueText::plain(v, slotTypes_[s]);
    if (isNullValue(v)) {
      where += QStringLiteral(" IS NULL");
    } else if (basicKind(slotTypes_[s]) == BasicKind::Whole) {
      where += QStringLiteral(" = ") + QString::number(v.toLongLong());
    } else if (basicKind(slotTypes_[s]) == BasicKind::Text) {
      where += QStringLiteral(" = '") + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
    } else {
      throw ConflictError(missing);
    }
    keyNames += (keyNames.isEmpty() ? QString() : QStringLiteral(", ")) + nameOf(s);
    keyText += (keyText.isEmpty() ? QString() : QStringLiteral(", ")) + text;
  }
  QString columns;
  for (int slot : picked)
    columns += (columns.isEmpty() ? QString() : QStringLiteral(", ")) +
               connection_->quoteName(columnNames_[size_t(slot)]);
  ResultSet now;
  try {
    now = connection_->select(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columns, table_, where));
  } catch (const platform::Error&) {
    throw ConflictError(missing);
  }
  if (now.rowCount() != 1) throw ConflictError(missing);
  for (size_t i = 0; i < picked.size(); ++i) {
    const size_t s = size_t(picked[i]);
    if (u.add[i]) continue;
    const QVariant found = ValueText::normalize(now.cells[i], slotTypes_[s]);
    const QVariant& read = original(s);
    bool same = isNullValue(found) == isNullValue(read);
    if (same && !isNullValue(read)) {
      if (basicKind(slotTypes_[s]) == BasicKind::DateTime)
        same = qAbs(found.toDateTime().msecsTo(read.toDateTime())) <= kDateAfter;
      else
        same = storedAlike(found, read, rules_.padded(&slotColumns_[s]));
    }
    if (same) continue;
    auto shown = [&](const QVariant& v) {
      return isNullValue(v) ? QStringLiteral("（空白）") : ValueText::plain(v, slotTypes_[s]);
    };
    throw ConflictError(
        QStringLiteral("%1（%2 = %3）的欄位 %4 在讀取後已被其他使用者修改：讀取時為「%5」，"
                       "現在為「%6」；這一列沒有寫入")
            .arg(table_, keyNames, keyText, nameOf(s), shown(read), shown(found)));
  }
  throw ConflictError(QStringLiteral("%1（%2 = %3）在讀取後已被其他使用者修改；這一列沒有寫入")
                          .arg(table_, keyNames, keyText));
}

QString Dataset::unknownCount() const {
  return prefixed(QStringLiteral(
      "資料庫沒有回報這個寫入改了幾列（伺服器可能設定了 NOCOUNT ON），無法確認這一列是否已寫入；"
      "請聯絡資料庫管理人員關閉 NOCOUNT 後再匯入"));
}

void Dataset::stageInsert() {
  // The assigned columns, NULL or not (a column left unassigned gets the table's
  // default), so that rows appended alike share one statement text.
  std::vector<int>& picked = scratch_.picked;
  picked.clear();
  for (size_t s = 0; s < size_t(width_); ++s)
    if (changed_[s]) picked.push_back(int(s));
  std::vector<int>& shape = scratch_.shape;
  shape.assign(1, 1);
  shape.insert(shape.end(), picked.begin(), picked.end());
  std::vector<QVariant>& values = scratch_.values;
  std::vector<FieldType>& types = scratch_.types;
  values.clear();
  types.clear();
  // A row with every column assigned binds the buffer as it is.
  const bool whole = picked.size() == size_t(width_);
  for (int slot : picked) {
    if (!whole) values.push_back(buffer_[size_t(slot)]);
    types.push_back(slotTypes_[size_t(slot)]);
  }
}

QString Dataset::insertSql(const std::vector<int>& shape) const {
  QString sql = QStringLiteral("INSERT INTO %1").arg(table_);
  if (shape.size() == 1) return sql + QStringLiteral(" DEFAULT VALUES");
  QString names, marks;
  for (size_t i = 1; i < shape.size(); ++i) {
    if (i > 1) {
      names += QStringLiteral(", ");
      marks += QStringLiteral(", ");
    }
    names += connection_->quoteName(columnNames_[size_t(shape[i])]);
    marks += u'?';
  }
  return sql + QStringLiteral(" (%1) VALUES (%2)").arg(names, marks);
}

void Dataset::checkInsertCount(qint64 rows) const {
  if (!ServerRules::countKnown(rows)) throw platform::Error(unknownCount());
  if (rows == 0)
    throw ServerError(prefixed(QStringLiteral("資料庫沒有新增這一列（回報寫入 0 列）")));
}

void Dataset::postInsert() {
  stageInsert();
  const std::vector<int>& shape = scratch_.shape;
  const bool whole = scratch_.picked.size() == size_t(width_);
  const qint64 rows = statement(
                          shape, [&] { return insertSql(shape); }, scratch_.types)
                          .execute(whole ? buffer_ : scratch_.values);
  scratch_.values.clear();
  checkInsertCount(rows);
  appendRow(buffer_);
}

void Dataset::appendRow(std::vector<QVariant>& row) {
  const int rowId = rows_;
  const int position = rowId;
  if (!controlsDisabled()) emit aboutToAppendRow(position);
  for (auto& [slot, index] : indexes_) index->add(rowId, row[size_t(slot)]);
  // The values move into the new row.
  for (QVariant& value : row) cells_.push_back(std::move(value));
  ++rows_;
  rank_.push_back(rowId);
  position_ = position;
  bof_ = eof_ = false;
  if (!controlsDisabled()) {
    emit rowAppended(position);
    emit currentChanged(position);
  } else {
    changedWhileDisabled_ = true;
  }
}

}  // namespace db
