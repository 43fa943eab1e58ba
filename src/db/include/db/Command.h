// A statement without a result set, with named parameters: every ":NAME" marker
// outside quotes makes one parameter, in order of appearance. Each parameter has a
// data type and a value given as text (converted through the type when executed) or
// none, which is bound as NULL. Prepared once on first execution, executed many times.
// A value stays bound until it is replaced: callers that run the command once per row
// set every parameter for every row.
#pragma once

#include "db/FieldType.h"

#include <platform/Error.h>

#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace db {

class Connection;
class Statement;

// A parameter's text that does not convert to the parameter's type; the message is
// the conversion's own ("'12a' is not a valid integer value").
class ParameterError : public platform::Error {
 public:
  ParameterError(int index, const QString& message) : platform::Error(message), index_(index) {}
  int index() const { return index_; }

 private:
  int index_;
};

class Command {
 public:
  Command();
  ~Command();
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Either a connection shared with others, or a connection text from which the
  // command makes a connection of its own, opened at the first execution.
  void setConnection(Connection* connection);
  void setConnectionString(const QString& text);

  void setCommandText(const QString& sql);
  const QString& commandText() const { return sql_; }

  int parameterCount() const { return int(params_.size()); }
  const QString& parameterName(int index) const;
  FieldType paramType(int index) const;
  void setParamType(int index, FieldType type);
  // An empty text leaves the parameter without a value (NULL), whatever it held before.
  void setParamText(int index, const QString& text);
  void setParamText(int index, QString&& text);
  void setParamNull(int index);
  // Binds what setParamText(index, ValueText::plain(value, valueType)) binds; where the
  // text would read back as `value` itself (ValueText::readsBackUnchanged), the value is
  // bound as it is and the text is neither written nor read.
  void setParamValue(int index, const QVariant& value, FieldType valueType);
  bool paramIsNull(int index) const;

  // Prepares the statement now rather than at the first execution, so that a statement
  // the database refuses fails before any row is sent.
  void prepare();
  // Converts the texts (throws ParameterError), runs the statement and returns the
  // number of rows it touched.
  qint64 execute();
  // Writes what the executions left to the engine and makes it durable where the
  // engine defers that (Access files: the rows reach the file a page at a time and are
  // made durable once at the end of a run of inserts, here or when the command goes).
  // Throws when the data cannot be written or made durable.
  void flush();

  // The statement with '?' in place of the markers, and the marker names in order.
  static QString translate(const QString& sql, QStringList* names);

 private:
  struct Param {
    QString name;
    FieldType type = ftString;
    bool isNull = true;
    QString text;
    // Set by setParamValue: values_ holds the value, of type valueType, to bind as it is.
    bool typed = false;
    FieldType valueType = ftUnknown;
  };
  const Param& param(int index) const;
  void bindValue(size_t index, const QVariant& value);
  Connection& connection();
  void dropStatement();

  Connection* shared_ = nullptr;
  std::unique_ptr<Connection> own_;
  QString ownText_;
  QMetaObject::Connection closeWatch_;
  QString sql_;
  QString translated_;
  std::vector<Param> params_;
  std::unique_ptr<Statement> statement_;
  std::vector<QVariant> values_;
};

}  // namespace db
