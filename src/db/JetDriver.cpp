// Driver over the Access file engine. It understands the statements the program
// sends to Access files: "SELECT * FROM name", "create table name (col type, ...)" and
// "insert into name(cols) values(?, ...)", each value converted to its column's type
// (the text forms of this layer and ISO dates are accepted).
#include "Driver.h"

#include "JetErrorText.h"
#include "db/ValueText.h"

#include <jet/Database.h>
#include <jet/DatabaseWriter.h>
#include <jet/Error.h>
#include <jet/TableReader.h>
#include <jet/ValueText.h>
#include <platform/Error.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

namespace db {

// A file that cannot be written or is damaged gets a Chinese line saying what to do, the
// engine's own words after it (for support); the engine's other texts name the table
// and column already and stay as they are.
QString jetErrorText(const jet::Error& e) {
  const QString what = QString::fromStdString(e.what());
  const QString file = QDir::toNativeSeparators(QString::fromStdString(e.file()));
  const std::string& reason = e.reason();
  const auto startsWith = [&reason](const char* head) { return reason.rfind(head, 0) == 0; };
  QString line;
  if (startsWith("cannot write the file") || startsWith("cannot create the file")) {
    if (reason.find(std::strerror(ENOSPC)) != std::string::npos)
      line = QStringLiteral("磁碟空間不足，無法寫入 Access 檔案 %1：請清出磁碟空間後再試一次。");
    else
      line = QStringLiteral(
          "無法寫入 Access 檔案 %1：請確認檔案沒有設成唯讀、沒有被其他程式開著，而且資料夾"
          "可以寫入，再試一次。");
  } else if (reason == "not an Access database") {
    line = QStringLiteral(
        "%1 不是 Access 檔案：請把它改名或移到別的資料夾，再按「匯出檔案」重新產生。");
  } else if (e.page()) {
    line = QStringLiteral(
        "Access 檔案 %1 已經損毀：請在 Access 中修復這個檔案，或把它改名後重新匯出。");
  } else {
    return what;
  }
  return line.arg(file) + QLatin1Char('\n') + what;
}

namespace {

// Runs `f`, turning the engine's errors into the layer's.
template <typename F>
auto guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const jet::Error& e) {
    throw platform::Error(jetErrorText(e));
  }
}

// Puts into `out` the UTF-8 of `s` as QString::toStdString gives it. Text without
// surrogates (nearly every cell an export writes) is encoded straight into `out`, without
// the byte array in between; the rest is left to Qt.
void utf8Into(const QString& s, std::string& out) {
  const qsizetype n = s.size();
  const QChar* in = s.constData();
  out.resize(size_t(n) * 3);
  char* o = out.data();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = in[i].unicode();
    if (c < 0x80) {
      *o++ = char(c);
    } else if (c < 0x800) {
      *o++ = char(0xC0 | (c >> 6));
      *o++ = char(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out = s.toStdString();
      return;
    } else {
      *o++ = char(0xE0 | (c >> 12));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
      *o++ = char(0x80 | (c & 0x3F));
    }
  }
  out.resize(size_t(o - out.data()));
}

std::string utf8(const QString& s) {
  std::string out;
  utf8Into(s, out);
  return out;
}

// "[name]" (a "]" inside doubled) or a bare name.
QString unbracket(const QString& name) {
  const QString n = name.trimmed();
  if (n.startsWith(u'[') && n.endsWith(u']'))
    return n.mid(1, n.size() - 2).replace(QStringLiteral("]]"), QStringLiteral("]"));
  return n;
}

const QString kName = QStringLiteral(R"((\[(?:[^\]]|\]\])+\]|[^\s\[\]\(\),;]+))");

