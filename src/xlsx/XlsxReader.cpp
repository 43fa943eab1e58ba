#include "xlsx/XlsxReader.h"

#include <zip.h>

#include <QByteArrayMatcher>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QUrl>
#include <QXmlStreamReader>
#include <charconv>
#include <cmath>
#include <optional>

#include "platform/Error.h"

namespace xlsx {
namespace {

// A part is refused past this many bytes unpacked, whatever the archive declares.
constexpr qint64 kMaxPartSize = qint64(2) << 30;
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr qint64 kMsPerDay = 86400000;

const char kCompoundSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// ---- Messages -----------------------------------------------------------------------

[[noreturn]] void fail(const QString& path, const QString& reason) {
  throw platform::Error(QStringLiteral("無法讀取 Excel 檔案 %1：%2").arg(path, reason));
}

[[noreturn]] void failDamaged(const QString& path, const QString& detail) {
  fail(path, QStringLiteral("檔案已損壞（%1）").arg(detail));
}

QString notAWorkbook() {
  return QStringLiteral("不是 Excel 活頁簿（.xlsx）檔案");
}

QString passwordProtected() {
  return QStringLiteral("這個檔案有密碼保護，請在 Excel 中移除密碼後再匯入");
}

QString zipErrorText(int code, const char* fallback) {
  switch (code) {
    case ZIP_ER_CRC:
      return QStringLiteral("內容的檢查碼不符");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      return QStringLiteral("壓縮的資料有誤");
    case ZIP_ER_INCONS:
      return QStringLiteral("壓縮檔的結構前後不一致");
    case ZIP_ER_NOZIP:
      return QStringLiteral("找不到壓縮檔的目錄，檔案可能只有前面一部分");
    case ZIP_ER_EOF:
      return QStringLiteral("檔案提前結束");
    case ZIP_ER_COMPNOTSUPP:
      return QStringLiteral("使用了不支援的壓縮方式");
    case ZIP_ER_MULTIDISK:
      return QStringLiteral("分割成多個檔案的壓縮檔");
    default:
      return QString::fromUtf8(fallback);
  }
}

// ---- Plain values -------------------------------------------------------------------

// `text` without surrounding blanks as ASCII into `buf`; false when it holds anything
// else or is too long to be a number.
bool asciiInto(QStringView text, char (&buf)[64], size_t& length) {
  text = text.trimmed();
  if (text.size() >= qsizetype(sizeof buf)) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c >= 0x80) return false;
    buf[i] = char(c);
  }
  length = size_t(text.size());
  return true;
}

