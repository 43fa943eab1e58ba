// OLE DB style connection texts: "Key=Value;Key=Value". Values that hold ';', '=',
// quotes or outer blanks are quoted so that they cannot change the meaning of the
// text; reading undoes the quoting.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace db {

class ConnectionString {
 public:
  // Parses "Key=Value;..." : keys are trimmed and matched without regard to case;
  // a value wrapped in double or single quotes may hold anything, its quote
  // character doubled. Throws platform::Error on an unterminated quote.
  static ConnectionString parse(const QString& text);

  // The value of `key`, or "" (the last of duplicate keys wins).
  QString value(const QString& key) const;
  bool contains(const QString& key) const;
  const QList<QPair<QString, QString>>& entries() const { return entries_; }

  // `value` ready to stand after "Key=" in an OLE DB text: unchanged when harmless,
  // else wrapped in double quotes (single quotes when it holds a double quote).
  static QString quoteOleDb(const QString& value);

  // `value` ready to stand after "KEY=" in an ODBC text: unchanged when harmless,
  // else wrapped in braces with '}' doubled.
  static QString quoteOdbc(const QString& value);

  // The SQL Server values of an OLE DB text translated into an ODBC text for
  // FreeTDS: server (with Port for "host,port"; "host\instance" kept), database,
  // login, password, client charset UTF-8.
  static QString toFreeTds(const ConnectionString& oleDb);

 private:
  QList<QPair<QString, QString>> entries_;
};

}  // namespace db