FieldType fieldTypeOf(const jet::ColumnInfo& c) {
  switch (c.type) {
    case jet::ColumnType::Boolean:
      return ftBoolean;
    case jet::ColumnType::Byte:
      return ftWord;
    case jet::ColumnType::Integer:
      return ftSmallint;
    case jet::ColumnType::Long:
      return c.autoNumber ? ftAutoInc : ftInteger;
    case jet::ColumnType::Currency:
      return ftCurrency;
    case jet::ColumnType::Single:
    case jet::ColumnType::Double:
      return ftFloat;
    case jet::ColumnType::DateTime:
      return ftDateTime;
    case jet::ColumnType::Binary:
      return ftVarBytes;
    case jet::ColumnType::Text:
      return ftString;
    case jet::ColumnType::Ole:
      return ftBlob;
    case jet::ColumnType::Memo:
      return ftMemo;
    case jet::ColumnType::Guid:
      return ftGuid;
    case jet::ColumnType::Decimal:
      return ftBCD;
    default:
      return ftUnknown;
  }
}

QVariant toVariant(const jet::Value& v) {
  using K = jet::Value::Kind;
  switch (v.kind()) {
    case K::Null:
      return QVariant();
    case K::Bool:
      return QVariant(v.asBool());
    case K::Int:
      return QVariant(qint64(v.asInt()));
    case K::Float:  // the single's own shortest text, so 1.1 stays 1.1
      return QVariant(
          QString::fromStdString(jet::ValueText::formatSingle(v.asSingle())).toDouble());
    case K::Double:
      return QVariant(v.asDouble());
    case K::Currency:
      return QVariant(double(v.asCurrency().tenThousandths) / 10000.0);
    case K::DateTime: {
      jet::CivilTime t;
      if (!jet::ValueText::toCivil(v.asDateTime(), true, t))
        return QVariant(QString::fromStdString(jet::ValueText::toText(v)));
      return ValueText::naive(QDate(int(t.year), t.month, t.day),
                              QTime(t.hour, t.minute, t.second, t.millisecond));
    }
    case K::Text:
      return QVariant(QString::fromStdString(v.asText()));
    case K::Bytes: {
      const jet::Bytes& b = v.asBytes();
      return QVariant(QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())));
    }
    case K::Decimal:
      return QVariant(QString::fromStdString(jet::ValueText::toText(v)).toDouble());
    default:
      return QVariant(QString::fromStdString(jet::ValueText::toText(v)));
  }
}

// Days since 1899-12-30; before it the whole part is negative and the fraction still
// counts forward from midnight.
jet::DateTime toJetDate(const QDateTime& dt) {
  const qint64 day = QDate(1899, 12, 30).daysTo(dt.date());
  const double fraction = double(dt.time().msecsSinceStartOfDay()) / 86400000.0;
  return jet::DateTime{day >= 0 ? double(day) + fraction : double(day) - fraction};
}

QString describe(const QVariant& v) {
  return v.typeId() == QMetaType::QString ? v.toString() : v.toString();
}

// The value toJet() gives, put into `out`, for the pairs a run of inserts binds nearly
// always: text for a text column (into out's own storage), whole numbers, floats and
// booleans as the parameters' conversion leaves them, valid dates. False, with `out` untouched, for
// anything else.
bool toJetDirect(const QVariant& in, const jet::ColumnInfo& c, jet::Value& out) {
  const int id = in.typeId();
  switch (c.type) {
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo:
      if (id != QMetaType::QString) return false;
      utf8Into(*static_cast<const QString*>(in.constData()), out.textBuffer());
      return true;
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long:
      if (id != QMetaType::LongLong) return false;
      out = jet::Value::integer(*static_cast<const qlonglong*>(in.constData()));
      return true;
    case jet::ColumnType::Double:
      if (id != QMetaType::Double) return false;
      out = jet::Value::real(*static_cast<const double*>(in.constData()));
      return true;
    case jet::ColumnType::Boolean:
      if (id != QMetaType::Bool) return false;
      out = jet::Value::boolean(*static_cast<const bool*>(in.constData()));
      return true;
    case jet::ColumnType::DateTime: {
      if (id != QMetaType::QDateTime) return false;
      const QDateTime& dt = *static_cast<const QDateTime*>(in.constData());
      if (!dt.isValid()) return false;
      out = jet::Value::dateTime(toJetDate(dt));
      return true;
    }
    default:
      return false;
  }
}