// A number exactly as written (the nearest double to the decimal text, so a double
// written with 17 significant digits reads back to itself).
std::optional<double> parseNumber(QStringView text) {
  char buf[64];
  size_t length = 0;
  if (!asciiInto(text, buf, length) || length == 0) return std::nullopt;
  const char* begin = buf;
  const char* end = buf + length;
  if (*begin == '+') ++begin;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<qint64> parseWhole(QStringView text) {
  char buf[64];
  size_t length = 0;
  if (!asciiInto(text, buf, length) || length == 0) return std::nullopt;
  qint64 value = 0;
  const auto [ptr, ec] = std::from_chars(buf, buf + length, value);
  if (ec != std::errc() || ptr != buf + length) return std::nullopt;
  return value;
}

bool parseBoolean(QStringView text) {
  text = text.trimmed();
  return text == u"1" || text.compare(u"true", Qt::CaseInsensitive) == 0;
}

int hexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// Texts keep characters XML cannot carry (control characters, a lone carriage return)
// as _xHHHH_; an underscore that would start such a form is itself written _x005F_.
QString decodeEscapes(QString text) {
  qsizetype at = text.indexOf(u"_x");
  if (at < 0) return text;
  QString out;
  out.reserve(text.size());
  qsizetype copied = 0;
  while (at >= 0 && at + 7 <= text.size()) {
    int code = 0;
    bool hex = text[at + 6] == u'_';
    for (int i = 2; hex && i < 6; ++i) {
      const int d = hexDigit(text[at + i]);
      hex = d >= 0;
      code = code * 16 + d;
    }
    if (!hex) {
      at = text.indexOf(u"_x", at + 1);
      continue;
    }
    out += QStringView(text).mid(copied, at - copied);
    out += QChar(char16_t(code));
    copied = at + 7;
    at = text.indexOf(u"_x", copied);
  }
  out += QStringView(text).mid(copied);
  return out;
}

// A cell reference's column ("B3" is 1) or -1; the row part is the row's own business.
int columnOfReference(QStringView ref) {
  int column = 0;
  qsizetype i = 0;
  for (; i < ref.size(); ++i) {
    const char16_t c = ref[i].unicode();
    int letter;
    if (c >= 'A' && c <= 'Z')
      letter = c - 'A' + 1;
    else if (c >= 'a' && c <= 'z')
      letter = c - 'a' + 1;
    else
      break;
    column = column * 26 + letter;
    if (column > kMaxColumns) return -1;
  }
  if (i == 0) return -1;
  for (qsizetype j = i; j < ref.size(); ++j)
    if (!ref[j].isDigit()) return -1;
  return column - 1;
}

// ---- Dates --------------------------------------------------------------------------

const QDate kLastDate(9999, 12, 31);

std::optional<double> serialOf(QDate date, int msOfDay, bool date1904) {
  qint64 days;
  if (date1904) {
    days = QDate(1904, 1, 1).daysTo(date);
  } else if (date < QDate(1900, 3, 1)) {
    days = QDate(1899, 12, 31).daysTo(date);
  } else {
    days = QDate(1899, 12, 30).daysTo(date);
  }
  if (days < 0 || date > kLastDate) return std::nullopt;
  return double(days) + double(msOfDay) / double(kMsPerDay);
}

// The serial of a cell stored as an ISO 8601 date, date and time, or time of day.
std::optional<double> serialOfIsoText(QStringView text, bool date1904) {
  text = text.trimmed();
  if (text.endsWith(u'Z') || text.endsWith(u'z')) text.chop(1);
  QStringView datePart;
  QStringView timePart;
  if (text.size() >= 10 && text[4] == u'-') {
    datePart = text.left(10);
    if (text.size() > 10) {
      if (text[10] != u'T' && text[10] != u't' && text[10] != u' ') return std::nullopt;
      timePart = text.mid(11);
    }
  } else {
    timePart = text;
  }
  // A time zone offset is dropped: the value is the wall clock written.
  if (timePart.size() > 8) {
    const qsizetype sign =
        timePart.lastIndexOf(u'+') >= 0 ? timePart.lastIndexOf(u'+') : timePart.lastIndexOf(u'-');
    if (sign > 0) timePart = timePart.left(sign);
  }
  int msOfDay = 0;
  if (!timePart.isEmpty()) {
    const QTime time = QTime::fromString(timePart.toString(), Qt::ISODateWithMs);
    if (!time.isValid()) return std::nullopt;
    msOfDay = time.msecsSinceStartOfDay();
  }
  if (datePart.isEmpty()) return double(msOfDay) / double(kMsPerDay);
  const QDate date = QDate::fromString(datePart.toString(), Qt::ISODate);
  if (!date.isValid()) return std::nullopt;
  return serialOf(date, msOfDay, date1904);
}

// Number formats showing a date or a time. Without a code of its own in the file, an
// id below 164 is one of the formats every spreadsheet program knows by number.
bool builtInFormatShowsDate(int id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

// A format code shows a date or a time when it has a year, month, day, hour, minute or
// second field: y, m, d, h or s outside quoted text, escaped characters and bracketed
// colours, conditions and locales ("[Red]", "[>100]", "[$-404]"); an elapsed time
// "[h]", "[mm]", "[ss]" counts. The word "General" is no field.
bool formatCodeShowsDate(const QString& code) {
  const QString text = QString(code).remove(QStringLiteral("General"), Qt::CaseInsensitive);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'"') {
      const qsizetype close = text.indexOf(u'"', i + 1);
      if (close < 0) return false;
      i = close;
    } else if (c == u'\\' || c == u'_' || c == u'*') {
      ++i;  // an escaped character, a space as wide as one, a fill character
    } else if (c == u'[') {
      const qsizetype close = text.indexOf(u']', i + 1);
      if (close < 0) return false;
      const QStringView inside = QStringView(text).mid(i + 1, close - i - 1);
      bool elapsed = !inside.isEmpty();
      for (const QChar e : inside) elapsed = elapsed && QStringView(u"hHmMsS").contains(e);
      if (elapsed) return true;
      i = close;
    } else if (QStringView(u"yYmMdDhHsS").contains(c)) {
      return true;
    }
  }
  return false;
}

