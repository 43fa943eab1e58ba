#include "posdb/ExportRecord.h"

#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace posdb {

namespace {

constexpr quint32 kMagic = 0x44434552;  // "DCER"
constexpr quint32 kVersion = 1;

}  // namespace

QString ExportRecord::path(const QString& table) {
  return platform::programFolder() + QStringLiteral("journal/exported-%1.values").arg(table);
}

void ExportRecord::write(const QString& table, const db::Dataset& query, const QString& keyField) {
  const QString file = path(table);
  const QString dir = QFileInfo(file).absolutePath();
  if (!QDir().mkpath(dir)) throw platform::Error(QStringLiteral("Unable to write to %1").arg(file));
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_0);
  std::vector<const db::Field*> fields;
  QStringList names;
  for (int i = 0; i < query.fieldCount(); ++i) {
    const db::Field& f = query.field(i);
    if (f.isLookup()) continue;
    fields.push_back(&f);
    names << f.fieldName();
  }
  const db::Field& key = query.fieldByName(keyField);
  out << kMagic << kVersion << names << quint64(query.recordCount());
  for (int r = 0; r < query.recordCount(); ++r) {
    out << db::ValueText::plain(key.valueAt(r), key.dataType());
    for (const db::Field* f : fields) out << f->valueAt(r);
  }
  QSaveFile save(file);
  if (!save.open(QIODevice::WriteOnly) ||
      !save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
      save.write(bytes) != bytes.size() || !save.commit())
    throw platform::Error(
        QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(file)));
}

std::optional<ExportRecord> ExportRecord::read(const QString& table) {
  QFile file(path(table));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QDataStream in(&file);
  in.setVersion(QDataStream::Qt_6_0);
  quint32 magic = 0, version = 0;
  QStringList names;
  quint64 rows = 0;
  in >> magic >> version >> names >> rows;
  if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion) return std::nullopt;
  ExportRecord record;
  for (qsizetype i = 0; i < names.size(); ++i) record.columns_.insert(names[i].toLower(), int(i));
  for (quint64 r = 0; r < rows; ++r) {
    QString key;
    in >> key;
    std::vector<QVariant> values(size_t(names.size()));
    for (QVariant& v : values) in >> v;
    if (in.status() != QDataStream::Ok) return std::nullopt;
    record.rows_.insert(key, std::move(values));
  }
  return record;
}

std::optional<QVariant> ExportRecord::value(const QString& key, const QString& column) const {
  const auto row = rows_.constFind(key);
  if (row == rows_.constEnd()) return std::nullopt;
  const auto at = columns_.constFind(column.toLower());
  if (at == columns_.constEnd()) return std::nullopt;
  return (*row)[size_t(*at)];
}

}  // namespace posdb