jet::Value toJet(const QVariant& in, const jet::ColumnInfo& c) {
  if (!in.isValid() || in.isNull()) return jet::Value::null();
  const bool isText = in.typeId() == QMetaType::QString;
  auto as = [&](FieldType t) {
    return isText ? ValueText::parse(in.toString(), t) : ValueText::normalize(in, t);
  };
  switch (c.type) {
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo: {
      const bool bytes = in.typeId() == QMetaType::QByteArray;
      return jet::Value::text(
          utf8(isText ? in.toString() : ValueText::plain(in, bytes ? ftBlob : ftUnknown)));
    }
    case jet::ColumnType::Boolean: {
      const QVariant v = as(ftBoolean);
      if (v.typeId() != QMetaType::Bool)
        throw platform::Error(ValueText::notAValue(describe(in), ftBoolean));
      return jet::Value::boolean(v.toBool());
    }
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long: {
      const QVariant v = as(ftInteger);
      if (v.typeId() != QMetaType::LongLong)
        throw platform::Error(ValueText::notAValue(describe(in), ftInteger));
      return jet::Value::integer(v.toLongLong());
    }
    case jet::ColumnType::Currency: {
      const QVariant v = as(ftFloat);
      if (v.typeId() != QMetaType::Double)
        throw platform::Error(ValueText::notAValue(describe(in), ftFloat));
      return jet::Value::currency(jet::Currency{std::llround(v.toDouble() * 10000.0)});
    }
    case jet::ColumnType::Single:
    case jet::ColumnType::Double: {
      const QVariant v = as(ftFloat);
      if (v.typeId() != QMetaType::Double)
        throw platform::Error(ValueText::notAValue(describe(in), ftFloat));
      return c.type == jet::ColumnType::Single ? jet::Value::single(float(v.toDouble()))
                                               : jet::Value::real(v.toDouble());
    }
    case jet::ColumnType::DateTime: {
      const QVariant v = as(ftDateTime);
      if (v.typeId() != QMetaType::QDateTime)
        throw platform::Error(ValueText::notAValue(describe(in), ftDateTime));
      return jet::Value::dateTime(toJetDate(v.toDateTime()));
    }
    case jet::ColumnType::Binary:
    case jet::ColumnType::Ole: {
      const QByteArray b =
          in.typeId() == QMetaType::QByteArray ? in.toByteArray() : in.toString().toUtf8();
      return jet::Value::bytes(jet::Bytes(b.begin(), b.end()));
    }
    default:
      throw platform::Error(
          QStringLiteral("Cannot store a value in the column '%1' of type %2")
              .arg(QString::fromStdString(c.name), QString::fromUtf8(jet::typeName(c.type))));
  }
}

