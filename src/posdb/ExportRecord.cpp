#include "posdb/ExportRecord.h"

#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace posdb {

// The file: a header (magic, version, the column names and kinds), then one record a
// row: its length, the key, and each column's value, a byte saying NULL or not and the
// value packed by its kind (texts in UTF-8, whole numbers and dates as varints, floats
// as their eight bytes). Rows are found by key when the file is read and unpacked only
// when asked for, so that a record of a million items costs little to keep.

namespace {

constexpr char kMagic[8] = {'D', 'C', 'E', 'X', 'P', 'R', 'E', 'C'};
constexpr quint8 kVersion = 1;

void putVarint(QByteArray& out, quint64 v) {
  while (v >= 0x80) {
    out += char(quint8(v) | 0x80);
    v >>= 7;
  }
  out += char(v);
}

void putSigned(QByteArray& out, qint64 v) {
  putVarint(out, (quint64(v) << 1) ^ quint64(v >> 63));
}

// UTF-8 written in place (a record holds millions of texts): the length first, as the
// bytes of every character but a lone surrogate, which goes as U+FFFD.
void putText(QByteArray& out, const QString& text) {
  const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
  const qsizetype n = text.size();
  qsizetype bytes = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = p[i];
    if (c < 0x80)
      bytes += 1;
    else if (c < 0x800)
      bytes += 2;
    else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF)
      bytes += 4, ++i;
    else
      bytes += 3;
  }
  putVarint(out, quint64(bytes));
  const qsizetype start = out.size();
  out.resize(start + bytes);
  char* o = out.data() + start;
  for (qsizetype i = 0; i < n; ++i) {
    char32_t c = p[i];
    if (c < 0x80) {
      *o++ = char(c);
    } else if (c < 0x800) {
      *o++ = char(0xC0 | (c >> 6));
      *o++ = char(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 &&
               p[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[++i] - 0xDC00);
      *o++ = char(0xF0 | (c >> 18));
      *o++ = char(0x80 | ((c >> 12) & 0x3F));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
      *o++ = char(0x80 | (c & 0x3F));
    } else {
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
      *o++ = char(0xE0 | (c >> 12));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
      *o++ = char(0x80 | (c & 0x3F));
    }
  }
}

struct Reader {
  const char* at;
  const char* end;
  bool ok = true;

  quint64 varint() {
    quint64 v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at >= end) break;
      const quint8 b = quint8(*at++);
      v |= quint64(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
    ok = false;
    return 0;
  }
  qint64 signedVarint() {
    const quint64 v = varint();
    return qint64(v >> 1) ^ -qint64(v & 1);
  }
  QByteArray bytes() {
    const quint64 n = varint();
    if (!ok || quint64(end - at) < n) {
      ok = false;
      return {};
    }
    QByteArray b(at, qsizetype(n));
    at += n;
    return b;
  }
  QString text() { return QString::fromUtf8(bytes()); }
};

}  // namespace

QString ExportRecord::path(const QString& table, int firstRow) {
  if (firstRow <= 0)
    return platform::programFolder() + QStringLiteral("journal/exported-%1.values").arg(table);
  return platform::programFolder() +
         QStringLiteral("journal/exported-%1.%2.values").arg(table).arg(firstRow);
}

namespace {

// The first rows of the appended exports' records of the table, from their file names.
std::vector<int> appendedStarts(const QString& table) {
  std::vector<int> starts;
  const QDir dir(platform::programFolder() + QStringLiteral("journal"));
  const QString prefix = QStringLiteral("exported-%1.").arg(table);
  for (const QString& name :
       dir.entryList({prefix + QStringLiteral("*.values")}, QDir::Files, QDir::Name)) {
    bool number = false;
    const int first = name.mid(prefix.size()).chopped(7).toInt(&number);
    if (number && first > 0) starts.push_back(first);
  }
  std::sort(starts.begin(), starts.end());
  return starts;
}

}  // namespace