// ---- The archive --------------------------------------------------------------------

class Archive {
 public:
  Archive(const QString& path, zip_t* zip) : path_(path), zip_(zip) {}
  ~Archive() { zip_discard(zip_); }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  zip_t* get() const { return zip_; }
  const QString& path() const { return path_; }

  // A part by name, ignoring case as part names do, or -1.
  zip_int64_t locate(const QString& name) const {
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(zip_, utf8.constData(), ZIP_FL_NOCASE);
    if (index < 0) {
      // Some tools store the folders of a name with backslashes.
      QByteArray backslashed = utf8;
      backslashed.replace('/', '\\');
      index = zip_name_locate(zip_, backslashed.constData(), ZIP_FL_NOCASE);
    }
    return index;
  }

 private:
  QString path_;
  zip_t* zip_;
};

// One part unpacked as it is read, never more than kMaxPartSize bytes of it.
class PartDevice : public QIODevice {
 public:
  PartDevice(const Archive& archive, zip_int64_t index, const QString& name) : name_(name) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), zip_uint64_t(index), 0, &st) == 0 &&
        (st.valid & ZIP_STAT_SIZE) && st.size > zip_uint64_t(kMaxPartSize))
      failTooLarge(archive.path(), name);
    file_ = zip_fopen_index(archive.get(), zip_uint64_t(index), 0);
    if (!file_) {
      const zip_error_t* error = zip_get_error(archive.get());
      const int code = zip_error_code_zip(error);
      if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
        fail(archive.path(), passwordProtected());
      failDamaged(
          archive.path(),
          QStringLiteral("%1：%2").arg(
              name, zipErrorText(code, zip_error_strerror(const_cast<zip_error_t*>(error)))));
    }
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }
  ~PartDevice() override {
    close();
    if (file_) zip_fclose(file_);
  }

  bool isSequential() const override { return true; }
  bool atEnd() const override { return end_; }

  // Reads the rest of the part, so that its check sum is compared even when the reader
  // stopped before the end.
  void drain() {
    char buffer[1 << 16];
    while (!end_) readData(buffer, sizeof buffer);
  }

  // After the XML reader stopped: throws when the reason was the archive's.
  void throwIfFailed(const QString& path) const {
    if (tooLarge_) failTooLarge(path, name_);
    if (zipError_ != ZIP_ER_OK)
      failDamaged(path, QStringLiteral("%1：%2").arg(name_, zipErrorText(zipError_, zipText_)));
  }

  static void failTooLarge(const QString& path, const QString& name) {
    fail(path, QStringLiteral("檔案內容過大（%1 解開後超過 2 GB）").arg(name));
  }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    if (end_) return -1;
    const zip_int64_t n = zip_fread(file_, data, zip_uint64_t(maxSize));
    if (n < 0) {
      zip_error_t* error = zip_file_get_error(file_);
      zipError_ = zip_error_code_zip(error);
      if (zipError_ == ZIP_ER_OK) zipError_ = ZIP_ER_READ;
      zipText_ = zip_error_strerror(error);
      end_ = true;
      return -1;
    }
    if (n == 0) {
      end_ = true;
      return -1;
    }
    read_ += n;
    if (read_ > kMaxPartSize) {
      tooLarge_ = true;
      end_ = true;
      return -1;
    }
    return n;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QString name_;
  zip_file_t* file_ = nullptr;
  qint64 read_ = 0;
  bool end_ = false;
  bool tooLarge_ = false;
  int zipError_ = ZIP_ER_OK;
  const char* zipText_ = "";
};

QString xmlErrorText(const QString& part, const QXmlStreamReader& xml) {
  const QString where = QStringLiteral("%1 第 %2 行").arg(part).arg(xml.lineNumber());
  if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
    return QStringLiteral("%1：內容不完整").arg(where);
  return QStringLiteral("%1：XML 格式錯誤，%2").arg(where, xml.errorString());
}