std::optional<jet::NewColumn> parseColumn(const QString& definition) {
  static const QRegularExpression re(
      QStringLiteral(R"(^\s*%1\s+([A-Za-z]+)\s*(?:\(\s*(\d+)\s*\))?\s*$)").arg(kName));
  const auto m = re.match(definition);
  if (!m.hasMatch()) return std::nullopt;
  jet::NewColumn c;
  c.name = utf8(unbracket(m.captured(1)));
  const QString type = m.captured(2).toLower();
  const int n = m.captured(3).isEmpty() ? 255 : m.captured(3).toInt();
  if (type == u"char" || type == u"varchar" || type == u"text" || type == u"nvarchar" ||
      type == u"nchar") {
    if (n < 1 || n > 255) return std::nullopt;
    c.type = jet::ColumnType::Text;
    c.maxChars = n;
  } else if (type == u"memo" || type == u"longtext" || type == u"ntext") {
    c.type = jet::ColumnType::Memo;
  } else if (type == u"integer" || type == u"int" || type == u"long") {
    c.type = jet::ColumnType::Long;
  } else if (type == u"smallint" || type == u"short") {
    c.type = jet::ColumnType::Integer;
  } else if (type == u"byte" || type == u"tinyint") {
    c.type = jet::ColumnType::Byte;
  } else if (type == u"double" || type == u"float") {
    c.type = jet::ColumnType::Double;
  } else if (type == u"single" || type == u"real") {
    c.type = jet::ColumnType::Single;
  } else if (type == u"currency" || type == u"money") {
    c.type = jet::ColumnType::Currency;
  } else if (type == u"datetime" || type == u"date" || type == u"time") {
    c.type = jet::ColumnType::DateTime;
  } else if (type == u"logical" || type == u"bit" || type == u"yesno" || type == u"boolean") {
    c.type = jet::ColumnType::Boolean;
  } else if (type == u"longbinary" || type == u"oleobject" || type == u"image") {
    c.type = jet::ColumnType::Ole;
  } else {
    return std::nullopt;
  }
  return c;
}

// Splits at commas outside brackets and parentheses.
QStringList splitList(const QString& list) {
  QStringList out;
  QString current;
  int depth = 0;
  bool bracket = false;
  for (qsizetype i = 0; i < list.size(); ++i) {
    const QChar ch = list.at(i);
    if (bracket && ch == u']' && i + 1 < list.size() && list.at(i + 1) == u']') {
      current += QStringLiteral("]]");  // an escaped bracket inside the name
      ++i;
      continue;
    }
    if (ch == u'[')
      bracket = true;
    else if (ch == u']')
      bracket = false;
    else if (!bracket && ch == u'(')
      ++depth;
    else if (!bracket && ch == u')')
      --depth;
    if (ch == u',' && depth == 0 && !bracket) {
      out << current;
      current.clear();
    } else {
      current += ch;
    }
  }
  if (!current.trimmed().isEmpty() || !out.isEmpty()) out << current;
  return out;
}

class JetStatement : public Statement {
 public:
  JetStatement(QString file, jet::TableAppender appender, std::vector<int> columnOfParam)
      : file_(std::move(file)),
        appender_(std::move(appender)),
        columnOfParam_(std::move(columnOfParam)),
        row_(appender_.table().columns.size()) {}

  // Columns without a parameter stay NULL in row_; every other one is set each time.
  qint64 execute(const std::vector<QVariant>& values) override {
    static const QVariant kNull;
    const jet::TableInfo& table = appender_.table();
    for (size_t i = 0; i < columnOfParam_.size(); ++i) {
      const size_t c = size_t(columnOfParam_[i]);
      try {
        const QVariant& value = i < values.size() ? values[i] : kNull;
        if (!toJetDirect(value, table.columns[c], row_[c]))
          row_[c] = toJet(value, table.columns[c]);
      } catch (const platform::Error& e) {
        // Named like the engine's own refusals: file, table, column, reason.
        throw platform::Error(QStringLiteral("%1: table \"%2\", column \"%3\": %4")
                                  .arg(file_, QString::fromStdString(table.name),
                                       QString::fromStdString(table.columns[c].name), e.message()));
      }
    }
    guarded([&] { appender_.append(row_); });
    return 1;
  }

  void flush() override {
    guarded([&] { appender_.flush(); });
  }

 private:
  QString file_;
  jet::TableAppender appender_;
  std::vector<int> columnOfParam_;
  std::vector<jet::Value> row_;  // reused: one row's values, in column order
};

