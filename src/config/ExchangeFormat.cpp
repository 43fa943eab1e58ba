#include "config/ExchangeFormat.h"

#include "config/Configs.h"

namespace config {

std::optional<ExchangeFormat> exchangeFormatOf(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(QLatin1String("mdb"), Qt::CaseInsensitive) == 0) return ExchangeFormat::Mdb;
  if (t.compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0) return ExchangeFormat::Xlsx;
  return std::nullopt;
}

ExchangeFormat exchangeFormat() {
  return exchangeFormatOf(Config().read(keys::FileType)).value_or(ExchangeFormat::Mdb);
}

QString exchangeFormatName(ExchangeFormat format) {
  return format == ExchangeFormat::Xlsx ? QStringLiteral("xlsx") : QStringLiteral("mdb");
}

QString exchangeProgram(ExchangeFormat format) {
  return format == ExchangeFormat::Xlsx ? QStringLiteral("Excel") : QStringLiteral("Access");
}

QString exchangeFile(const PosTableInfo& table, ExchangeFormat format) {
  return QString::fromUtf8(table.name) + u'.' + exchangeFormatName(format);
}

}  // namespace config
