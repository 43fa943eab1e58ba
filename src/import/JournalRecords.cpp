#include "JournalRecords.h"

#include <db/ValueText.h>

#include <QDateTime>
#include <cstring>

namespace dataimport {
namespace {

constexpr quint8 kEntry = 1;
constexpr quint8 kRemoval = 2;
constexpr quint8 kName = 3;
constexpr qsizetype kHeader = 8;  // size and check sum

template <typename T>
void put(QByteArray& out, T v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void put(QByteArray& out, const QString& s) {
  put(out, quint32(s.size()));
  out.append(reinterpret_cast<const char*>(s.utf16()), s.size() * qsizetype(sizeof(char16_t)));
}

class Reader {
 public:
  Reader(const char* p, qsizetype n) : p_(p), end_(p + n) {}
  template <typename T>
  bool get(T& v) {
    if (end_ - p_ < qsizetype(sizeof v)) return false;
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
    return true;
  }
  bool get(QString& s) {
    quint32 n = 0;
    if (!get(n) || quint64(end_ - p_) < quint64(n) * sizeof(char16_t)) return false;
    s = QString(reinterpret_cast<const QChar*>(p_), qsizetype(n));
    p_ += qsizetype(n) * qsizetype(sizeof(char16_t));
    return true;
  }
  bool get(QByteArray& b) {
    quint32 n = 0;
    if (!get(n) || quint64(end_ - p_) < n) return false;
    b = QByteArray(p_, qsizetype(n));
    p_ += n;
    return true;
  }
  bool getBlock(QByteArray& b, quint32 n) {
    if (quint64(end_ - p_) < n) return false;
    b = QByteArray(p_, qsizetype(n));
    p_ += n;
    return true;
  }
  bool atEnd() const { return p_ == end_; }

 private:
  const char* p_;
  const char* end_;
};

// Catches a record the disk or a cut write garbled; eight bytes a step, as it runs over
// every byte an import's journal writes.
quint32 checkSum(const char* p, qsizetype n) {
  quint64 h = 0xcbf29ce484222325ull;
  qsizetype i = 0;
  for (; i + 8 <= n; i += 8) {
    quint64 w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * 0x100000001b3ull;
    h ^= h >> 29;
  }
  for (; i < n; ++i) h = (h ^ quint8(p[i])) * 0x100000001b3ull;
  return quint32(h ^ (h >> 32));
}

bool getValue(Reader& r, QVariant& v, db::FieldType type) {
  quint8 present = 0;
  if (!r.get(present)) return false;
  v = QVariant();
  if (!present) return true;
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole: {
      qint64 x = 0;
      if (!r.get(x)) return false;
      v = x;
      return true;
    }
    case db::BasicKind::Floating: {
      double x = 0;
      if (!r.get(x)) return false;
      v = x;
      return true;
    }
    case db::BasicKind::Boolean: {
      quint8 x = 0;
      if (!r.get(x)) return false;
      v = bool(x);
      return true;
    }
    case db::BasicKind::DateTime: {
      qint64 x = 0;
      if (!r.get(x)) return false;
      v = QDateTime::fromMSecsSinceEpoch(x, Qt::UTC);
      return true;
    }
    case db::BasicKind::Binary: {
      QByteArray x;
      if (!r.get(x)) return false;
      v = x;
      return true;
    }
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  QString x;
  if (!r.get(x)) return false;
  v = x;
  return true;
}

// Writes through a cursor into room made beforehand: an entry's record is sized first,
// then filled without a check per value.
class Cursor {
 public:
  explicit Cursor(char* p) : p_(p) {}
  template <typename T>
  void put(T v) {
    std::memcpy(p_, &v, sizeof v);
    p_ += sizeof v;
  }
  void put(const QString& s) {
    put(quint32(s.size()));
    const size_t n = size_t(s.size()) * sizeof(char16_t);
    std::memcpy(p_, s.utf16(), n);
    p_ += n;
  }
  void put(const QByteArray& b) {
    put(quint32(b.size()));
    std::memcpy(p_, b.constData(), size_t(b.size()));
    p_ += b.size();
  }
  char* at() const { return p_; }

 private:
  char* p_;
};

qsizetype roomFor(const QString& s) {
  return 4 + s.size() * qsizetype(sizeof(char16_t));
}

// At most what putValue writes for the value.
qsizetype roomFor(const QVariant& v, db::FieldType type) {
  if (db::isNullValue(v)) return 1;
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
    case db::BasicKind::Floating:
    case db::BasicKind::Boolean:
    case db::BasicKind::DateTime:
      return 9;
    case db::BasicKind::Binary:
      return 5 + v.toByteArray().size();
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  if (v.typeId() == QMetaType::QString)
    return 1 + roomFor(*static_cast<const QString*>(v.constData()));
  return 1 + roomFor(v.toString());
}

void putValue(Cursor& out, const QVariant& v, db::FieldType type) {
  if (db::isNullValue(v)) {
    out.put(quint8(0));
    return;
  }
  out.put(quint8(1));
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
      out.put(qint64(v.toLongLong()));
      return;
    case db::BasicKind::Floating:
      out.put(v.toDouble());
      return;
    case db::BasicKind::Boolean:
      out.put(quint8(v.toBool()));
      return;
    case db::BasicKind::DateTime:
      out.put(qint64(v.toDateTime().toMSecsSinceEpoch()));
      return;
    case db::BasicKind::Binary:
      out.put(v.toByteArray());
      return;
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  if (v.typeId() == QMetaType::QString)
    out.put(*static_cast<const QString*>(v.constData()));
  else
    out.put(v.toString());
}

// Frames `payload` as a record at the end of `out`.
void frame(const QByteArray& payload, QByteArray& out) {
  put(out, quint32(payload.size()));
  put(out, checkSum(payload.constData(), payload.size()));
  out.append(payload);
}

}  // namespace

quint16 JournalRecords::nameNumber(const QString& column, QByteArray& out) {
  const auto it = numbers_.constFind(column);
  if (it != numbers_.constEnd()) return *it;
  const quint16 n = quint16(numbers_.size());
  numbers_.insert(column, n);
  QByteArray payload;
  put(payload, kName);
  put(payload, qint64(n));
  put(payload, column);
  frame(payload, out);
  return n;
}

void JournalRecords::writeEntry(qint64 id, const RowChange& change, QByteArray& out) {
  // Rows of one table name their columns alike, by the same shared strings: the numbers
  // of the last entry's columns are taken again when the strings are the very same.
  cellNames_.resize(change.cells.size());
  if (lastColumns_.size() < change.cells.size()) lastColumns_.resize(change.cells.size());
  qsizetype room =
      8 + 1 + 8 + roomFor(change.table) + roomFor(change.keyColumn) + roomFor(change.key) + 1 + 4;
  for (size_t i = 0; i < change.cells.size(); ++i) {
    const RowChange::Cell& c = change.cells[i];
    QString& last = lastColumns_[i].first;
    if (last.constData() != c.column.constData() || last.size() != c.column.size()) {
      last = c.column;
      lastColumns_[i].second = nameNumber(c.column, out);
    }
    cellNames_[i] = lastColumns_[i].second;
    room += 2 + 1 + roomFor(c.before, c.type) + roomFor(c.after, c.type);
  }
  const qsizetype start = out.size();
  out.resize(start + room);
  Cursor p(out.data() + start + 8);
  p.put(kEntry);
  p.put(id);
  p.put(change.table);
  p.put(change.keyColumn);
  p.put(change.key);
  p.put(quint8(change.action));
  p.put(quint32(change.cells.size()));
  for (size_t i = 0; i < change.cells.size(); ++i) {
    const RowChange::Cell& c = change.cells[i];
    p.put(cellNames_[i]);
    p.put(quint8(c.type));
    putValue(p, c.before, c.type);
    putValue(p, c.after, c.type);
  }
  char* payload = out.data() + start + 8;
  const quint32 size = quint32(p.at() - payload);
  const quint32 sum = checkSum(payload, qsizetype(size));
  std::memcpy(out.data() + start, &size, 4);
  std::memcpy(out.data() + start + 4, &sum, 4);
  out.resize(start + 8 + qsizetype(size));
}

void JournalRecords::writeRemoval(qint64 id, QByteArray& out) {
  QByteArray payload;
  put(payload, kRemoval);
  put(payload, id);
  frame(payload, out);
}

qsizetype JournalRecords::intactLength(const QByteArray& bytes) {
  qsizetype at = 0;
  while (bytes.size() - at >= kHeader) {
    quint32 size = 0, sum = 0;
    std::memcpy(&size, bytes.constData() + at, 4);
    std::memcpy(&sum, bytes.constData() + at + 4, 4);
    if (quint64(bytes.size() - at - kHeader) < size ||
        checkSum(bytes.constData() + at + kHeader, qsizetype(size)) != sum)
      break;
    at += kHeader + qsizetype(size);
  }
  return at;
}

bool JournalRecords::read(const QByteArray& records) {
  Reader framed(records.constData(), records.size());
  while (!framed.atEnd()) {
    quint32 size = 0, sum = 0;
    QByteArray payload;
    if (!framed.get(size) || !framed.get(sum)) return false;
    if (!framed.getBlock(payload, size) || checkSum(payload.constData(), payload.size()) != sum)
      return false;
    Reader r(payload.constData(), payload.size());
    quint8 kind = 0;
    qint64 id = 0;
    if (!r.get(kind) || !r.get(id)) return false;
    if (kind == kName) {
      QString name;
      if (!r.get(name) || id < 0 || id > 0xffff) return false;
      while (names_.size() <= id) names_ << QString();
      names_[id] = name;
    } else if (kind == kRemoval) {
      // Only the latest entry is ever taken back.
      if (!ids_.empty() && ids_.back() == id) removed_.back() = true;
    } else if (kind == kEntry) {
      RowChange c;
      quint8 action = 0;
      quint32 n = 0;
      if (!r.get(c.table) || !r.get(c.keyColumn) || !r.get(c.key) || !r.get(action) ||
          action > quint8(RowChange::Action::Delete) || !r.get(n))
        return false;
      c.action = RowChange::Action(action);
      for (quint32 i = 0; i < n; ++i) {
        RowChange::Cell cell;
        quint16 name = 0;
        quint8 type = 0;
        if (!r.get(name) || name >= names_.size() || !r.get(type) || type > db::ftGuid)
          return false;
        cell.column = names_.at(name);
        cell.type = db::FieldType(type);
        if (!getValue(r, cell.before, cell.type) || !getValue(r, cell.after, cell.type))
          return false;
        c.cells.push_back(std::move(cell));
      }
      if (!r.atEnd()) return false;
      entries_.push_back(std::move(c));
      ids_.push_back(id);
      removed_.push_back(false);
    } else {
      return false;
    }
  }
  return true;
}

std::vector<RowChange> JournalRecords::takeEntries() {
  std::vector<RowChange> out;
  out.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i)
    if (!removed_[i]) out.push_back(std::move(entries_[i]));
  entries_.clear();
  ids_.clear();
  removed_.clear();
  return out;
}

}  // namespace dataimport
