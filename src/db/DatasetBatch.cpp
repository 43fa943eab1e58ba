// Posts sent together over a slow link: each round trip to SQL Server costs as much as
// the statement itself on a shop's LAN and many times more over a VPN, so rows of one
// shape are held and sent as one statement joined to their values:
//
//   DECLARE @n int; BEGIN TRAN;
//   UPDATE t SET Price = s.p0 FROM Item AS t
//     JOIN (VALUES (?, ?, ?), (?, ?, ?)) AS s(p0, p1, p2) ON t.ItemNo = s.p1
//     WHERE t.Price = s.p2;
//   SET @n = @@ROWCOUNT; IF @n = 2 AND @@OPTIONS & 512 = 0 COMMIT TRAN ELSE ROLLBACK TRAN;
//   SELECT @n, @@OPTIONS & 512
//
// The values go into the text itself where each has a literal that stands for exactly
// what its parameter would carry (see SqlLiteral.h): the server reads a thousand rows
// of literals far faster than a thousand rows of declared parameters, and the batch is
// then bounded by its length rather than by the 2,100 parameters a request may have.
//
// Each row keeps the conditions of its own UPDATE (its key, each written cell as read,
// texts exactly), and the batch is committed only when every row was written and the
// session reports counts. Anything else rolls the batch back and posts its rows
// again one by one, which finds the first row that fails with its own text and leaves
// the rows before it written and those after it not, as single posts would have.
#include "db/Dataset.h"
#include "db/ServerError.h"

#include "Driver.h"
#include "RowIndex.h"
#include "SqlLiteral.h"
#include "db/Connection.h"

#include <platform/Error.h>