// Streams a part through `body`, which gets a reader before the root element.
template <typename Body>
void readPart(const Archive& archive, zip_int64_t index, const QString& name, Body&& body) {
  PartDevice device(archive, index, name);
  QXmlStreamReader xml(&device);
  body(xml);
  if (!xml.hasError()) device.drain();
  device.throwIfFailed(archive.path());
  if (xml.hasError()) failDamaged(archive.path(), xmlErrorText(name, xml));
}

// The text of the element the reader stands on, into `out`, whose storage serves again
// (most values are numbers and shared text indexes, read and done with at once).
void readTextInto(QXmlStreamReader& xml, QString& out) {
  out.resize(0);
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference)
      out.append(xml.text());
    else if (token == QXmlStreamReader::StartElement)
      xml.skipCurrentElement();
    else if (token == QXmlStreamReader::EndElement)
      return;
  }
}

// The text of a string item (<si> of the shared strings, <is> of a cell) or of its rich
// text runs, leaving out phonetic guides; the reader stands on the item's start.
QString readStringItem(QXmlStreamReader& xml) {
  QString text;
  int depth = 0;
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      const QStringView name = xml.name();
      if (name == u"t")
        text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
      else if (name == u"r")
        ++depth;
      else
        xml.skipCurrentElement();  // run properties, phonetic runs and their settings
    } else if (token == QXmlStreamReader::EndElement) {
      if (depth == 0) break;
      --depth;
    }
  }
  return decodeEscapes(std::move(text));
}

// Relationships of a part: id to the part named (package path), external ones left out.
struct Relationship {
  QString type;
  QString target;
};

QString folderOf(const QString& part) {
  const qsizetype slash = part.lastIndexOf(u'/');
  return slash < 0 ? QString() : part.left(slash + 1);
}

QString resolveTarget(const QString& sourceFolder, QString target) {
  target = QUrl::fromPercentEncoding(target.toUtf8()).replace(u'\\', u'/');
  QString joined = target.startsWith(u'/') ? target.mid(1) : sourceFolder + target;
  QStringList parts;
  for (const QString& piece : joined.split(u'/', Qt::SkipEmptyParts)) {
    if (piece == u".") continue;
    if (piece == u"..") {
      if (!parts.isEmpty()) parts.removeLast();
      continue;
    }
    parts.append(piece);
  }
  return parts.join(u'/');
}

QString relsPartOf(const QString& part) {
  const QString folder = folderOf(part);
  return folder + QStringLiteral("_rels/") + part.mid(folder.size()) + QStringLiteral(".rels");
}

QHash<QString, Relationship> readRelationships(const Archive& archive, const QString& part) {
  QHash<QString, Relationship> result;
  const QString relsPart = relsPartOf(part);
  const zip_int64_t index = archive.locate(relsPart);
  if (index < 0) return result;
  const QString folder = folderOf(part);
  readPart(archive, index, relsPart, [&](QXmlStreamReader& xml) {
    if (!xml.readNextStartElement()) return;
    while (xml.readNextStartElement()) {
      if (xml.name() == u"Relationship") {
        const QXmlStreamAttributes a = xml.attributes();
        if (a.value(QLatin1StringView("TargetMode")).compare(u"External", Qt::CaseInsensitive) != 0)
          result.insert(a.value(QLatin1StringView("Id")).toString(),
                        {a.value(QLatin1StringView("Type")).toString(),
                         resolveTarget(folder, a.value(QLatin1StringView("Target")).toString())});
      }
      xml.skipCurrentElement();
    }
  });
  return result;
}

// The part a relationship of the given kind points at ("officeDocument", "styles"), by
// the last word of its type, which the transitional and the strict forms share.
QString targetOfType(const QHash<QString, Relationship>& rels, const QString& kind) {
  const QString suffix = QStringLiteral("/") + kind;
  for (const Relationship& rel : rels)
    if (rel.type.endsWith(suffix)) return rel.target;
  return {};
}

// ---- File sniffing ------------------------------------------------------------------

