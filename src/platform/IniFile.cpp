// Every call reads or rewrites the whole file: nothing is cached, so a change made by
// hand or by another part of the program is seen by the next read.
#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <optional>

#include "AtomicFile.h"
#include "IniDocument.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/ErrorText.h"

namespace platform {
namespace {

// The buffer the private-profile functions fill holds 2047 bytes and the terminator.
constexpr int kMaxValueBytes = 2047;

QByteArray readForLookup(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

// A file that exists but cannot be read must not be replaced by one holding only the
// value being written.
QByteArray readForUpdate(const QString& path) {
  QFile file(path);
  if (!file.exists()) return QByteArray();
  if (!file.open(QIODevice::ReadOnly))
    throw Error(unableToWrite(QFileInfo(path).absoluteFilePath()));
  return file.readAll();
}

int digitValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// Decimal with optional sign, or hexadecimal after "0x", "0X" or "$" (after the sign,
// if any). Hexadecimal takes the full 32 bits, so $FFFFFFFF is -1.
std::optional<int> parseInteger(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  bool negative = false;
  if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
    negative = text[i++] == QLatin1Char('-');
  int base = 10;
  if (i < n && text[i] == QLatin1Char('$')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
             (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
    base = 16;
    i += 2;
  }
  if (i == n) return std::nullopt;
  const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  quint64 value = 0;
  for (; i < n; ++i) {
    const int digit = digitValue(text[i]);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * base + quint64(digit);
    if (value > limit) return std::nullopt;
  }
  const quint32 bits = negative ? quint32(0) - quint32(value) : quint32(value);
  return int(qint32(bits));
}

QString lookUp(const IniDocument& document, const QString& section, const QString& key,
               const QString& def) {
  const std::optional<QString> value = document.value(section, key);
  if (!value) return def;
  return cutToBig5Bytes(*value, kMaxValueBytes);
}

}  // namespace

IniSnapshot::IniSnapshot(std::shared_ptr<const IniDocument> document)
    : document_(std::move(document)) {}

QString IniSnapshot::readString(const QString& section, const QString& key,
                                const QString& def) const {
  return lookUp(*document_, section, key, def);
}

int IniSnapshot::readInteger(const QString& section, const QString& key, int def) const {
  return parseInteger(readString(section, key, QString())).value_or(def);
}

bool IniSnapshot::readBool(const QString& section, const QString& key, bool def) const {
  const std::optional<int> value = parseInteger(readString(section, key, QString()));
  return value ? *value != 0 : def;
}

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
  return lookUp(IniDocument(readForLookup(path_)), section, key, def);
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
  return parseInteger(readString(section, key, QString())).value_or(def);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
  const std::optional<int> value = parseInteger(readString(section, key, QString()));
  return value ? *value != 0 : def;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
  IniDocument document(readForUpdate(path_));
  document.setValue(section, key, value);
  writeFileAtomically(path_, document.toBytes(), createMode_);
}

IniSnapshot IniFile::snapshot() const {
  return IniSnapshot(std::make_shared<const IniDocument>(readForLookup(path_)));
}

void IniFile::writeStrings(const std::vector<IniEntry>& entries) {
  IniDocument document(readForUpdate(path_));
  for (const IniEntry& e : entries) document.setValue(e.section, e.key, e.value);
  writeFileAtomically(path_, document.toBytes(), createMode_);
}

std::vector<IniEntry> IniFile::readSection(const QString& section) const {
  std::vector<IniEntry> result;
  for (auto& [key, value] : IniDocument(readForLookup(path_)).entries(section))
    result.push_back(IniEntry{section, key, cutToBig5Bytes(value, kMaxValueBytes)});
  return result;
}

void IniFile::eraseSection(const QString& section) {
  IniDocument document(readForUpdate(path_));
  if (!document.eraseSection(section)) return;
  writeFileAtomically(path_, document.toBytes(), createMode_);
}

void IniFile::replaceSection(const QString& section, const std::vector<IniEntry>& entries) {
  IniDocument document(readForUpdate(path_));
  document.eraseSection(section);
  for (const IniEntry& e : entries) document.setValue(e.section, e.key, e.value);
  writeFileAtomically(path_, document.toBytes(), createMode_);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
  writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
  writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace platform
