#include "db/DefaultValue.h"

#include "db/ValueText.h"

#include <QRegularExpression>

namespace db {
namespace {

// "((0))" -> "0": SQL Server wraps every default in parentheses, some in two.
QString unwrapped(QString text) {
  for (;;) {
    text = text.trimmed();
    if (!text.startsWith(u'(') || !text.endsWith(u')')) return text;
    // Only parentheses that hold the whole text: "(1)+(2)" keeps them.
    int depth = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text.at(i) == u'(') ++depth;
      if (text.at(i) == u')' && --depth == 0 && i + 1 < text.size()) return text;
    }
    text = text.mid(1, text.size() - 2);
  }
}

std::optional<QVariant> fromNumber(const QString& text, FieldType type) {
  bool ok = false;
  const double number = text.toDouble(&ok);
  if (!ok) return std::nullopt;
  switch (basicKind(type)) {
    case BasicKind::Whole: {
      const qint64 whole = text.toLongLong(&ok);
      return ok ? std::optional<QVariant>(whole) : std::nullopt;
    }
    case BasicKind::Floating:
      return QVariant(number);
    case BasicKind::Boolean:
      return QVariant(number != 0);
    case BasicKind::Text:
      return QVariant(text);
    default:
      return std::nullopt;
  }
}

std::optional<QVariant> fromQuoted(const QString& text, FieldType type) {
  switch (basicKind(type)) {
    case BasicKind::Text:
      return QVariant(text);
    case BasicKind::Whole:
    case BasicKind::Floating:
    case BasicKind::Boolean:
      if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return fromNumber("1", type);
      if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return fromNumber("0", type);
      return fromNumber(text.trimmed(), type);
    case BasicKind::DateTime: {
      QString iso = text.trimmed();
      if (iso.size() > 10 && iso.at(10) == u' ') iso[10] = u'T';
      QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
      if (!t.isValid()) t = QDateTime(QDate::fromString(iso, Qt::ISODate), QTime(0, 0));
      if (!t.isValid()) return std::nullopt;
      return QVariant(ValueText::naive(t.date(), t.time()));
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<QVariant> constantDefault(const ColumnDefault& column, FieldType type) {
  if (column.generated) return std::nullopt;
  if (!column.text) return QVariant();
  QString text = unwrapped(*column.text);
  // PostgreSQL: a cast after the constant ("'x'::bpchar", "'0'::numeric(10,2)").
  static const QRegularExpression cast(
      QStringLiteral(R"(\s*::\s*("[^"]+"|[A-Za-z_][\w ]*)(\([\d, ]*\))?(\[\])?\s*$)"));
  for (QRegularExpressionMatch m; (m = cast.match(text)).hasMatch();)
    text = unwrapped(text.left(m.capturedStart()));
  if (text.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0) return QVariant();
  if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
      text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
    return basicKind(type) == BasicKind::Boolean
               ? std::optional<QVariant>(QVariant(text.at(0).toLower() == u't'))
               : std::nullopt;
  // A quoted text: 'it''s', N'台北'.
  static const QRegularExpression quoted(QStringLiteral(R"(^[Nn]?'((?:[^']|'')*)'$)"));
  if (const auto m = quoted.match(text); m.hasMatch())
    return fromQuoted(m.captured(1).replace(QStringLiteral("''"), QStringLiteral("'")), type);
  static const QRegularExpression number(
      QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
  if (number.match(text).hasMatch()) return fromNumber(text, type);
  return std::nullopt;
}

}  // namespace db