namespace db {

bool Dataset::batchesPosts() const {
  return connection_ && rules_.engine() == ServerRules::Engine::SqlServer;
}

Dataset::Queue Dataset::queuePost(int maxRows) {
  if (!batchesPosts() || (state_ != State::Edit && state_ != State::Insert)) return Queue::Single;
  const bool insert = state_ == State::Insert;
  if (insert) {
    stageInsert();
    if (scratch_.picked.empty()) return Queue::Single;
    if (scratch_.values.empty()) scratch_.values.assign(buffer_.begin(), buffer_.end());
  } else {
    if (!stageUpdate()) {
      endPost();
      return Queue::Nothing;
    }
    // A key NULL as read is found by "IS NULL", not by a join.
    for (bool null : UpdateShape::of(scratch_.shape).keyNull)
      if (null) return Queue::Single;
  }
  const size_t perRow = scratch_.values.size();
  if (perRow == 0) return Queue::Single;
  qsizetype chars = 0;
  bool literal = literalBatches_;
  for (size_t i = 0; i < perRow && literal; ++i)
    literal = sqlliteral::fits(scratch_.values[i], scratch_.types[i], &chars);
  if (!literal && perRow > size_t(kMaxBatchParams)) return Queue::Single;
  const int rowId = insert ? rows_ : position_;
  // Appends written as literals need not assign the same columns: a column a row
  // leaves out is written DEFAULT, as leaving it out of the row's own INSERT would
  // give, so that rows of a file with blanks here and there still travel together.
  const bool anyColumns = insert && literal;
  if (!queue_.empty()) {
    const bool alike = anyColumns ? queueShape_.front() == 1 && queueLiteral_
                                  : queueShape_ == scratch_.shape && queueTypes_ == scratch_.types;
    if (!alike || queueLiteral_ != literal || int(queue_.size()) >= maxRows ||
        (literal ? queueChars_ + chars > kMaxBatchChars
                 : (queue_.size() + 1) * perRow > size_t(kMaxBatchParams)) ||
        (insert && int(queue_.size()) >= kMaxInsertRows) ||
        (size_t(rowId) < queuedRow_.size() && queuedRow_[size_t(rowId)]))
      return Queue::Full;
  } else {
    queueShape_ = scratch_.shape;
    queueTypes_ = scratch_.types;
    queueLiteral_ = literal;
    queueChars_ = 0;
  }
  queueChars_ += chars;
  QueuedPost& q = queue_.emplace_back();
  q.rowId = rowId;
  q.values.swap(scratch_.values);
  if (anyColumns) {
    q.shape = scratch_.shape;
    q.types = scratch_.types;
  }
  if (queuedRow_.size() <= size_t(rowId)) queuedRow_.resize(size_t(rowId) + 1 + rowId / 2, 0);
  queuedRow_[size_t(rowId)] = 1;
  // Applied now, as a post would: the next rows locate what this one appended and
  // compare with what it wrote.
  if (insert) {
    q.after = buffer_;
    appendRow(buffer_);
  } else {
    const size_t w = size_t(width_);
    for (int s : scratch_.picked) {
      QVariant& cell = cells_[size_t(rowId) * w + size_t(s)];
      if (const auto it = indexes_.find(s); it != indexes_.end()) {
        it->second->remove(rowId, cell);
        it->second->add(rowId, buffer_[size_t(s)]);
      }
      q.before.emplace_back(s, std::move(cell));
      q.after.push_back(buffer_[size_t(s)]);
      cell = std::move(buffer_[size_t(s)]);
    }
    if (!controlsDisabled())
      emit rowChanged(rowId);
    else
      changedWhileDisabled_ = true;
  }
  endPost();
  return Queue::Queued;
}

QString Dataset::batchSql(int rows) const {
  const size_t perRow = queue_.front().values.size();
  const bool insert = queueShape_.front() == 1;
  // A floating value written into the text is two numbers (see sqlliteral::Quotient),
  // joined as two columns of an update's values and made a double where it is used;
  // a column of whole numbers only (prices often are) is written as they are.
  std::vector<char> quotients(perRow, 0);
  if (queueLiteral_ && !insert)
    for (size_t i = 0; i < perRow; ++i)
      if (basicKind(queueTypes_[i]) == BasicKind::Floating)
        for (int r = 0; r < rows && !quotients[i]; ++r)
          quotients[i] = !sqlliteral::wholeFloat(queue_[size_t(r)].values[i]);
  auto quotient = [&](size_t i) { return quotients[i] != 0; };
  QString columns, marks;
  for (size_t i = 0; i < perRow; ++i) {
    if (i) {
      columns += QStringLiteral(", ");
      marks += QStringLiteral(", ");
    }
    columns += QStringLiteral("p%1").arg(i);
    if (quotient(i)) columns += QStringLiteral(", q%1").arg(i);
    marks += u'?';
  }
  QString values;
  // Appends of literals: the columns any row assigns, DEFAULT where a row does not.
  std::vector<int> assigned;
  if (insert && queueLiteral_) {
    std::vector<char> used(size_t(width_), 0);
    for (const QueuedPost& q : queue_)
      for (size_t i = 1; i < q.shape.size(); ++i) used[size_t(q.shape[i])] = 1;
    for (int slot = 0; slot < width_; ++slot)
      if (used[size_t(slot)]) assigned.push_back(slot);
    values.reserve(queueChars_ + rows * qsizetype(assigned.size() + 2) * 2);
    for (int r = 0; r < rows; ++r) {
      const QueuedPost& q = queue_[size_t(r)];
      values += r ? QStringLiteral(", (") : QStringLiteral("(");
      size_t k = 1;  // the row's next assigned column, in its shape (in slot order)
      for (size_t c = 0; c < assigned.size(); ++c) {
        if (c) values += QStringLiteral(", ");
        if (k < q.shape.size() && q.shape[k] == assigned[c]) {
          sqlliteral::append(values, q.values[k - 1], q.types[k - 1],
                             sqlliteral::FloatForm::Inline);
          ++k;
        } else {
          values += QStringLiteral("DEFAULT");
        }
      }
      values += u')';
    }
  } else if (queueLiteral_) {
    values.reserve(queueChars_ + rows * 8);
    for (int r = 0; r < rows; ++r) {
      const std::vector<QVariant>& row = queue_[size_t(r)].values;
      values += r ? QStringLiteral(", (") : QStringLiteral("(");
      for (size_t i = 0; i < perRow; ++i) {
        if (i) values += QStringLiteral(", ");
        sqlliteral::append(
            values, row[i], queueTypes_[i],
            quotients[i] ? sqlliteral::FloatForm::Pair : sqlliteral::FloatForm::Inline);
      }
      values += u')';
    }
  } else {
    values.reserve(rows * (marks.size() + 3));
    for (int r = 0; r < rows; ++r) {
      if (r) values += QStringLiteral(", ");
      values += u'(' + marks + u')';
    }
  }
  QString sql = QStringLiteral("DECLARE @n int; BEGIN TRAN; ");
  if (insert) {
    if (!queueLiteral_) assigned.assign(queueShape_.begin() + 1, queueShape_.end());
    QString names;
    for (size_t i = 0; i < assigned.size(); ++i) {
      if (i) names += QStringLiteral(", ");
      names += connection_->quoteName(columnNames_[size_t(assigned[i])]);
    }
    sql += QStringLiteral("INSERT INTO %1 (%2) VALUES %3; ").arg(table_, names, values);
  } else {
    const UpdateShape u = UpdateShape::of(queueShape_);
    // The values of a row in the order of its own statement: values set, key, checks.
    size_t p = 0;
    auto next = [&] {
      const size_t i = p++;
      return quotient(i) ? sqlliteral::floatOf(QStringLiteral("s.p%1").arg(i),
                                               QStringLiteral("s.q%1").arg(i))
                         : QStringLiteral("s.p%1").arg(i);
    };
    QString set;
    for (size_t i = 0; i < u.picked.size(); ++i) {
      const QString name = connection_->quoteName(columnNames_[size_t(u.picked[i])]);
      if (i) set += QStringLiteral(", ");
      set += name + QStringLiteral(" = ") +
             (u.add[i] ? QStringLiteral("COALESCE(t.%1, 0) + %2").arg(name, next()) : next());
    }
    // The table's primary key is matched as a range of one value, and the checks
    // are folded into one condition on both rows: neither is then an equality the
    // server may join by, so it finds each row of the batch by the key's index rather
    // than scanning and hashing the whole table for every batch (which costs more the
    // larger the table, and a text's hash under a case-insensitive collation dearly).
    // Without such a key the server's own choice stands.
    const bool seek = keyPrimary_ == 1;
    QString on;
    for (size_t i = 0; i < keySlots_.size(); ++i) {
      if (i) on += QStringLiteral(" AND ");
      const QString name =
          QStringLiteral("t.") + connection_->quoteName(columnNames_[size_t(keySlots_[i])]);
      const QString value = next();
      on += seek ? QStringLiteral("%1 >= %2 AND %1 <= %2").arg(name, value)
                 : name + QStringLiteral(" = ") + value;
    }
    QString where;
    for (size_t i = 0; i < u.picked.size(); ++i) {
      const size_t s = size_t(u.picked[i]);
      const QString name = QStringLiteral("t.") + connection_->quoteName(columnNames_[s]);
      QString check;
      switch (u.checks[i]) {
        case kText: {
          check = rules_.exactTextCheck(name, slotColumns_[s].fixedChar);
          const qsizetype mark = check.lastIndexOf(u'?');
          check.replace(mark, 1, next());
          break;
        }
        case kIsNull:
          check = name + QStringLiteral(" IS NULL");
          break;
        case kEquals:
          check = name + QStringLiteral(" = ") + next();
          break;
        case kWithin:
          check = name + QStringLiteral(" >= ") + next();
          check += QStringLiteral(" AND ") + name + QStringLiteral(" <= ") + next();
          break;
        case kNone:
          break;
      }
      if (check.isEmpty()) continue;
      where += (where.isEmpty() ? QString() : QStringLiteral(" AND ")) + check;
    }
    if (!where.isEmpty())
      where = seek ? QStringLiteral(" WHERE CASE WHEN %1 THEN 1 ELSE 0 END = 1").arg(where)
                   : QStringLiteral(" WHERE ") + where;
    sql += QStringLiteral("UPDATE t SET %1 FROM %2 AS t JOIN (VALUES %3) AS s(%4) ON %5%6; ")
               .arg(set, table_, values, columns, on, where);
  }
  // NOCOUNT on (option bit 512) keeps the batch from being committed: posted again one
  // row at a time, the first row meets the count not reported, as a single post would.
  return sql + QStringLiteral(
                   "SET @n = @@ROWCOUNT; IF @n = %1 AND @@OPTIONS & 512 = 0 COMMIT "
                   "TRAN ELSE ROLLBACK TRAN; SELECT @n, @@OPTIONS & 512")
                   .arg(rows);
}

bool Dataset::keyIsPrimary() {
  if (keyPrimary_ >= 0) return keyPrimary_ == 1;
  keyPrimary_ = 0;
  // The table's name as the catalog holds it: the last part, without its quotes.
  QString name = table_.section(u'.', -1).trimmed();
  if (name.size() > 1 && (name.front() == u'[' || name.front() == u'"'))
    name = name.mid(1).chopped(1);
  QStringList keys, primary;
  for (int slot : keySlots_) keys << columnNames_[size_t(slot)].toLower();
  try {
    for (const QString& column : connection_->primaryKey(name)) primary << column.toLower();
  } catch (const platform::Error&) {
    // Not told: the plain join, which is right whatever the table holds.
  }
  keys.sort();
  primary.sort();
  keyPrimary_ = keys == primary ? 1 : 0;
  return keyPrimary_ == 1;
}

Dataset::Flushed Dataset::flushPosts() {
  Flushed out;
  if (queue_.empty()) return out;
  if (queueShape_.front() != 1) keyIsPrimary();
  const int rows = int(queue_.size());
  // The row being edited or appended while the batch goes out stays current.
  const int current = position_;
  auto restorePosition = [&] { position_ = rows_ == 0 ? 0 : std::min(current, rows_ - 1); };
  // The parameters of a batch that has them; a batch of literals has its values in
  // its text.
  std::vector<QVariant> values;
  std::vector<FieldType> types;
  if (!queueLiteral_) {
    values.reserve(queue_.size() * queue_.front().values.size());
    types.reserve(values.capacity());
    for (const QueuedPost& q : queue_) {
      values.insert(values.end(), q.values.begin(), q.values.end());
      types.insert(types.end(), queueTypes_.begin(), queueTypes_.end());
    }
  }
  // Not known whether the batch was committed: every row held may have been written.
  auto unknown = [&](std::exception_ptr failure) {
    out.failure = std::move(failure);
    out.unknown = true;
    unapplyQueued();
    restorePosition();
    clearQueue();
    return out;
  };
  bool refused = false;
  try {
    const ResultSet result = connection_->select(batchSql(rows), values, types);
    if (result.rowCount() != 1 || result.cells.size() != 2)
      return unknown(std::make_exception_ptr(platform::Error(unknownCount())));
    if (result.cells[0].toLongLong() == rows && result.cells[1].toLongLong() == 0) {
      out.written = rows;
      clearQueue();
      return out;
    }
  } catch (const ServerError&) {
    // A value the server refused fails the whole statement: none of its rows was
    // written; the transaction may be left open.
    refused = true;
  } catch (...) {
    return unknown(std::current_exception());
  }
  if (refused) {
    try {
      connection_->execute(QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRAN"));
    } catch (...) {
      return unknown(std::current_exception());
    }
  }
  // Rolled back: the rows again, one at a time, as they were held.
  unapplyQueued();
  for (QueuedPost& q : queue_) {
    try {
      replay(q);
    } catch (...) {
      out.failure = std::current_exception();
      break;
    }
    ++out.written;
  }
  restorePosition();
  clearQueue();
  return out;
}

void Dataset::replay(QueuedPost& post) {
  const size_t w = size_t(width_);
  if (queueShape_.front() == 1) {
    const std::vector<int>& shape = post.shape.empty() ? queueShape_ : post.shape;
    const std::vector<FieldType>& types = post.shape.empty() ? queueTypes_ : post.types;
    const qint64 rows = statement(
                            shape, [&] { return insertSql(shape); }, types)
                            .execute(post.values);
    checkInsertCount(rows);
    appendRow(post.after);
    return;
  }
  const qint64 rows = statement(
                          queueShape_, [&] { return updateSql(queueShape_); }, queueTypes_)
                          .execute(post.values);
  checkUpdateCount(rows, queueShape_, post.rowId);
  for (size_t i = 0; i < post.before.size(); ++i) {
    const int s = post.before[i].first;
    QVariant& cell = cells_[size_t(post.rowId) * w + size_t(s)];
    if (const auto it = indexes_.find(s); it != indexes_.end()) {
      it->second->remove(post.rowId, cell);
      it->second->add(post.rowId, post.after[i]);
    }
    cell = post.after[i];
  }
}

void Dataset::unapplyQueued() {
  const size_t w = size_t(width_);
  beginReset();
  for (auto q = queue_.rbegin(); q != queue_.rend(); ++q) {
    const size_t first = size_t(q->rowId) * w;
    if (queueShape_.front() == 1) {
      // Appended last of all the rows: taken off the end.
      for (auto& [slot, index] : indexes_) index->remove(q->rowId, cells_[first + size_t(slot)]);
      cells_.resize(first);
      --rows_;
      rank_.pop_back();
      continue;
    }
    for (auto& [s, value] : q->before) {
      QVariant& cell = cells_[first + size_t(s)];
      if (const auto it = indexes_.find(s); it != indexes_.end()) {
        it->second->remove(q->rowId, cell);
        it->second->add(q->rowId, value);
      }
      cell = value;
    }
  }
  if (rows_ == 0) {
    position_ = 0;
    bof_ = eof_ = true;
  } else {
    position_ = std::min(position_, rows_ - 1);
  }
  endReset();
}

void Dataset::clearQueue() {
  for (const QueuedPost& q : queue_)
    if (size_t(q.rowId) < queuedRow_.size()) queuedRow_[size_t(q.rowId)] = 0;
  queue_.clear();
}

}  // namespace db
