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
// Each row keeps the conditions of its own UPDATE (its key, each written cell as read,
// texts exactly), and the batch is committed only when every row was written and the
// session reports counts. Anything else rolls the batch back and posts its rows
// again one by one, which finds the first row that fails with its own text and leaves
// the rows before it written and those after it not, as single posts would have.
#include "db/Dataset.h"
#include "db/ServerError.h"

#include "Driver.h"
#include "RowIndex.h"
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
  if (perRow == 0 || perRow > size_t(kMaxBatchParams)) return Queue::Single;
  const int rowId = insert ? rows_ : position_;
  if (!queue_.empty()) {
    if (queueShape_ != scratch_.shape || queueTypes_ != scratch_.types ||
        int(queue_.size()) >= maxRows || (queue_.size() + 1) * perRow > size_t(kMaxBatchParams) ||
        (insert && int(queue_.size()) >= kMaxInsertRows) ||
        (size_t(rowId) < queuedRow_.size() && queuedRow_[size_t(rowId)]))
      return Queue::Full;
  } else {
    queueShape_ = scratch_.shape;
    queueTypes_ = scratch_.types;
  }
  QueuedPost& q = queue_.emplace_back();
  q.rowId = rowId;
  q.values.swap(scratch_.values);
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
  QString columns, marks;
  for (size_t i = 0; i < perRow; ++i) {
    if (i) {
      columns += QStringLiteral(", ");
      marks += QStringLiteral(", ");
    }
    columns += QStringLiteral("p%1").arg(i);
    marks += u'?';
  }
  QString values;
  values.reserve(rows * (marks.size() + 3));
  for (int r = 0; r < rows; ++r) {
    if (r) values += QStringLiteral(", ");
    values += u'(' + marks + u')';
  }
  QString sql = QStringLiteral("DECLARE @n int; BEGIN TRAN; ");
  if (queueShape_.front() == 1) {
    QString names;
    for (size_t i = 1; i < queueShape_.size(); ++i) {
      if (i > 1) names += QStringLiteral(", ");
      names += connection_->quoteName(columnNames_[size_t(queueShape_[i])]);
    }
    sql += QStringLiteral("INSERT INTO %1 (%2) VALUES %3; ").arg(table_, names, values);
  } else {
    const UpdateShape u = UpdateShape::of(queueShape_);
    // The parameters of a row in the order of its own statement: values set, key, checks.
    int p = 0;
    auto next = [&p] { return QStringLiteral("s.p%1").arg(p++); };
    QString set;
    for (size_t i = 0; i < u.picked.size(); ++i) {
      const QString name = connection_->quoteName(columnNames_[size_t(u.picked[i])]);
      if (i) set += QStringLiteral(", ");
      set += name + QStringLiteral(" = ") +
             (u.add[i] ? QStringLiteral("COALESCE(t.%1, 0) + %2").arg(name, next()) : next());
    }
    QString on;
    for (size_t i = 0; i < keySlots_.size(); ++i) {
      if (i) on += QStringLiteral(" AND ");
      on += QStringLiteral("t.") + connection_->quoteName(columnNames_[size_t(keySlots_[i])]) +
            QStringLiteral(" = ") + next();
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
      where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + check;
    }
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

Dataset::Flushed Dataset::flushPosts() {
  Flushed out;
  if (queue_.empty()) return out;
  const int rows = int(queue_.size());
  // The row being edited or appended while the batch goes out stays current.
  const int current = position_;
  auto restorePosition = [&] { position_ = rows_ == 0 ? 0 : std::min(current, rows_ - 1); };
  std::vector<QVariant> values;
  std::vector<FieldType> types;
  values.reserve(queue_.size() * queue_.front().values.size());
  types.reserve(values.capacity());
  for (const QueuedPost& q : queue_) {
    values.insert(values.end(), q.values.begin(), q.values.end());
    types.insert(types.end(), queueTypes_.begin(), queueTypes_.end());
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
    const qint64 rows = statement(
                            queueShape_, [&] { return insertSql(queueShape_); }, queueTypes_)
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
