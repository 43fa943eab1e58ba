#include "JournalRecords.h"

#include <db/ValueText.h>

#include <QDateTime>
#include <algorithm>
#include <cstring>

namespace journal {
namespace {

// Top bits of a cell's type byte: its value was added on the POS, or is an appended
// row's default (see RowChange::Cell).
constexpr quint8 kAddedFlag = 0x80;
constexpr quint8 kDefaultedFlag = 0x40;
constexpr quint8 kFlags = kAddedFlag | kDefaultedFlag;

constexpr quint8 kEntry = 1;
constexpr quint8 kRemoval = 2;
constexpr quint8 kName = 3;
constexpr quint8 kUncertain = 4;
// The run's outcome, when its end could not be stored in the file (see JournalFile).
// Only ever the last record of a log, and never moved into the file.
constexpr quint8 kEnded = 5;
constexpr qsizetype kHeader = 8;  // size and check sum

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
  bool peek(quint8& v) const {
    if (p_ == end_) return false;
    v = quint8(*p_);
    return true;
  }
  bool getVarint(quint64& v) {
    v = 0;
    for (int shift = 0; shift < 64 && p_ != end_; shift += 7) {
      const quint8 b = quint8(*p_++);
      v |= quint64(b & 0x7f) << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  // The next n bytes, or none when fewer are left.
  const char* take(quint64 n) {
    if (quint64(end_ - p_) < n) return nullptr;
    const char* p = p_;
    p_ += n;
    return p;
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

// The layout before names and values were packed: fixed-width numbers, every text in
// UTF-16, every cell with both of its values.
bool getValue2(Reader& r, QVariant& v, db::FieldType type) {
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

// What a value's first byte says it is.
enum Tag : quint8 {
  kNull = 0,
  kFalse = 1,
  kTrue = 2,
  kWhole = 3,   // zigzag varint
  kDouble = 4,  // its eight bytes
  kDate = 5,    // milliseconds from 1970, zigzag varint
  kNarrow = 6,  // text whose characters all fit a byte: length, then a byte each
  kWide = 7,    // text: length, then UTF-16 code units
  kBytes = 8,   // length, then the bytes
};

quint64 zigzag(qint64 v) {
  return (quint64(v) << 1) ^ quint64(v >> 63);
}

qint64 unzigzag(quint64 v) {
  return qint64(v >> 1) ^ -qint64(v & 1);
}

bool getText(Reader& r, QString& s) {
  quint8 tag = 0;
  quint64 n = 0;
  if (!r.get(tag) || !r.getVarint(n)) return false;
  if (tag == kNarrow) {
    const char* p = r.take(n);
    if (!p) return false;
    // Never the null string: that would read as NULL.
    s = n ? QString::fromLatin1(p, qsizetype(n)) : QStringLiteral("");
    return true;
  }
  if (tag != kWide || n > (quint64(1) << 62)) return false;
  const char* p = r.take(n * sizeof(char16_t));
  if (!p) return false;
  s = n ? QString(reinterpret_cast<const QChar*>(p), qsizetype(n)) : QStringLiteral("");
  return true;
}

bool getValue(Reader& r, QVariant& v, db::FieldType type) {
  quint8 tag = 0;
  if (!r.peek(tag)) return false;
  v = QVariant();
  if (tag == kNull) return r.get(tag);
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole: {
      quint64 x = 0;
      if (!r.get(tag) || tag != kWhole || !r.getVarint(x)) return false;
      v = unzigzag(x);
      return true;
    }
    case db::BasicKind::Floating: {
      double x = 0;
      if (!r.get(tag) || tag != kDouble || !r.get(x)) return false;
      v = x;
      return true;
    }
    case db::BasicKind::Boolean:
      if (!r.get(tag) || (tag != kFalse && tag != kTrue)) return false;
      v = tag == kTrue;
      return true;
    case db::BasicKind::DateTime: {
      quint64 x = 0;
      if (!r.get(tag) || tag != kDate || !r.getVarint(x)) return false;
      v = QDateTime::fromMSecsSinceEpoch(unzigzag(x), Qt::UTC);
      return true;
    }
    case db::BasicKind::Binary: {
      quint64 n = 0;
      if (!r.get(tag) || tag != kBytes || !r.getVarint(n)) return false;
      const char* p = r.take(n);
      if (!p) return false;
      v = QByteArray(p, qsizetype(n));
      return true;
    }
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  QString x;
  if (!getText(r, x)) return false;
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
  void putVarint(quint64 v) {
    while (v >= 0x80) {
      *p_++ = char(v | 0x80);
      v >>= 7;
    }
    *p_++ = char(v);
  }
  // Most texts (codes, numbers, Latin names) fit a byte a character: they take half the
  // room, which is most of what an import's journal writes.
  void putText(const QString& s) {
    const char16_t* u = reinterpret_cast<const char16_t*>(s.utf16());
    const qsizetype n = s.size();
    char* const start = p_;
    put(quint8(kNarrow));
    putVarint(quint64(n));
    char* body = p_;
    for (qsizetype i = 0; i < n; ++i) {
      if (u[i] > 0xff) {
        p_ = start;
        put(quint8(kWide));
        putVarint(quint64(n));
        std::memcpy(p_, u, size_t(n) * sizeof(char16_t));
        p_ += n * qsizetype(sizeof(char16_t));
        return;
      }
      body[i] = char(u[i]);
    }
    p_ = body + n;
  }
  void putBytes(const QByteArray& b) {
    put(quint8(kBytes));
    putVarint(quint64(b.size()));
    std::memcpy(p_, b.constData(), size_t(b.size()));
    p_ += b.size();
  }
  char* at() const { return p_; }

 private:
  char* p_;
};

constexpr qsizetype kVarint = 10;

// At most what putText writes.
qsizetype roomFor(const QString& s) {
  return 1 + kVarint + s.size() * qsizetype(sizeof(char16_t));
}

// At most what putValue writes for the value.
qsizetype roomFor(const QVariant& v, db::FieldType type) {
  if (db::isNullValue(v)) return 1;
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
    case db::BasicKind::Floating:
    case db::BasicKind::Boolean:
    case db::BasicKind::DateTime:
      return 1 + kVarint;
    case db::BasicKind::Binary:
      return 1 + kVarint + v.toByteArray().size();
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  if (db::typeIdOf(v) == QMetaType::QString)
    return roomFor(*static_cast<const QString*>(v.constData()));
  return roomFor(v.toString());
}

void putValue(Cursor& out, const QVariant& v, db::FieldType type) {
  if (db::isNullValue(v)) {
    out.put(quint8(kNull));
    return;
  }
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
      out.put(quint8(kWhole));
      out.putVarint(zigzag(v.toLongLong()));
      return;
    case db::BasicKind::Floating:
      out.put(quint8(kDouble));
      out.put(v.toDouble());
      return;
    case db::BasicKind::Boolean:
      out.put(quint8(v.toBool() ? kTrue : kFalse));
      return;
    case db::BasicKind::DateTime:
      out.put(quint8(kDate));
      out.putVarint(zigzag(v.toDateTime().toMSecsSinceEpoch()));
      return;
    case db::BasicKind::Binary:
      out.putBytes(v.toByteArray());
      return;
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  if (db::typeIdOf(v) == QMetaType::QString)
    out.putText(*static_cast<const QString*>(v.constData()));
  else
    out.putText(v.toString());
}

// Which values a cell of the action carries: an append has no value before, a removed
// row none after.
bool hasBefore(RowChange::Action a) {
  return a != RowChange::Action::Append;
}

bool hasAfter(RowChange::Action a) {
  return a != RowChange::Action::Delete;
}

// Sizes, sums and frames a record filled in place after `start` + kHeader.
void seal(QByteArray& out, qsizetype start, const char* end) {
  char* payload = out.data() + start + kHeader;
  const quint32 size = quint32(end - payload);
  const quint32 sum = checkSum(payload, qsizetype(size));
  std::memcpy(out.data() + start, &size, 4);
  std::memcpy(out.data() + start + 4, &sum, 4);
  out.resize(start + kHeader + qsizetype(size));
}

}  // namespace

JournalRecords::JournalRecords(int format) : format_(format) {}

quint32 JournalRecords::nameNumber(const QString& name, QByteArray& out) {
  const auto it = numbers_.constFind(name);
  if (it != numbers_.constEnd()) return *it;
  const quint32 n = quint32(numbers_.size());
  numbers_.insert(name, n);
  const qsizetype start = out.size();
  out.resize(start + kHeader + 1 + kVarint + roomFor(name));
  Cursor p(out.data() + start + kHeader);
  p.put(kName);
  p.putVarint(n);
  p.putText(name);
  seal(out, start, p.at());
  return n;
}

quint32 JournalRecords::cachedNumber(const QString& name, NameCache& last, QByteArray& out) {
  // Entries of one table name their table and columns by the very same shared strings:
  // the number of the last name in this place is taken again without a lookup.
  if (last.name.constData() != name.constData() || last.name.size() != name.size()) {
    last.name = name;
    last.number = nameNumber(name, out);
  }
  return last.number;
}

void JournalRecords::writeEntry(qint64 id, const RowChange& change, QByteArray& out) {
  const bool before = hasBefore(change.action), after = hasAfter(change.action);
  cellNames_.resize(change.cells.size());
  if (lastColumns_.size() < change.cells.size()) lastColumns_.resize(change.cells.size());
  const quint32 table = cachedNumber(change.table, lastTable_, out);
  const quint32 keyColumn = cachedNumber(change.keyColumn, lastKeyColumn_, out);
  qsizetype room = kHeader + 1 + 4 * kVarint + roomFor(change.key) + 1 + kVarint;
  for (size_t i = 0; i < change.cells.size(); ++i) {
    const RowChange::Cell& c = change.cells[i];
    cellNames_[i] = cachedNumber(c.column, lastColumns_[i], out);
    room += kVarint + 1;
    if (before) room += roomFor(c.before, c.type);
    if (after) room += roomFor(c.after, c.type);
  }
  const qsizetype start = out.size();
  out.resize(start + room);
  Cursor p(out.data() + start + kHeader);
  p.put(kEntry);
  p.putVarint(quint64(id));
  p.putVarint(table);
  p.putVarint(keyColumn);
  p.putText(change.key);
  p.put(quint8(change.action));
  p.putVarint(change.cells.size());
  for (size_t i = 0; i < change.cells.size(); ++i) {
    const RowChange::Cell& c = change.cells[i];
    p.putVarint(cellNames_[i]);
    // The type's byte carries in its top bit that the value was added, not written.
    p.put(quint8(c.type | (c.added ? kAddedFlag : 0) | (c.defaulted ? kDefaultedFlag : 0)));
    if (before) putValue(p, c.before, c.type);
    if (after) putValue(p, c.after, c.type);
  }
  seal(out, start, p.at());
}

namespace {

// A record that says something of an entry made earlier: its kind and the entry's id.
void writeMark(quint8 kind, qint64 id, QByteArray& out) {
  const qsizetype start = out.size();
  out.resize(start + kHeader + 1 + kVarint);
  Cursor p(out.data() + start + kHeader);
  p.put(kind);
  p.putVarint(quint64(id));
  seal(out, start, p.at());
}

}  // namespace

void JournalRecords::writeRemoval(qint64 id, QByteArray& out) {
  writeMark(kRemoval, id, out);
}

void JournalRecords::writeUncertain(qint64 id, QByteArray& out) {
  writeMark(kUncertain, id, out);
}

void JournalRecords::writeEnded(int outcome, QByteArray& out) {
  writeMark(kEnded, outcome, out);
}

int JournalRecords::endedAs(const QByteArray& bytes, qsizetype& length) {
  qsizetype at = 0, last = -1;
  while (at < length) {
    quint32 size = 0;
    std::memcpy(&size, bytes.constData() + at, 4);
    last = at;
    at += kHeader + qsizetype(size);
  }
  if (last < 0 || bytes.size() - last <= kHeader || quint8(bytes.at(last + kHeader)) != kEnded)
    return 0;
  Reader r(bytes.constData() + last + kHeader + 1, length - last - kHeader - 1);
  quint64 outcome = 0;
  if (!r.getVarint(outcome) || !r.atEnd()) return 0;
  length = last;
  return int(outcome);
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

bool JournalRecords::readName(qint64 number, const QString& name) {
  if (number < 0 || number > names_.size() || number > 0xffffff) return false;
  if (number == names_.size())
    names_ << name;
  else
    names_[number] = name;
  return true;
}

bool JournalRecords::readRecord2(const QByteArray& payload) {
  Reader r(payload.constData(), payload.size());
  quint8 kind = 0;
  qint64 id = 0;
  if (!r.get(kind) || !r.get(id)) return false;
  if (kind == kName) {
    QString name;
    if (!r.get(name) || id < 0 || id > 0xffff) return false;
    while (names_.size() <= id) names_ << QString();
    names_[id] = name;
    return true;
  }
  if (kind == kRemoval) return removal(id);
  if (kind != kEntry) return false;
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
    if (!r.get(name) || name >= names_.size() || !r.get(type) || type > db::ftGuid) return false;
    cell.column = names_.at(name);
    cell.type = db::FieldType(type);
    if (!getValue2(r, cell.before, cell.type) || !getValue2(r, cell.after, cell.type)) return false;
    c.cells.push_back(std::move(cell));
  }
  return r.atEnd() && entry(id, std::move(c));
}

bool JournalRecords::readRecord(const QByteArray& payload) {
  Reader r(payload.constData(), payload.size());
  quint8 kind = 0;
  quint64 id = 0;
  if (!r.get(kind) || !r.getVarint(id)) return false;
  if (kind == kName) {
    QString name;
    return getText(r, name) && r.atEnd() && readName(qint64(id), name);
  }
  if (kind == kRemoval) return r.atEnd() && removal(qint64(id));
  if (kind == kUncertain) return r.atEnd() && uncertain(qint64(id));
  if (kind == kEnded) return r.atEnd();
  if (kind != kEntry) return false;
  auto name = [&r, this](QString& out) {
    quint64 n = 0;
    if (!r.getVarint(n) || n >= quint64(names_.size())) return false;
    out = names_.at(qsizetype(n));
    return true;
  };
  RowChange c;
  quint8 action = 0;
  quint64 n = 0;
  if (!name(c.table) || !name(c.keyColumn) || !getText(r, c.key) || !r.get(action) ||
      action > quint8(RowChange::Action::Delete) || !r.getVarint(n) || n > quint64(payload.size()))
    return false;
  c.action = RowChange::Action(action);
  const bool before = hasBefore(c.action), after = hasAfter(c.action);
  c.cells.reserve(size_t(n));
  for (quint64 i = 0; i < n; ++i) {
    RowChange::Cell cell;
    quint8 type = 0;
    if (!name(cell.column) || !r.get(type) || (type & ~kFlags) > db::ftGuid) return false;
    cell.added = (type & kAddedFlag) != 0;
    cell.defaulted = (type & kDefaultedFlag) != 0;
    cell.type = db::FieldType(type & ~kFlags);
    if ((before && !getValue(r, cell.before, cell.type)) ||
        (after && !getValue(r, cell.after, cell.type)))
      return false;
    c.cells.push_back(std::move(cell));
  }
  return r.atEnd() && entry(qint64(id), std::move(c));
}

// Entries are numbered in the order they were made. A row posted on its own takes back
// or marks the latest entry; a batch of rows any of its own, each made before the batch
// was sent.
std::optional<size_t> JournalRecords::find(qint64 id) const {
  if (!ids_.empty() && ids_.back() == id) return ids_.size() - 1;
  const auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
  if (it == ids_.end() || *it != id) return std::nullopt;
  return size_t(it - ids_.begin());
}

bool JournalRecords::removal(qint64 id) {
  if (const auto at = find(id)) removed_[*at] = true;
  return true;
}

bool JournalRecords::uncertain(qint64 id) {
  if (const auto at = find(id)) entries_[*at].uncertain = true;
  return true;
}

bool JournalRecords::entry(qint64 id, RowChange&& change) {
  entries_.push_back(std::move(change));
  ids_.push_back(id);
  removed_.push_back(false);
  return true;
}

bool JournalRecords::read(const QByteArray& records) {
  Reader framed(records.constData(), records.size());
  while (!framed.atEnd()) {
    quint32 size = 0, sum = 0;
    QByteArray payload;
    if (!framed.get(size) || !framed.get(sum)) return false;
    if (!framed.getBlock(payload, size) || checkSum(payload.constData(), payload.size()) != sum)
      return false;
    if (!(format_ == 2 ? readRecord2(payload) : readRecord(payload))) return false;
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

}  // namespace journal
