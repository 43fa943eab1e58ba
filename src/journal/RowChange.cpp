#include "journal/RowChange.h"

#include <db/ServerRules.h>
#include <db/ValueText.h>

#include <QLocale>

namespace journal {

std::optional<QString> valueText(const QVariant& value, db::FieldType type) {
  if (db::isNullValue(value)) return std::nullopt;
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
      return QString::number(value.toLongLong());
    case db::BasicKind::Floating:
      return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case db::BasicKind::Boolean:
      return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case db::BasicKind::DateTime: {
      const QDateTime t = value.toDateTime();
      QString text =
          t.date().toString(Qt::ISODate) + u'T' + t.time().toString(QStringLiteral("HH:mm:ss"));
      if (t.time().msec()) text += t.time().toString(QStringLiteral(".zzz"));
      return text;
    }
    case db::BasicKind::Binary:
      return QString::fromLatin1(value.toByteArray().toBase64());
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      break;
  }
  return value.toString();
}

QVariant textValue(const std::optional<QString>& text, db::FieldType type) {
  if (!text) return QVariant();
  bool ok = true;
  QVariant v;
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
      v = text->toLongLong(&ok);
      break;
    case db::BasicKind::Floating:
      v = text->toDouble(&ok);
      break;
    case db::BasicKind::Boolean:
      ok = *text == QLatin1String("True") || *text == QLatin1String("False");
      v = *text == QLatin1String("True");
      break;
    case db::BasicKind::DateTime: {
      const QDateTime t = QDateTime::fromString(*text, Qt::ISODateWithMs);
      ok = t.isValid();
      v = db::ValueText::naive(t.date(), t.time());
      break;
    }
    case db::BasicKind::Binary:
      v = QByteArray::fromBase64(text->toLatin1());
      break;
    case db::BasicKind::Text:
    case db::BasicKind::Other:
      v = *text;
      break;
  }
  if (!ok) return db::ValueText::parse(*text, type);  // throws the layer's own text
  return v;
}

bool sameValue(const QVariant& a, const QVariant& b) {
  return db::storedAlike(a, b);
}

}  // namespace journal
