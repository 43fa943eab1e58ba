#include "xlsx/XlsxReader.h"

#include <cmath>

#include "Package.h"
#include "ReadErrors.h"
#include "SharedStrings.h"
#include "SheetScanner.h"
#include "Styles.h"
#include "ValueText.h"

namespace xlsx {

struct Workbook::Impl {
  explicit Impl(const QString& path) : package(path) {}

  Package package;
  struct Sheet {
    QString name;
    QString part;  // empty when the workbook's relationships lead to none
  };
  std::vector<Sheet> sheets;
  bool date1904 = false;
  SharedStrings sharedStrings;
  Styles styles;

  void readWorkbook(const QString& workbookPart);
  const Sheet& sheet(const QString& name) const;
};

void Workbook::Impl::readWorkbook(const QString& workbookPart) {
  const QString& path = package.path();
  const zip_int64_t index = package.locate(workbookPart);
  if (index < 0) failRead(path, notAWorkbookReason());
  const Relationships rels = package.relationships(workbookPart);
  const QString folder = Package::folderOf(workbookPart);

  package.readPart(index, workbookPart, [&](QXmlStreamReader& xml) {
    if (!xml.isStartElement()) return;
    if (xml.name() != u"workbook") failRead(path, notAWorkbookReason());
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
            // A sheet's part is where its relationship leads, and nowhere else: a sheet
            // whose id is empty or leads nowhere (as old macro sheets have) must not be
            // read from another sheet's part. Only a workbook without relationships at
            // all has its sheets found by the usual part names, in order.
            if (rels.isEmpty()) {
              sheet.part = folder + QStringLiteral("worksheets/sheet%1.xml").arg(sheets.size() + 1);
            } else if (const auto rel = rels.constFind(id); rel != rels.cend()) {
              sheet.part = rel->target;
            }
            sheets.push_back(sheet);
          }
          xml.skipCurrentElement();
        }
      } else {
        xml.skipCurrentElement();
      }
    }
  });

  QString strings = Package::targetOfType(rels, QStringLiteral("sharedStrings"));
  if (strings.isEmpty()) strings = folder + QStringLiteral("sharedStrings.xml");
  sharedStrings = SharedStrings(package, strings);
  QString stylesPart = Package::targetOfType(rels, QStringLiteral("styles"));
  if (stylesPart.isEmpty()) stylesPart = folder + QStringLiteral("styles.xml");
  styles = Styles(package, stylesPart);
}

const Workbook::Impl::Sheet& Workbook::Impl::sheet(const QString& name) const {
  const QString& path = package.path();
  if (sheets.empty()) failRead(path, QStringLiteral("活頁簿中沒有工作表"));
  if (name.isEmpty()) return sheets.front();
  for (const Sheet& s : sheets)
    if (s.name == name) return s;
  for (const Sheet& s : sheets)
    if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
  failRead(path, QStringLiteral("找不到工作表「%1」").arg(name));
}

Workbook::Workbook(const QString& path) : d_(std::make_unique<Impl>(path)) {
  QString workbookPart =
      Package::targetOfType(d_->package.relationships(QString()), QStringLiteral("officeDocument"));
  if (workbookPart.isEmpty()) workbookPart = QStringLiteral("xl/workbook.xml");
  if (workbookPart.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive))
    failRead(path, QStringLiteral("這是 Excel 二進位活頁簿（.xlsb）檔案，請另存為 .xlsx"));
  d_->readWorkbook(workbookPart);
}

Workbook::~Workbook() = default;
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;

const QString& Workbook::path() const {
  return d_->package.path();
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
  const Impl::Sheet& sheet = d_->sheet(sheetName);
  SheetScanner(d_->package, d_->sharedStrings, d_->styles, d_->date1904)
      .scan(sheet.name, sheet.part, onRow);
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
  const std::optional<SerialDay> at = serialDay(serial, date1904);
  if (!at) return {};
  constexpr qint64 kJulian1970 = 2440588;  // the Julian day of 1970-01-01
  return QDateTime(QDate::fromJulianDay(kJulian1970 + at->day),
                   QTime::fromMSecsSinceStartOfDay(at->msOfDay), Qt::UTC);
}

std::optional<Workbook::SerialDay> Workbook::serialDay(double serial, bool date1904) {
  // Days from 1970-01-01 to the first day each date system counts from, and to the
  // last date a cell may hold.
  constexpr qint64 kDay1904 = -24107;      // 1904-01-01
  constexpr qint64 kDay1900 = -25568;      // 1899-12-31, serial 0
  constexpr qint64 kDay1900Late = -25569;  // 1899-12-30: from serial 61 on, a day fewer
  constexpr qint64 kLastDay = 2932896;     // 9999-12-31
  if (!std::isfinite(serial) || serial < 0 || serial > 1e7) return std::nullopt;
  const qint64 ms = qint64(std::llround(serial * double(kMsPerDay)));
  const qint64 days = ms / kMsPerDay;
  const int msOfDay = int(ms % kMsPerDay);
  qint64 day;
  if (date1904)
    day = kDay1904 + days;
  else if (days < 60)
    day = kDay1900 + days;
  else if (days == 60)
    return std::nullopt;  // 1900-02-29
  else
    day = kDay1900Late + days;
  if (day > kLastDay) return std::nullopt;
  return SerialDay{day, msOfDay};
}

QString Workbook::columnName(int index) {
  QString name;
  for (int n = index + 1; n > 0; n = (n - 1) / 26) name.prepend(QChar(u'A' + (n - 1) % 26));
  return name;
}

}  // namespace xlsx
