#include "db/ConnectionString.h"

#include <platform/Error.h>

namespace db {

ConnectionString ConnectionString::parse(const QString& text) {
  ConnectionString cs;
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    const qsizetype eq = text.indexOf(u'=', i);
    const qsizetype semi = text.indexOf(u';', i);
    if (eq < 0 || (semi >= 0 && semi < eq)) {
      // A piece without '=' carries no value; skip it.
      if (semi < 0) break;
      i = semi + 1;
      continue;
    }
    const QString key = text.mid(i, eq - i).trimmed();
    i = eq + 1;
    while (i < n && text.at(i) == u' ') ++i;
    QString value;
    if (i < n && (text.at(i) == u'"' || text.at(i) == u'\'')) {
      const QChar q = text.at(i++);
      bool closed = false;
      while (i < n) {
        if (text.at(i) == q) {
          if (i + 1 < n && text.at(i + 1) == q) {
            value += q;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text.at(i++);
      }
      if (!closed)
        throw platform::Error(QStringLiteral("Unterminated quote in the value of '%1'").arg(key));
      while (i < n && text.at(i) != u';') ++i;
    } else {
      const qsizetype end = text.indexOf(u';', i);
      value = text.mid(i, (end < 0 ? n : end) - i).trimmed();
      i = end < 0 ? n : end;
    }
    if (i < n && text.at(i) == u';') ++i;
    if (!key.isEmpty()) cs.entries_.append({key, value});
  }
  return cs;
}

QString ConnectionString::value(const QString& key) const {
  for (qsizetype i = entries_.size() - 1; i >= 0; --i)
    if (entries_.at(i).first.compare(key, Qt::CaseInsensitive) == 0) return entries_.at(i).second;
  return QString();
}

bool ConnectionString::contains(const QString& key) const {
  for (const auto& e : entries_)
    if (e.first.compare(key, Qt::CaseInsensitive) == 0) return true;
  return false;
}

QString ConnectionString::quoteOleDb(const QString& value) {
  const bool outerBlank = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
  const bool needs = outerBlank || value.contains(u';') || value.contains(u'=') ||
                     value.startsWith(u'"') || value.startsWith(u'\'');
  if (!needs) return value;
  if (!value.contains(u'"')) return u'"' + value + u'"';
  if (!value.contains(u'\'')) return u'\'' + value + u'\'';
  QString doubled = value;
  doubled.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + doubled + u'"';
}

QString ConnectionString::quoteOdbc(const QString& value) {
  const bool outerBlank = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
  const bool needs = outerBlank || value.contains(u';') || value.contains(u'=') ||
                     value.contains(u'{') || value.contains(u'}');
  if (!needs) return value;
  QString escaped = value;
  escaped.replace(QStringLiteral("}"), QStringLiteral("}}"));
  return u'{' + escaped + u'}';
}

QString ConnectionString::toFreeTds(const ConnectionString& oleDb) {
  QString host = oleDb.value(QStringLiteral("Data Source"));
  if (host.isEmpty()) host = oleDb.value(QStringLiteral("Server"));
  QString port;
  // "host,port" names the port; "host\instance" is resolved by FreeTDS itself.
  const qsizetype comma = host.lastIndexOf(u',');
  if (comma >= 0) {
    port = host.mid(comma + 1).trimmed();
    host = host.left(comma).trimmed();
  }
  QString out = QStringLiteral("DRIVER={FreeTDS};SERVER=") + quoteOdbc(host);
  if (!port.isEmpty()) out += QStringLiteral(";PORT=") + quoteOdbc(port);
  out += QStringLiteral(";DATABASE=") + quoteOdbc(oleDb.value(QStringLiteral("Initial Catalog")));
  out += QStringLiteral(";UID=") + quoteOdbc(oleDb.value(QStringLiteral("User ID")));
  out += QStringLiteral(";PWD=") + quoteOdbc(oleDb.value(QStringLiteral("Password")));
  out += QStringLiteral(";ClientCharset=UTF-8");
  return out;
}

}  // namespace db