// A compound file is either a workbook encrypted with a password (its package kept in
// the streams "EncryptionInfo" and "EncryptedPackage") or an old binary workbook. The
// stream names stand in the directory in UTF-16; the directory may be anywhere.
bool compoundFileIsEncrypted(QFile& file) {
  const auto utf16 = [](const char* ascii) {
    QByteArray bytes;
    for (const char* p = ascii; *p; ++p) bytes.append(*p).append('\0');
    return bytes;
  };
  const QByteArrayMatcher info(utf16("EncryptionInfo"));
  const QByteArrayMatcher package(utf16("EncryptedPackage"));
  const qsizetype overlap = 64;
  file.seek(0);
  QByteArray window;
  while (true) {
    const QByteArray chunk = file.read(1 << 20);
    if (chunk.isEmpty()) return false;
    window = window.right(overlap) + chunk;
    if (info.indexIn(window) >= 0 || package.indexIn(window) >= 0) return true;
  }
}

zip_t* openArchive(const QString& path) {
  QFileInfo info(path);
  if (!info.exists()) fail(path, QStringLiteral("找不到這個檔案"));
  if (info.isDir()) fail(path, notAWorkbook());
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (file.error() == QFileDevice::PermissionsError)
      fail(path, QStringLiteral("沒有讀取這個檔案的權限"));
    fail(path, QStringLiteral("無法開啟這個檔案（%1）").arg(file.errorString()));
  }
  const QByteArray head = file.read(8);
  if (head == QByteArray(kCompoundSignature, 8)) {
    if (compoundFileIsEncrypted(file)) fail(path, passwordProtected());
    fail(path, QStringLiteral("這是舊版 Excel（.xls）檔案，請另存為 .xlsx"));
  }
  if (!head.startsWith("PK")) fail(path, notAWorkbook());
  file.close();

  int error = 0;
  zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
  if (!zip) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, error);
    const QString text = zipErrorText(error, zip_error_strerror(&ze));
    zip_error_fini(&ze);
    failDamaged(path, text);
  }
  return zip;
}

}  // namespace

// ---- The workbook -------------------------------------------------------------------

struct Workbook::Impl {
  QString path;
  std::unique_ptr<Archive> archive;
  struct Sheet {
    QString name;
    QString part;
  };
  std::vector<Sheet> sheets;
  bool date1904 = false;
  std::vector<QString> sharedStrings;
  std::vector<bool> styleShowsDate;  // by cell format (a cell's s attribute)

  void readWorkbook(const QString& workbookPart);
  void readSharedStrings(const QString& part);
  void readStyles(const QString& part);
  const Sheet& sheet(const QString& name) const;
  void readSheet(const Sheet& sheet, const std::function<void(const Row&)>& onRow) const;
};

void Workbook::Impl::readWorkbook(const QString& workbookPart) {
  const zip_int64_t index = archive->locate(workbookPart);
  if (index < 0) fail(path, notAWorkbook());
  const QHash<QString, Relationship> rels = readRelationships(*archive, workbookPart);
  const QString folder = folderOf(workbookPart);

  readPart(*archive, index, workbookPart, [&](QXmlStreamReader& xml) {
    if (!xml.readNextStartElement()) return;
    if (xml.name() != u"workbook") fail(path, notAWorkbook());
    while (xml.readNextStartElement()) {
      if (xml.name() == u"workbookPr") {
        date1904 = parseBoolean(xml.attributes().value(QLatin1StringView("date1904")));
        xml.skipCurrentElement();
      } else if (xml.name() == u"sheets") {
        while (xml.readNextStartElement()) {
          if (xml.name() == u"sheet") {
            Sheet sheet;
            QString id;
            for (const QXmlStreamAttribute& a : xml.attributes()) {
              if (a.name() == u"name" && a.namespaceUri().isEmpty())
                sheet.name = a.value().toString();
              else if (a.name() == u"id" && !a.namespaceUri().isEmpty())
                id = a.value().toString();
            }
            const auto rel = rels.constFind(id);
            sheet.part =
                rel != rels.cend()
                    ? rel->target
                    : folder + QStringLiteral("worksheets/sheet%1.xml").arg(sheets.size() + 1);
            sheets.push_back(sheet);
          }
          xml.skipCurrentElement();
        }
      } else {
        xml.skipCurrentElement();
      }
    }
  });

  QString strings = targetOfType(rels, QStringLiteral("sharedStrings"));
  if (strings.isEmpty()) strings = folder + QStringLiteral("sharedStrings.xml");
  readSharedStrings(strings);
  QString styles = targetOfType(rels, QStringLiteral("styles"));
  if (styles.isEmpty()) styles = folder + QStringLiteral("styles.xml");
  readStyles(styles);
}