// Refuses, before anything is written, a table the engine cannot append to, saying
// what the operator can do about it.
void checkAppendable(const QString& file, const jet::TableInfo& table) {
  const QString name = QString::fromStdString(table.name);
  const QString remedy = QStringLiteral(
      " Remove it in Microsoft Access, or delete the table (or the file) so that it is made "
      "again, and try again; no rows were added.");
  if (!table.indexes.empty()) {
    // Access names the indexes behind relationships ".rC" and the like; name one the
    // operator can find in the table's design when there is one.
    const auto visible = std::find_if(table.indexes.begin(), table.indexes.end(),
                                      [](const jet::IndexInfo& x) { return x.name[0] != '.'; });
    const QString what =
        visible == table.indexes.end()
            ? QStringLiteral("takes part in a relationship")
            : QStringLiteral("has an index (\"%1\")").arg(QString::fromStdString(visible->name));
    throw platform::Error(
        QStringLiteral("%1: the table \"%2\" %3, which this program cannot keep up to date.")
            .arg(file, name, what) +
        remedy);
  }
  for (const jet::ColumnInfo& c : table.columns)
    if (c.autoNumber)
      throw platform::Error(
          QStringLiteral("%1: the table \"%2\" has an AutoNumber column (\"%3\"), which this "
                         "program cannot fill.")
              .arg(file, name, QString::fromStdString(c.name)) +
          remedy);
}

// A statement without parameters that the engine runs as a whole each time.
class DirectStatement : public Statement {
 public:
  DirectStatement(Driver& driver, QString sql) : driver_(driver), sql_(std::move(sql)) {}
  qint64 execute(const std::vector<QVariant>&) override { return driver_.execute(sql_); }

 private:
  Driver& driver_;
  QString sql_;
};

class JetDriver : public Driver {
 public:
  explicit JetDriver(QString path) : path_(std::move(path)) {}
  ~JetDriver() override { close(); }

  void open() override {
    if (!QFileInfo(path_).isFile())
      throw platform::Error(
          QStringLiteral("無法讀取 Access 檔案 "
                         "%1：找不到這個檔案：請先按「匯出檔案」，或確認檔案放在程式資料夾")
              .arg(QDir::toNativeSeparators(path_)));
    guarded([&] { jet::Database::open(utf8(path_)); });  // refuses what it cannot read
    open_ = true;
  }

  void close() override {
    if (writer_) {
      try {
        writer_->flush();
      } catch (...) {
      }
    }
    writer_.reset();
    open_ = false;
  }

  bool isOpen() const override { return open_; }

  QStringList tableNames() override {
    QStringList names;
    const std::vector<std::string> list = guarded([&] {
      return writer_ ? writer_->tableNames() : jet::Database::open(utf8(path_)).tableNames();
    });
    for (const std::string& n : list) names << QString::fromStdString(n);
    return names;
  }

