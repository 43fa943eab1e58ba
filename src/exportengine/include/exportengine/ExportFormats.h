// The value formats of an exporter: one number pattern per numeric type, one date and
// time pattern per temporal type, the words of type detection for true and false, and
// the text that stands for a null value.
#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace platform {
struct RegionalSettings;
}

namespace exportengine {

// The patterns that follow the regional settings, in the engine's pattern language
// (yyyy, m, mm, d, dd, h, hh, n, nn, s, ss, ampm, ...).
struct TExportDefaultFormats {
  QString DateFormat;      // the short date
  QString TimeFormat;      // the short time
  QString DateTimeFormat;  // short date, one blank, short time
  // The currency symbol placed around "#,###,##0.00" by the regional currency
  // position (0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"); empty for any other position.
  QString CurrencyFormat;

  static TExportDefaultFormats FromRegionalSettings(const platform::RegionalSettings& settings);
  // Computed from the settings in force the first time it is asked, then kept for the
  // whole run of the program.
  static const TExportDefaultFormats& Current();
};

inline constexpr const char* kDefaultIntegerFormat = "#,###,##0";
inline constexpr const char* kDefaultFloatFormat = "#,###,##0.00";
inline constexpr const char* kDefaultBooleanTrue = "true";
inline constexpr const char* kDefaultBooleanFalse = "false";

class TExportFormats {
 public:
  // Every format at its default; NullString empty.
  TExportFormats();
  // Defaults taken from `defaults` instead of the program's.
  explicit TExportFormats(const TExportDefaultFormats& defaults);

  const QString& IntegerFormat() const { return integerFormat_; }
  const QString& FloatFormat() const { return floatFormat_; }
  const QString& DateFormat() const { return dateFormat_; }
  const QString& TimeFormat() const { return timeFormat_; }
  const QString& DateTimeFormat() const { return dateTimeFormat_; }
  const QString& CurrencyFormat() const { return currencyFormat_; }
  const QString& BooleanTrue() const { return booleanTrue_; }
  const QString& BooleanFalse() const { return booleanFalse_; }
  const QString& NullString() const { return nullString_; }

  // An empty value restores the default.
  void SetIntegerFormat(const QString& value);
  void SetFloatFormat(const QString& value);
  void SetDateFormat(const QString& value);
  void SetTimeFormat(const QString& value);
  void SetDateTimeFormat(const QString& value);
  void SetCurrencyFormat(const QString& value);
  void SetBooleanTrue(const QString& value);
  void SetBooleanFalse(const QString& value);
  // Stored without leading and trailing blanks and control characters.
  void SetNullString(const QString& value);

  // Every format and word back to its default; NullString stays.
  void ResetFormats();
  // Takes the nine values of `source` through the setters above.
  void Assign(const TExportFormats& source);

  // The properties a saved form keeps, as name and value: those that differ from
  // their defaults (compared with regard to case), and NullString always.
  std::vector<std::pair<QString, QString>> StoredValues() const;

  const TExportDefaultFormats& Defaults() const { return defaults_; }

 private:
  static void set(QString& target, const QString& value, const QString& def);

  TExportDefaultFormats defaults_;
  QString integerFormat_;
  QString floatFormat_;
  QString dateFormat_;
  QString timeFormat_;
  QString dateTimeFormat_;
  QString currencyFormat_;
  QString booleanTrue_;
  QString booleanFalse_;
  QString nullString_;
};

}  // namespace exportengine