void Workbook::Impl::readSharedStrings(const QString& part) {
  const zip_int64_t index = archive->locate(part);
  if (index < 0) return;
  // Each item takes some bytes of the part, so the part's size bounds what the count
  // attribute may claim.
  zip_stat_t st;
  zip_stat_init(&st);
  qint64 partSize = 0;
  if (zip_stat_index(archive->get(), zip_uint64_t(index), 0, &st) == 0 &&
      (st.valid & ZIP_STAT_SIZE))
    partSize = qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(kMaxPartSize)));
  readPart(*archive, index, part, [&](QXmlStreamReader& xml) {
    if (!xml.readNextStartElement()) return;
    const std::optional<qint64> count =
        parseWhole(xml.attributes().value(QLatin1StringView("uniqueCount")));
    if (count && *count > 0) sharedStrings.reserve(size_t(std::min(*count, partSize / 8)));
    while (xml.readNextStartElement()) {
      if (xml.name() == u"si")
        sharedStrings.push_back(readStringItem(xml));
      else
        xml.skipCurrentElement();
    }
  });
}

void Workbook::Impl::readStyles(const QString& part) {
  const zip_int64_t index = archive->locate(part);
  if (index < 0) return;
  QHash<int, QString> codes;
  std::vector<int> formatIds;
  readPart(*archive, index, part, [&](QXmlStreamReader& xml) {
    if (!xml.readNextStartElement()) return;
    while (xml.readNextStartElement()) {
      const QStringView section = xml.name();
      if (section == u"numFmts") {
        while (xml.readNextStartElement()) {
          if (xml.name() == u"numFmt") {
            const QXmlStreamAttributes a = xml.attributes();
            if (const auto id = parseWhole(a.value(QLatin1StringView("numFmtId")));
                id && *id >= 0 && *id < 1 << 30)
              codes.insert(int(*id), a.value(QLatin1StringView("formatCode")).toString());
          }
          xml.skipCurrentElement();
        }
      } else if (section == u"cellXfs") {
        while (xml.readNextStartElement()) {
          if (xml.name() == u"xf") {
            const auto id = parseWhole(xml.attributes().value(QLatin1StringView("numFmtId")));
            formatIds.push_back(id && *id >= 0 && *id < 1 << 30 ? int(*id) : 0);
          }
          xml.skipCurrentElement();
        }
      } else {
        xml.skipCurrentElement();
      }
    }
  });
  styleShowsDate.reserve(formatIds.size());
  for (const int id : formatIds) {
    const auto code = codes.constFind(id);
    styleShowsDate.push_back(code != codes.cend() ? formatCodeShowsDate(*code)
                                                  : builtInFormatShowsDate(id));
  }
}

const Workbook::Impl::Sheet& Workbook::Impl::sheet(const QString& name) const {
  if (sheets.empty()) fail(path, QStringLiteral("活頁簿中沒有工作表"));
  if (name.isEmpty()) return sheets.front();
  for (const Sheet& s : sheets)
    if (s.name == name) return s;
  for (const Sheet& s : sheets)
    if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
  fail(path, QStringLiteral("找不到工作表「%1」").arg(name));
}