  ResultSet select(const QString& sql) override {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*select\s+\*\s+from\s+%1\s*;?\s*$)").arg(kName),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(sql);
    if (!m.hasMatch())
      throw platform::Error(
          QStringLiteral("Unsupported statement for an Access file: %1").arg(sql));
    const std::string table = utf8(unbracket(m.captured(1)));
    return guarded([&] {
      if (writer_) writer_->flush();
      jet::Database db = jet::Database::open(utf8(path_));
      if (!db.hasTable(table))
        throw platform::Error(
            QStringLiteral(
                "The Microsoft Jet database engine cannot find the input table or query '%1'.")
                .arg(QString::fromStdString(table)));
      jet::TableReader reader = db.read(table);
      ResultSet rs;
      for (const jet::ColumnInfo& c : reader.info().columns) {
        ColumnInfo col;
        col.name = QString::fromStdString(c.name);
        col.type = fieldTypeOf(c);
        col.size = c.maxChars();
        rs.columns.push_back(col);
      }
      std::vector<jet::Value> row;
      while (reader.next(row))
        for (const jet::Value& v : row) rs.cells.push_back(toVariant(v));
      return rs;
    });
  }

  qint64 execute(const QString& sql) override {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*create\s+table\s+%1\s*\((.*)\)\s*;?\s*$)").arg(kName),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(sql);
    if (!m.hasMatch())
      throw platform::Error(
          QStringLiteral("Unsupported statement for an Access file: %1").arg(sql));
    std::vector<jet::NewColumn> columns;
    for (const QString& def : splitList(m.captured(2))) {
      const auto c = parseColumn(def);
      if (!c)
        throw platform::Error(
            QStringLiteral("Syntax error in field definition '%1'.").arg(def.trimmed()));
      columns.push_back(*c);
    }
    guarded([&] {
      writer().createTable(utf8(unbracket(m.captured(1))), columns);
      // One writer per file: let go of it at once so that other connections can write.
      writer_->flush();
      writer_.reset();
    });
    return 0;
  }

  std::unique_ptr<Statement> prepare(const QString& sql, const std::vector<FieldType>&) override {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*insert\s+into\s+%1\s*\((.*)\)\s*values\s*\((.*)\)\s*;?\s*$)")
            .arg(kName),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(sql);
    if (!m.hasMatch()) {
      if (sql.trimmed().startsWith(QStringLiteral("create"), Qt::CaseInsensitive))
        return std::make_unique<DirectStatement>(*this, sql);
      throw platform::Error(
          QStringLiteral("Unsupported statement for an Access file: %1").arg(sql));
    }
    const QStringList names = splitList(m.captured(2));
    const QStringList marks = splitList(m.captured(3));
    if (names.size() != marks.size())
      throw platform::Error(
          QStringLiteral("Number of query values and destination fields are not the same."));
    for (const QString& mark : marks)
      if (mark.trimmed() != u"?")
        throw platform::Error(
            QStringLiteral("Unsupported statement for an Access file: %1").arg(sql));
    return guarded([&]() -> std::unique_ptr<Statement> {
      const std::string table = utf8(unbracket(m.captured(1)));
      if (writer().hasTable(table)) checkAppendable(path_, writer().table(table));
      jet::TableAppender appender = writer().appender(table);
      std::vector<int> columnOf;
      for (const QString& name : names) {
        const jet::ColumnInfo* c = appender.table().column(utf8(unbracket(name)));
        if (!c)
          throw platform::Error(
              QStringLiteral(
                  "The INSERT INTO statement contains the following unknown field name: '%1'.")
                  .arg(unbracket(name)));
        columnOf.push_back(c->order);
      }
      return std::make_unique<JetStatement>(path_, std::move(appender), std::move(columnOf));
    });
  }

  QStringList primaryKey(const QString& table) override {
    QStringList names;
    const jet::TableInfo info =
        guarded([&] { return jet::Database::open(utf8(path_)).table(utf8(table)); });
    for (const jet::IndexInfo& index : info.indexes)
      if (index.primaryKey)
        for (const std::string& c : index.columns) names << QString::fromStdString(c);
    return names;
  }

  QString quoteName(const QString& name) const override {
    return u'[' + QString(name).replace(QStringLiteral("]"), QStringLiteral("]]")) + u']';
  }

  void create() override {
    if (QFileInfo::exists(path_))
      throw platform::Error(QStringLiteral("Database '%1' already exists.").arg(path_));
    guarded([&] { jet::DatabaseWriter::create(utf8(path_)); });
  }

 private:
  jet::DatabaseWriter& writer() {
    if (!writer_)
      writer_ = std::make_unique<jet::DatabaseWriter>(jet::DatabaseWriter::open(utf8(path_)));
    return *writer_;
  }

  QString path_;
  bool open_ = false;
  std::unique_ptr<jet::DatabaseWriter> writer_;
};

}  // namespace

std::unique_ptr<Driver> makeJetDriver(const QString& path) {
  return std::make_unique<JetDriver>(path);
}

}  // namespace db
