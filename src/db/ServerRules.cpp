#include "db/ServerRules.h"

#include "db/ResultSet.h"
#include "db/ValueText.h"

namespace db {

ServerRules ServerRules::sqlite() {
  ServerRules r;
  r.engine_ = Engine::Sqlite;
  return r;
}

ServerRules ServerRules::sqlServer(const QString& collation) {
  ServerRules r;
  r.engine_ = Engine::SqlServer;
  r.trailingBlanksIgnored_ = true;
  // Windows collations name their sensitivities ("_CS", "_WS", "_BIN2"); SQL collations
  // ("SQL_Latin1_General_CP1_CI_AS") are never width-sensitive.
  const QString name = collation.toUpper();
  const bool binary = name.contains(QLatin1String("_BIN"));
  r.caseInsensitive_ = !binary && !name.contains(QLatin1String("_CS"));
  r.widthInsensitive_ = !binary && !name.contains(QLatin1String("_WS"));
  return r;
}

QString ServerRules::exactTextCheck(const QString& quotedColumn, bool fixedChar) const {
  if (engine_ == Engine::SqlServer) {
    // A binary collation tells case and width apart; a marker after the text makes its
    // trailing blanks count (a fixed-width column is padded alike whatever was written).
    // Joined to a Unicode text the column's value becomes Unicode first, so that the
    // collation never converts it to another code page. (A cast to nvarchar(max)
    // would do the same at a cost the server feels on every row.)
    if (fixedChar)
      return QStringLiteral("(%1 + N'') COLLATE Latin1_General_BIN2 = ?").arg(quotedColumn);
    return QStringLiteral("(%1 + N'|') COLLATE Latin1_General_BIN2 = ? + N'|'").arg(quotedColumn);
  }
  if (engine_ == Engine::Sqlite) return QStringLiteral("%1 = ? COLLATE BINARY").arg(quotedColumn);
  return QStringLiteral("%1 = ?").arg(quotedColumn);
}

QString ServerRules::keyForm(const QString& text, bool fixedChar) const {
  const bool trim = trailingBlanksIgnored_ || (fixedChar && padsFixedWidth());
  if (!trim && !keyFormChanges()) return text;
  // Most keys are digits and upper-case letters already in their form: those are
  // returned as they are, sharing the row's text.
  const qsizetype n = text.size();
  bool plain = !(trim && n > 0 && (text.at(n - 1) == u' ' || text.at(n - 1) == u'\x3000'));
  for (qsizetype i = 0; plain && i < n; ++i) {
    const char16_t c = text.at(i).unicode();
    if (c >= 0x80 || (caseInsensitive_ && c >= u'a' && c <= u'z')) plain = false;
  }
  if (plain) return text;
  QString out;
  out.reserve(n);
  for (qsizetype i = 0; i < n; ++i) {
    char16_t c = text.at(i).unicode();
    if (widthInsensitive_) {
      if (c >= 0xFF01 && c <= 0xFF5E)
        c = char16_t(c - 0xFF01 + 0x21);
      else if (c == 0x3000)
        c = u' ';
    }
    out += QChar(c);
  }
  if (caseInsensitive_) out = out.toUpper();
  return trim ? withoutTrailingBlanks(out) : out;
}

bool ServerRules::padded(const ColumnInfo* column) const {
  return column && column->fixedChar && padsFixedWidth();
}

QString withoutTrailingBlanks(const QString& text) {
  qsizetype n = text.size();
  while (n > 0 && text.at(n - 1) == u' ') --n;
  return n == text.size() ? text : text.left(n);
}

bool storedAlike(const QVariant& a, const QVariant& b, bool padded) {
  const bool nullA = isNullValue(a), nullB = isNullValue(b);
  if (nullA || nullB) return nullA == nullB;
  if (typeIdOf(a) != typeIdOf(b)) return false;
  // The common kinds compared directly rather than through the meta-type system.
  switch (typeIdOf(a)) {
    case QMetaType::QString: {
      const QString& x = *static_cast<const QString*>(a.constData());
      const QString& y = *static_cast<const QString*>(b.constData());
      if (x == y) return true;
      return padded && withoutTrailingBlanks(x) == withoutTrailingBlanks(y);
    }
    case QMetaType::Double:
      return *static_cast<const double*>(a.constData()) ==
             *static_cast<const double*>(b.constData());
    case QMetaType::LongLong:
      return *static_cast<const qint64*>(a.constData()) ==
             *static_cast<const qint64*>(b.constData());
    default:
      return a == b;
  }
}

}  // namespace db