void Workbook::Impl::readSheet(const Sheet& sheet,
                               const std::function<void(const Row&)>& onRow) const {
  const zip_int64_t index = archive->locate(sheet.part);
  if (index < 0)
    failDamaged(path, QStringLiteral("找不到工作表「%1」的內容 %2").arg(sheet.name, sheet.part));

  const auto badCell = [&](const QString& what) {
    failDamaged(path, QStringLiteral("工作表「%1」%2").arg(sheet.name, what));
  };

  readPart(*archive, index, sheet.part, [&](QXmlStreamReader& xml) {
    if (!xml.readNextStartElement()) return;
    bool found = false;
    while (!found && xml.readNextStartElement()) {
      if (xml.name() == u"sheetData")
        found = true;
      else
        xml.skipCurrentElement();
    }
    if (!found) return;

    Row row;
    int lastRow = 0;
    QString value;
    while (xml.readNextStartElement()) {
      if (xml.name() != u"row") {
        xml.skipCurrentElement();
        continue;
      }
      const QXmlStreamAttributes rowAttributes = xml.attributes();
      const QStringView r = rowAttributes.value(QLatin1StringView("r"));
      if (r.isEmpty()) {
        row.number = lastRow + 1;
      } else {
        const std::optional<qint64> number = parseWhole(r);
        if (!number || *number < 1 || *number > kMaxRows)
          badCell(QStringLiteral("的列號「%1」不正確").arg(r));
        row.number = int(*number);
      }
      if (row.number > kMaxRows) badCell(QStringLiteral("超過 %1 列").arg(kMaxRows));
      lastRow = row.number;
      row.cells.clear();

      int lastColumn = -1;
      while (xml.readNextStartElement()) {
        if (xml.name() != u"c") {
          xml.skipCurrentElement();
          continue;
        }
        QStringView ref, style, type;
        const QXmlStreamAttributes attributes = xml.attributes();
        for (const QXmlStreamAttribute& a : attributes) {
          const QStringView name = a.name();
          if (name == u"r")
            ref = a.value();
          else if (name == u"s")
            style = a.value();
          else if (name == u"t")
            type = a.value();
        }
        int column = lastColumn + 1;
        if (!ref.isEmpty()) {
          column = columnOfReference(ref);
          if (column < 0) badCell(QStringLiteral("的儲存格位置「%1」不正確").arg(ref));
        }
        if (column >= kMaxColumns) badCell(QStringLiteral("的儲存格超過 %1 欄").arg(kMaxColumns));
        lastColumn = column;

        bool hasValue = false;
        bool hasInline = false;
        bool emptyTextFormula = false;
        QString inlineText;
        value.resize(0);
        while (xml.readNextStartElement()) {
          const QStringView name = xml.name();
          if (name == u"v") {
            readTextInto(xml, value);
            hasValue = true;
          } else if (name == u"is") {
            inlineText = readStringItem(xml);
            hasInline = true;
          } else if (name == u"f" && !hasValue) {
            // The formula, whose last result <v> holds; only its text ="" is read: a
            // program that saves formulas without their results leaves the empty text
            // the export wrote that way with nothing else.
            emptyTextFormula =
                xml.readElementText(QXmlStreamReader::SkipChildElements) == QLatin1String("\"\"");
          } else {
            xml.skipCurrentElement();
          }
        }
        if (xml.hasError()) return;
        // No result, or an empty one under no type (openpyxl writes <v></v>).
        if (emptyTextFormula && !hasInline && value.isEmpty() &&
            (type.isEmpty() || type == u"n" || type == u"str")) {
          hasValue = true;
          type = u"str";
        }

        Cell cell;
        if (type.isEmpty() || type == u"n") {
          if (hasValue) {
            if (const std::optional<double> number = parseNumber(value)) {
              cell.kind = Cell::Kind::Number;
              cell.number = *number;
              if (!style.isEmpty()) {
                const std::optional<qint64> xf = parseWhole(style);
                cell.dateFormatted = xf && *xf >= 0 && *xf < qint64(styleShowsDate.size()) &&
                                     styleShowsDate[size_t(*xf)];
              }
            } else if (!value.trimmed().isEmpty()) {
              // Not a number after all: kept as the text it is, for the caller to name.
              cell.kind = Cell::Kind::Text;
              cell.text = value;
            }
          } else if (hasInline) {  // an inline text whose type was left out
            cell.kind = Cell::Kind::Text;
            cell.text = inlineText;
          }
        } else if (type == u"s") {
          if (hasValue) {
            const std::optional<qint64> i = parseWhole(value);
            if (!i || *i < 0 || *i >= qint64(sharedStrings.size()))
              badCell(QStringLiteral("的儲存格 %1%2 指向不存在的共用文字「%3」")
                          .arg(Workbook::columnName(column))
                          .arg(row.number)
                          .arg(value));
            cell.kind = Cell::Kind::Text;
            cell.text = sharedStrings[size_t(*i)];
          }
        } else if (type == u"inlineStr") {
          if (hasInline || hasValue) {
            cell.kind = Cell::Kind::Text;
            cell.text = hasInline ? inlineText : decodeEscapes(value);
          }
        } else if (type == u"str") {
          if (hasValue) {
            cell.kind = Cell::Kind::Text;
            cell.text = decodeEscapes(value);
          }
        } else if (type == u"b") {
          if (hasValue) {
            cell.kind = Cell::Kind::Boolean;
            cell.boolean = parseBoolean(value);
          }
        } else if (type == u"e") {
          if (hasValue) {
            cell.kind = Cell::Kind::Error;
            cell.text = value.trimmed();
          }
        } else if (type == u"d") {
          if (hasValue) {
            if (const std::optional<double> serial = serialOfIsoText(value, date1904)) {
              cell.kind = Cell::Kind::Number;
              cell.number = *serial;
              cell.dateFormatted = true;
            } else if (!value.trimmed().isEmpty()) {
              cell.kind = Cell::Kind::Text;
              cell.text = value;
            }
          }
        } else if (hasValue || hasInline) {
          badCell(QStringLiteral("的儲存格 %1%2 有不明的類型「%3」")
                      .arg(Workbook::columnName(column))
                      .arg(row.number)
                      .arg(type));
        }

        if (cell.kind == Cell::Kind::Empty) continue;
        if (size_t(column) >= row.cells.size()) row.cells.resize(size_t(column) + 1);
        row.cells[size_t(column)] = std::move(cell);
      }
      if (xml.hasError()) return;
      while (!row.cells.empty() && row.cells.back().isEmpty()) row.cells.pop_back();
      if (!row.cells.empty()) onRow(row);
    }
  });
}

