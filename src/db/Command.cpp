#include "db/Command.h"

#include "Driver.h"
#include "db/Connection.h"
#include "db/ValueText.h"

#include <platform/Error.h>

namespace db {

Command::Command() = default;

Command::~Command() {
  statement_.reset();
  QObject::disconnect(closeWatch_);
  own_.reset();
}

void Command::dropStatement() {
  statement_.reset();
}

void Command::setConnection(Connection* connection) {
  dropStatement();
  QObject::disconnect(closeWatch_);
  own_.reset();
  shared_ = connection;
  if (shared_)
    closeWatch_ =
        QObject::connect(shared_, &Connection::aboutToClose, [this] { statement_.reset(); });
}

void Command::setConnectionString(const QString& text) {
  setConnection(nullptr);
  ownText_ = text;
}

Connection& Command::connection() {
  if (shared_) {
    shared_->open();
    return *shared_;
  }
  if (ownText_.isEmpty())
    throw platform::Error(QStringLiteral("Missing Connection or ConnectionString"));
  if (!own_) {
    auto c = std::make_unique<Connection>();
    c->setConnectionString(ownText_);
    c->open();
    own_ = std::move(c);
  }
  return *own_;
}

QString Command::translate(const QString& sql, QStringList* names) {
  QString out;
  out.reserve(sql.size());
  const qsizetype n = sql.size();
  auto isStart = [](QChar c) { return c.isLetter() || c == u'_'; };
  auto isPart = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
  for (qsizetype i = 0; i < n;) {
    const QChar c = sql.at(i);
    if (c == u'\'' || c == u'"' || c == u'[') {
      // Quoted text and names are copied as they are; markers inside them are text. A
      // doubled closing character ('' or ]]) stands for itself and does not close.
      const QChar close = c == u'[' ? QChar(u']') : c;
      qsizetype j = i + 1;
      while (j < n && (sql.at(j) != close || (j + 1 < n && sql.at(j + 1) == close)))
        j += sql.at(j) == close ? 2 : 1;
      out += sql.mid(i, j + 1 - i);
      i = j + 1;
    } else if (c == u':' && i + 1 < n && sql.at(i + 1) == u':') {
      out += QStringLiteral("::");
      i += 2;
    } else if (c == u':' && i + 1 < n && isStart(sql.at(i + 1))) {
      qsizetype j = i + 1;
      while (j < n && isPart(sql.at(j))) ++j;
      if (names) *names << sql.mid(i + 1, j - i - 1);
      out += u'?';
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

void Command::setCommandText(const QString& sql) {
  dropStatement();
  sql_ = sql;
  QStringList names;
  translated_ = translate(sql, &names);
  params_.clear();
  for (const QString& name : names) params_.push_back(Param{name, ftString, true, QString()});
  values_.assign(params_.size(), QVariant());
}

const Command::Param& Command::param(int index) const {
  if (index < 0 || index >= parameterCount())
    throw platform::Error(QStringLiteral("Parameter index %1 out of range").arg(index));
  return params_[size_t(index)];
}

const QString& Command::parameterName(int index) const {
  return param(index).name;
}

FieldType Command::paramType(int index) const {
  return param(index).type;
}

void Command::setParamType(int index, FieldType type) {
  param(index);
  Param& p = params_[size_t(index)];
  if (p.type != type) dropStatement();
  p.type = type;
  // A value bound as it is was judged for the former type.
  if (p.typed) setParamValue(index, QVariant(values_[size_t(index)]), p.valueType);
}

void Command::setParamText(int index, const QString& text) {
  param(index);
  Param& p = params_[size_t(index)];
  p.typed = false;
  p.isNull = text.isEmpty();
  p.text = text;
}

void Command::setParamText(int index, QString&& text) {
  param(index);
  Param& p = params_[size_t(index)];
  p.typed = false;
  p.isNull = text.isEmpty();
  p.text.swap(text);
}

void Command::setParamNull(int index) {
  param(index);
  params_[size_t(index)].typed = false;
  params_[size_t(index)].isNull = true;
  params_[size_t(index)].text.clear();
}

void Command::setParamValue(int index, const QVariant& value, FieldType valueType) {
  param(index);
  Param& p = params_[size_t(index)];
  if (!ValueText::readsBackUnchanged(value, valueType, p.type)) {
    setParamText(index, ValueText::plain(value, valueType));
    return;
  }
  p.typed = true;
  p.valueType = valueType;
  p.isNull = false;
  bindValue(size_t(index), value);
}

// Into the variant bound before: most parameters keep their type from row to row.
void Command::bindValue(size_t index, const QVariant& value) {
  if (values_.size() < params_.size()) values_.resize(params_.size());
  ValueText::assign(values_[index], value);
}

bool Command::paramIsNull(int index) const {
  return param(index).isNull;
}

void Command::prepare() {
  if (statement_) return;
  std::vector<FieldType> types;
  for (const Param& p : params_) types.push_back(p.type);
  statement_ = connection().prepare(translated_, types);
}

void Command::flush() {
  if (statement_) statement_->flush();
}

qint64 Command::execute() {
  // The vector is kept between executions: a command runs once per row.
  values_.resize(params_.size());
  for (size_t i = 0; i < params_.size(); ++i) {
    const Param& p = params_[i];
    if (p.typed) continue;  // bound by setParamValue
    QVariant& value = values_[i];
    try {
      // Into the previous row's variants: most keep their type from row to row.
      if (!p.isNull)
        ValueText::parseInto(p.text, p.type, value);
      else if (value.isValid())
        value = QVariant();
    } catch (const platform::Error& e) {
      throw ParameterError(int(i), e.message());
    }
  }
  prepare();
  return statement_->execute(values_);
}

}  // namespace db
