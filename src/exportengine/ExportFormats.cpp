#include "exportengine/ExportFormats.h"

#include "DateTimeFormat.h"
#include "exportengine/ExportCommon.h"

#include <platform/RegionalSettings.h>

namespace exportengine {

TExportDefaultFormats TExportDefaultFormats::FromRegionalSettings(
    const platform::RegionalSettings& settings) {
  TExportDefaultFormats d;
  d.DateFormat = PatternFromQt(settings.shortDateFormat);
  d.TimeFormat = PatternFromQt(WithoutSeconds(settings.longTimeFormat));
  d.DateTimeFormat = d.DateFormat + u' ' + d.TimeFormat;
  const QString number = QString::fromLatin1(kDefaultFloatFormat);
  const QString& symbol = settings.currencyString;
  switch (settings.currencyFormat) {
    case 0:
      d.CurrencyFormat = symbol + number;
      break;
    case 1:
      d.CurrencyFormat = number + symbol;
      break;
    case 2:
      d.CurrencyFormat = symbol + u' ' + number;
      break;
    case 3:
      d.CurrencyFormat = number + u' ' + symbol;
      break;
    default:
      break;
  }
  return d;
}

const TExportDefaultFormats& TExportDefaultFormats::Current() {
  static const TExportDefaultFormats defaults =
      FromRegionalSettings(platform::RegionalSettings::current());
  return defaults;
}

TExportFormats::TExportFormats() : TExportFormats(TExportDefaultFormats::Current()) {}

TExportFormats::TExportFormats(const TExportDefaultFormats& defaults) : defaults_(defaults) {
  ResetFormats();
}

void TExportFormats::set(QString& target, const QString& value, const QString& def) {
  if (value == target) return;
  target = value.isEmpty() ? def : value;
}

void TExportFormats::SetIntegerFormat(const QString& value) {
  set(integerFormat_, value, QString::fromLatin1(kDefaultIntegerFormat));
}
void TExportFormats::SetFloatFormat(const QString& value) {
  set(floatFormat_, value, QString::fromLatin1(kDefaultFloatFormat));
}
void TExportFormats::SetDateFormat(const QString& value) {
  set(dateFormat_, value, defaults_.DateFormat);
}
void TExportFormats::SetTimeFormat(const QString& value) {
  set(timeFormat_, value, defaults_.TimeFormat);
}
void TExportFormats::SetDateTimeFormat(const QString& value) {
  set(dateTimeFormat_, value, defaults_.DateTimeFormat);
}
void TExportFormats::SetCurrencyFormat(const QString& value) {
  set(currencyFormat_, value, defaults_.CurrencyFormat);
}
void TExportFormats::SetBooleanTrue(const QString& value) {
  set(booleanTrue_, value, QString::fromLatin1(kDefaultBooleanTrue));
}
void TExportFormats::SetBooleanFalse(const QString& value) {
  set(booleanFalse_, value, QString::fromLatin1(kDefaultBooleanFalse));
}
void TExportFormats::SetNullString(const QString& value) {
  nullString_ = TrimText(value);
}

void TExportFormats::ResetFormats() {
  integerFormat_ = QString::fromLatin1(kDefaultIntegerFormat);
  floatFormat_ = QString::fromLatin1(kDefaultFloatFormat);
  dateFormat_ = defaults_.DateFormat;
  timeFormat_ = defaults_.TimeFormat;
  dateTimeFormat_ = defaults_.DateTimeFormat;
  currencyFormat_ = defaults_.CurrencyFormat;
  booleanTrue_ = QString::fromLatin1(kDefaultBooleanTrue);
  booleanFalse_ = QString::fromLatin1(kDefaultBooleanFalse);
}

void TExportFormats::Assign(const TExportFormats& source) {
  if (&source == this) return;
  SetIntegerFormat(source.IntegerFormat());
  SetFloatFormat(source.FloatFormat());
  SetDateFormat(source.DateFormat());
  SetTimeFormat(source.TimeFormat());
  SetDateTimeFormat(source.DateTimeFormat());
  SetCurrencyFormat(source.CurrencyFormat());
  SetBooleanTrue(source.BooleanTrue());
  SetBooleanFalse(source.BooleanFalse());
  SetNullString(source.NullString());
}

std::vector<std::pair<QString, QString>> TExportFormats::StoredValues() const {
  std::vector<std::pair<QString, QString>> values;
  auto keep = [&](const char* name, const QString& value, const QString& def) {
    if (value != def) values.emplace_back(QString::fromLatin1(name), value);
  };
  keep("IntegerFormat", integerFormat_, QString::fromLatin1(kDefaultIntegerFormat));
  keep("FloatFormat", floatFormat_, QString::fromLatin1(kDefaultFloatFormat));
  keep("DateFormat", dateFormat_, defaults_.DateFormat);
  keep("TimeFormat", timeFormat_, defaults_.TimeFormat);
  keep("DateTimeFormat", dateTimeFormat_, defaults_.DateTimeFormat);
  keep("CurrencyFormat", currencyFormat_, defaults_.CurrencyFormat);
  keep("BooleanTrue", booleanTrue_, QString::fromLatin1(kDefaultBooleanTrue));
  keep("BooleanFalse", booleanFalse_, QString::fromLatin1(kDefaultBooleanFalse));
  values.emplace_back(QStringLiteral("NullString"), nullString_);
  return values;
}

}  // namespace exportengine