void ExportRecord::write(const QString& table, const db::Dataset& query, const QString& keyField,
                         int firstRow) {
  // Rows from `firstRow` on are this export's now: records of earlier exports there go.
  for (int first : appendedStarts(table))
    if (first >= firstRow) QFile::remove(path(table, first));
  const QString file = path(table, firstRow);
  const QString dir = QFileInfo(file).absolutePath();
  if (!QDir().mkpath(dir))
    throw platform::Error(
        QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(file)));
  // Private to its owner; what the owner may do there is left as it is.
  QFile::setPermissions(
      dir, QFile::permissions(dir) & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadUser | QFile::WriteUser | QFile::ExeUser));

  std::vector<const db::Field*> fields;
  for (int i = 0; i < query.fieldCount(); ++i)
    if (!query.field(i).isLookup()) fields.push_back(&query.field(i));
  const db::Field& key = query.fieldByName(keyField);

  QByteArray out(kMagic, sizeof kMagic);
  out += char(kVersion);
  putVarint(out, fields.size());
  for (const db::Field* f : fields) {
    putText(out, f->fieldName());
    out += char(db::basicKind(f->dataType()));
  }
  out.reserve(qsizetype(query.recordCount()) * qsizetype(fields.size()) * 6);
  QByteArray row;
  for (int r = 0; r < query.recordCount(); ++r) {
    row.clear();
    putText(row, db::ValueText::plain(key.valueAt(r), key.dataType()));
    for (const db::Field* f : fields) {
      const QVariant v = query.valueAt(r, *f);
      if (db::isNullValue(v)) {
        row += char(0);
        continue;
      }
      row += char(1);
      switch (db::basicKind(f->dataType())) {
        case db::BasicKind::Whole:
          putSigned(row, v.toLongLong());
          break;
        case db::BasicKind::Floating: {
          const double d = v.toDouble();
          row.append(reinterpret_cast<const char*>(&d), sizeof d);
          break;
        }
        case db::BasicKind::Boolean:
          row += char(v.toBool() ? 1 : 0);
          break;
        case db::BasicKind::DateTime:
          putSigned(row, v.toDateTime().toMSecsSinceEpoch());
          break;
        case db::BasicKind::Binary: {
          const QByteArray b = v.toByteArray();
          putVarint(row, quint64(b.size()));
          row += b;
          break;
        }
        default:
          if (db::typeIdOf(v) == QMetaType::QString)
            putText(row, *static_cast<const QString*>(v.constData()));
          else
            putText(row, v.toString());
          break;
      }
    }
    putVarint(out, quint64(row.size()));
    out += row;
  }

  QSaveFile save(file);
  if (!save.open(QIODevice::WriteOnly) ||
      !save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
      save.write(out) != out.size() || !save.commit())
    throw platform::Error(
        QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(file)));
}

std::optional<ExportRecord> ExportRecord::read(const QString& table) {
  return readFile(path(table));
}

std::vector<std::pair<int, ExportRecord>> ExportRecord::readAll(const QString& table) {
  std::vector<std::pair<int, ExportRecord>> out;
  if (std::optional<ExportRecord> first = read(table)) out.emplace_back(0, std::move(*first));
  for (int first : appendedStarts(table))
    if (std::optional<ExportRecord> r = readFile(path(table, first)))
      out.emplace_back(first, std::move(*r));
  return out;
}

std::optional<ExportRecord> ExportRecord::readFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  ExportRecord record;
  record.bytes_ = file.readAll();
  Reader r{record.bytes_.constData(), record.bytes_.constData() + record.bytes_.size()};
  if (record.bytes_.size() < qsizetype(sizeof kMagic) + 1 ||
      std::memcmp(r.at, kMagic, sizeof kMagic) != 0 || quint8(r.at[sizeof kMagic]) != kVersion)
    return std::nullopt;
  r.at += sizeof kMagic + 1;
  const quint64 columns = r.varint();
  for (quint64 i = 0; r.ok && i < columns && r.at < r.end; ++i) {
    record.columns_.insert(r.text().toLower(), int(i));
    record.kinds_.push_back(quint8(*r.at++));
  }
  if (!r.ok || record.kinds_.size() != columns) return std::nullopt;
  while (r.ok && r.at < r.end) {
    const quint64 length = r.varint();
    if (!r.ok || quint64(r.end - r.at) < length) return std::nullopt;
    Reader row{r.at, r.at + length};
    const QString key = row.text();
    if (!row.ok) return std::nullopt;
    record.rows_.insert(key, qsizetype(row.at - record.bytes_.constData()));
    r.at += length;
  }
  return record;
}

std::optional<QVariant> ExportRecord::value(const QString& key, const QString& column) const {
  const auto at = columns_.constFind(column.toLower());
  if (at == columns_.constEnd()) return std::nullopt;
  if (key != cachedKey_ || cachedRow_.empty()) {
    const auto row = rows_.constFind(key);
    if (row == rows_.constEnd()) return std::nullopt;
    cachedRow_ = unpack(*row);
    cachedKey_ = key;
  }
  if (size_t(*at) >= cachedRow_.size()) return std::nullopt;
  return cachedRow_[size_t(*at)];
}

std::vector<QVariant> ExportRecord::unpack(qsizetype offset) const {
  std::vector<QVariant> values;
  values.reserve(kinds_.size());
  Reader r{bytes_.constData() + offset, bytes_.constData() + bytes_.size()};
  for (const quint8 kind : kinds_) {
    if (r.at >= r.end) return {};
    if (*r.at++ == 0) {
      values.emplace_back();
      continue;
    }
    switch (db::BasicKind(kind)) {
      case db::BasicKind::Whole:
        values.emplace_back(qint64(r.signedVarint()));
        break;
      case db::BasicKind::Floating: {
        double d = 0;
        if (r.end - r.at < qsizetype(sizeof d)) return {};
        std::memcpy(&d, r.at, sizeof d);
        r.at += sizeof d;
        values.emplace_back(d);
        break;
      }
      case db::BasicKind::Boolean:
        if (r.at >= r.end) return {};
        values.emplace_back(*r.at++ != 0);
        break;
      case db::BasicKind::DateTime:
        values.emplace_back(QDateTime::fromMSecsSinceEpoch(r.signedVarint(), Qt::UTC));
        break;
      case db::BasicKind::Binary:
        values.emplace_back(r.bytes());
        break;
      default:
        values.emplace_back(r.text());
        break;
    }
    if (!r.ok) return {};
  }
  return values;
}

}  // namespace posdb
