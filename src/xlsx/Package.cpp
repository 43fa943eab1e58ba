#include "Package.h"

#include <QByteArrayMatcher>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include "PartDevice.h"
#include "ReadErrors.h"

namespace xlsx {
namespace {

const char kCompoundSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// A compound file is either a workbook Excel encrypted (its package kept in the streams
// "EncryptionInfo" and "EncryptedPackage") or an old binary workbook. The stream names
// stand in the directory in UTF-16; the directory may be anywhere.
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
  if (!info.exists())
    failRead(path, QStringLiteral("找不到這個檔案：請先按「匯出檔案」，或確認檔案放在程式資料夾"));
  if (info.isDir()) failRead(path, notAWorkbookReason());
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (file.error() == QFileDevice::PermissionsError)
      failRead(path, QStringLiteral("沒有讀取這個檔案的權限"));
    failRead(path, QStringLiteral("無法開啟這個檔案（%1）").arg(file.errorString()));
  }
  const QByteArray head = file.read(8);
  if (head == QByteArray(kCompoundSignature, 8)) {
    if (compoundFileIsEncrypted(file)) failRead(path, encryptedWorkbookReason());
    failRead(path, QStringLiteral("這是舊版 Excel（.xls）檔案，請另存為 .xlsx"));
  }
  if (!head.startsWith("PK")) failRead(path, notAWorkbookReason());
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

// A part name as parts are told apart: case ignored, either slash.
QString partKey(const char* name) {
  return QString::fromUtf8(name).replace(u'\\', u'/').toCaseFolded();
}

QString xmlErrorText(const QString& part, const QXmlStreamReader& xml) {
  const QString where = QStringLiteral("%1 第 %2 行").arg(part).arg(xml.lineNumber());
  if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
    return QStringLiteral("%1：內容不完整").arg(where);
  return QStringLiteral("%1：XML 格式錯誤，%2").arg(where, xml.errorString());
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
  const QString folder = Package::folderOf(part);
  return folder + QStringLiteral("_rels/") + part.mid(folder.size()) + QStringLiteral(".rels");
}

}  // namespace

Package::Package(const QString& path) : path_(path), zip_(openArchive(path)) {
  try {
    refuseDuplicateNames();
  } catch (...) {
    zip_discard(zip_);
    throw;
  }
}

Package::~Package() {
  zip_discard(zip_);
}

// Two parts of one name leave it to chance which of them is read (libzip finds the
// first, another reader the last): such an archive is no package at all.
void Package::refuseDuplicateNames() const {
  const zip_int64_t count = zip_get_num_entries(zip_, 0);
  QSet<QString> seen;
  seen.reserve(qsizetype(std::min<zip_int64_t>(count, 1 << 16)));
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(zip_, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
    if (!name) continue;
    const QString key = partKey(name);
    if (key.endsWith(u'/')) continue;  // a folder entry holds nothing to read
    if (seen.contains(key))
      failDamaged(path_,
                  QStringLiteral("壓縮檔中有兩個名為 %1 的部分").arg(QString::fromUtf8(name)));
    seen.insert(key);
  }
}

zip_int64_t Package::locate(const QString& name) const {
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

qint64 Package::declaredSize(zip_int64_t index) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_, zip_uint64_t(index), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
    return qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(kMaxPartSize)));
  return 0;
}

void Package::readPart(zip_int64_t index, const QString& name,
                       const std::function<void(QXmlStreamReader&)>& body) const {
  PartDevice device(path_, zip_, index, name);
  QXmlStreamReader xml(&device);
  // Excel never writes a document type, and one may declare entities that expand to
  // far more than the part holds: a part declaring one is refused before any is used.
  while (!xml.atEnd() && !xml.isStartElement()) {
    if (xml.readNext() == QXmlStreamReader::DTD)
      failDamaged(path_, QStringLiteral("%1：含有文件類型宣告（DOCTYPE）").arg(name));
  }
  body(xml);
  if (!xml.hasError()) device.drain();
  device.throwIfFailed();
  if (xml.hasError()) failDamaged(path_, xmlErrorText(name, xml));
}

Relationships Package::relationships(const QString& part) const {
  Relationships result;
  const QString relsPart = relsPartOf(part);
  const zip_int64_t index = locate(relsPart);
  if (index < 0) return result;
  const QString folder = folderOf(part);
  readPart(index, relsPart, [&](QXmlStreamReader& xml) {
    if (!xml.isStartElement()) return;
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

QString Package::targetOfType(const Relationships& rels, const QString& kind) {
  const QString suffix = QStringLiteral("/") + kind;
  for (const Relationship& rel : rels)
    if (rel.type.endsWith(suffix)) return rel.target;
  return {};
}

QString Package::folderOf(const QString& part) {
  const qsizetype slash = part.lastIndexOf(u'/');
  return slash < 0 ? QString() : part.left(slash + 1);
}

}  // namespace xlsx