Workbook::Workbook(const QString& path) : d_(std::make_unique<Impl>()) {
  d_->path = path;
  d_->archive = std::make_unique<Archive>(path, openArchive(path));

  QString workbookPart =
      targetOfType(readRelationships(*d_->archive, QString()), QStringLiteral("officeDocument"));
  if (workbookPart.isEmpty()) workbookPart = QStringLiteral("xl/workbook.xml");
  if (workbookPart.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
    fail(path, QStringLiteral("這是 Excel 二進位活頁簿（.xlsb）檔案，請另存為 .xlsx"));
  d_->readWorkbook(workbookPart);
}

Workbook::~Workbook() = default;
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;

const QString& Workbook::path() const {
  return d_->path;
}

QStringList Workbook::sheetNames() const {
  QStringList names;
  for (const Impl::Sheet& sheet : d_->sheets) names.append(sheet.name);
  return names;
}

bool Workbook::date1904() const {
  return d_->date1904;
}

void Workbook::forEachRow(const QString& sheetName,
                          const std::function<void(const Row&)>& onRow) const {
  d_->readSheet(d_->sheet(sheetName), onRow);
}

std::vector<Row> Workbook::rows(const QString& sheetName) const {
  std::vector<Row> rows;
  forEachRow(sheetName, [&](const Row& row) { rows.push_back(row); });
  return rows;
}

QDateTime Workbook::dateOf(double serial) const {
  return dateOf(serial, d_->date1904);
}

QDateTime Workbook::dateOf(double serial, bool date1904) {
  if (!std::isfinite(serial) || serial < 0 || serial > 1e7) return {};
  const qint64 ms = qint64(std::llround(serial * double(kMsPerDay)));
  const qint64 days = ms / kMsPerDay;
  const int msOfDay = int(ms % kMsPerDay);
  QDate base;
  if (date1904)
    base = QDate(1904, 1, 1);
  else if (days < 60)
    base = QDate(1899, 12, 31);
  else if (days == 60)
    return {};  // 1900-02-29
  else
    base = QDate(1899, 12, 30);
  const QDate date = base.addDays(days);
  if (date > kLastDate) return {};
  return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msOfDay), Qt::UTC);
}

QString Workbook::columnName(int index) {
  QString name;
  for (int n = index + 1; n > 0; n = (n - 1) / 26) name.prepend(QChar(u'A' + (n - 1) % 26));
  return name;
}

}  // namespace xlsx
