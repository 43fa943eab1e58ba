// Driver over the ODBC API itself (unixODBC): SQL Server through FreeTDS, PostgreSQL
// in the tests.
//
// Texts are read as UTF-16 (SQL_C_WCHAR) into buffers that hold the whole value, so
// that a value is decoded once and whole: reading a narrow column in pieces of its
// declared size splits characters whose UTF-8 form is longer than their code-page
// form. Rows are fetched many at a time into column-wise buffers; a result with a
// column of no bounded size is read a row at a time, its values in pieces joined
// before they are decoded.
//
// Waiting. Every statement gets the command timeout as its query timeout (FreeTDS and
// psqlODBC cancel it on the server when it runs out). A server that does not act on
// the cancel would keep the call waiting for a second timeout (FreeTDS waits as long
// again for the cancel's answer), so a watchdog of the link's own ends a call that is
// still running a few seconds past the timeout by shutting the link's socket down:
// the call then fails at once and the link is dead, as after any timeout of FreeTDS.
// A link that timed out or lost its server reports itself closed, so the next start
// connects afresh.
#include "Driver.h"
#include "OdbcLink.h"
#include "TextPool.h"
#include "db/Connection.h"
#include "db/ValueText.h"

#include <platform/Error.h>

#include <sql.h>
#include <sqlext.h>
#include <QDate>
#include <QTime>
#include <cstring>
#include <memory>
#include <vector>

namespace db {

namespace {

QString fromWide(const SQLWCHAR* text, qsizetype units) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), units);
}

const SQLWCHAR* wide(const QString& text) {
  return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

ColumnInfo describeColumn(const QString& name, SQLSMALLINT sqlType, SQLULEN size, int codePage,
                          const QString& typeName) {
  ColumnInfo c;
  c.name = name;
  c.typeName = typeName.toLower();
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_WCHAR:
      c.type = ftString;
      c.fixedChar = true;
      break;
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
      c.type = ftString;
      break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      c.type = ftMemo;
      break;
    case SQL_BIT:
      c.type = ftBoolean;
      break;
    case SQL_TINYINT:
      c.type = ftWord;
      break;
    case SQL_SMALLINT:
      c.type = ftSmallint;
      break;
    case SQL_INTEGER:
      c.type = ftInteger;
      break;
    case SQL_BIGINT:
      c.type = ftLargeint;
      break;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      c.type = ftFloat;
      break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      c.type = ftBCD;
      break;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      c.type = ftDate;
      break;
    case SQL_TIME:
    case SQL_TYPE_TIME:
    case odbc::kSsTime2:
      c.type = ftTime;
      break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
    case odbc::kSsTimestampOffset:
      c.type = ftDateTime;
      break;
    case SQL_BINARY:
      c.type = ftBytes;
      break;
    case SQL_VARBINARY:
      c.type = ftVarBytes;
      break;
    case SQL_LONGVARBINARY:
      c.type = ftBlob;
      break;
    case SQL_GUID:
      c.type = ftGuid;
      break;
    default:
      c.type = ftString;
      break;
  }
  // A text column of a size the driver does not bound (varchar(max) reports 0 or
  // about two billion) is read as a memo.
  if (c.type == ftString && (size == 0 || size > odbc::kLongestBoundText)) c.type = ftMemo;
  if (basicKind(c.type) == BasicKind::Text && c.type != ftMemo) c.size = int(size);
  if (sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR)
    c.codePage = codePage;
  odbc::dateRangeOf(c);
  return c;
}

// How a column's values are fetched: the C type asked for and the room for one value.
struct Fetch {
  SQLSMALLINT cType = SQL_C_WCHAR;
  SQLLEN width = 0;     // bytes per value in a bound buffer
  bool pieces = false;  // read with SQLGetData, in pieces joined before decoding
};

Fetch fetchOf(const ColumnInfo& c, SQLULEN size) {
  Fetch f;
  switch (basicKind(c.type)) {
    case BasicKind::Whole:
      f.cType = SQL_C_SBIGINT;
      f.width = sizeof(SQLBIGINT);
      break;
    case BasicKind::Floating:
      f.cType = SQL_C_DOUBLE;
      f.width = sizeof(double);
      break;
    case BasicKind::Boolean:
      f.cType = SQL_C_BIT;
      f.width = 1;
      break;
    case BasicKind::DateTime:
      if (c.type == ftDate) {
        f.cType = SQL_C_TYPE_DATE;
        f.width = sizeof(SQL_DATE_STRUCT);
      } else if (c.type == ftTime) {
        f.cType = SQL_C_TYPE_TIME;
        f.width = sizeof(SQL_TIME_STRUCT);
      } else {
        f.cType = SQL_C_TYPE_TIMESTAMP;
        f.width = sizeof(SQL_TIMESTAMP_STRUCT);
      }
      break;
    case BasicKind::Binary:
      f.cType = SQL_C_BINARY;
      if (c.type == ftBlob || size == 0 || size > odbc::kLongestBoundText)
        f.pieces = true;
      else
        f.width = SQLLEN(size);
      break;
    default:
      f.cType = SQL_C_WCHAR;
      // A character of a narrow column is one UTF-16 unit, of a Unicode one at most
      // two (a pair of surrogates); room for the terminating zero.
      if (c.type == ftMemo || size == 0 || size > odbc::kLongestBoundText)
        f.pieces = true;
      else
        f.width = SQLLEN((2 * size + 1) * sizeof(SQLWCHAR));
      break;
  }
  return f;
}

class OdbcStatement : public Statement {
 public:
  OdbcStatement(std::shared_ptr<odbc::Link> link, const QString& sql, std::vector<FieldType> types)
      : link_(std::move(link)), types_(std::move(types)) {
    stmt_ = link_->newStatement();
    link_->call(stmt_,
                [&] { return SQLPrepareW(stmt_, const_cast<SQLWCHAR*>(wide(sql)), SQL_NTS); });
  }
  ~OdbcStatement() override { link_->freeStatement(stmt_); }

  qint64 execute(const std::vector<QVariant>& values) override {
    if (!link_->alive()) throw platform::Error(QStringLiteral("Connection is not open"));
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    params_.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      const FieldType type = i < types_.size() ? types_[i] : ftString;
      params_[i].set(values[i], type);
      const odbc::Param& p = params_[i];
      const SQLRETURN r = SQLBindParameter(
          stmt_, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, p.cType, p.sqlType, p.columnSize, p.digits,
          const_cast<char*>(p.data()), p.bufferLength(), const_cast<SQLLEN*>(&p.indicator));
      if (!SQL_SUCCEEDED(r)) link_->fail(SQL_HANDLE_STMT, stmt_);
    }
    link_->call(
        stmt_, [&] { return SQLExecute(stmt_); }, true);
    SQLLEN rows = 0;
    SQLRowCount(stmt_, &rows);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return qint64(rows);
  }

 private:
  std::shared_ptr<odbc::Link> link_;
  std::vector<FieldType> types_;
  SQLHSTMT stmt_ = nullptr;
  std::vector<odbc::Param> params_;
};

class OdbcDriver : public Driver {
 public:
  OdbcDriver(QString odbcText, int loginTimeout, QString target)
      : text_(std::move(odbcText)), loginTimeout_(loginTimeout), target_(std::move(target)) {}
  ~OdbcDriver() override { close(); }

  void open() override {
    if (link_ && link_->alive()) return;
    auto link = std::make_shared<odbc::Link>();
    link->setTimeout(timeout_);
    link->connect(text_, loginTimeout_, target_);
    link_ = std::move(link);
  }

  void close() override {
    if (link_) link_->disconnect();
    link_.reset();
  }

  // A cancelled link stays open, failing every statement with the cancel's text,
  // until it is closed; one that timed out or lost its server is closed.
  bool isOpen() const override { return link_ && (link_->alive() || link_->cancelled()); }

  QStringList tableNames() override {
    QStringList names;
    const QString types = QStringLiteral("TABLE,VIEW");
    SQLHSTMT stmt = link().newStatement();
    odbc::StatementGuard guard(*link_, stmt);
    link_->call(
        stmt,
        [&] {
          return SQLTablesW(stmt, nullptr, 0, nullptr, 0, nullptr, 0,
                            const_cast<SQLWCHAR*>(wide(types)), SQL_NTS);
        },
        true);
    for (const QVariant& v : readColumn(stmt, 3)) names << v.toString();
    return names;
  }

  ResultSet select(const QString& sql) override {
    SQLHSTMT stmt = link().newStatement();
    odbc::StatementGuard guard(*link_, stmt);
    link_->call(
        stmt, [&] { return SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(sql)), SQL_NTS); },
        true);
    return fetchAll(stmt);
  }

  ResultSet select(const QString& sql, const std::vector<QVariant>& values,
                   const std::vector<FieldType>& types) override {
    SQLHSTMT stmt = link().newStatement();
    odbc::StatementGuard guard(*link_, stmt);
    std::vector<odbc::Param> params(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      params[i].set(values[i], i < types.size() ? types[i] : ftString);
      const odbc::Param& p = params[i];
      const SQLRETURN r = SQLBindParameter(
          stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, p.cType, p.sqlType, p.columnSize, p.digits,
          const_cast<char*>(p.data()), p.bufferLength(), const_cast<SQLLEN*>(&p.indicator));
      if (!SQL_SUCCEEDED(r)) link_->fail(SQL_HANDLE_STMT, stmt);
    }
    SQLRETURN r = link_->call(
        stmt, [&] { return SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(sql)), SQL_NTS); },
        true);
    // Counts of the statements before it come first, each a result of its own.
    while (r != SQL_NO_DATA) {
      SQLSMALLINT columns = 0;
      SQLNumResultCols(stmt, &columns);
      if (columns > 0) {
        ResultSet rs = fetchAll(stmt);
        // What follows (a count, an error) is read too, so that nothing of the batch is
        // left unread on the link.
        while (link_->call(
                   stmt, [&] { return SQLMoreResults(stmt); }, true) != SQL_NO_DATA) {
        }
        return rs;
      }
      r = link_->call(
          stmt, [&] { return SQLMoreResults(stmt); }, true);
    }
    return {};
  }

  qint64 execute(const QString& sql) override {
    SQLHSTMT stmt = link().newStatement();
    odbc::StatementGuard guard(*link_, stmt);
    link_->call(
        stmt, [&] { return SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(sql)), SQL_NTS); },
        true);
    SQLLEN rows = 0;
    SQLRowCount(stmt, &rows);
    return qint64(rows);
  }

  std::unique_ptr<Statement> prepare(const QString& sql,
                                     const std::vector<FieldType>& types) override {
    link();
    return std::make_unique<OdbcStatement>(link_, sql, types);
  }

  QStringList primaryKey(const QString& table) override {
    SQLHSTMT stmt = link().newStatement();
    odbc::StatementGuard guard(*link_, stmt);
    link_->call(
        stmt,
        [&] {
          return SQLPrimaryKeysW(stmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(wide(table)),
                                 SQL_NTS);
        },
        true);
    // Rows come ordered by table, not by position in the key.
    std::vector<std::pair<qint64, QString>> parts;
    const std::vector<QVariant> names = readColumn(stmt, 4, 5);
    for (size_t i = 0; i + 1 < names.size(); i += 2)
      parts.emplace_back(names[i + 1].toLongLong(), names[i].toString());
    std::sort(parts.begin(), parts.end());
    QStringList out;
    for (const auto& p : parts) out << p.second;
    return out;
  }

  std::vector<ColumnDefault> columnDefaults(const QString& table) override {
    std::vector<ColumnDefault> out = columnDefaultsOf(table);
    // PostgreSQL keeps unquoted names in lower case, and its catalog matches them as kept.
    if (out.empty() && table != table.toLower()) out = columnDefaultsOf(table.toLower());
    // Not every server marks identity columns in its catalog's type names, nor in the
    // result's columns; SQL Server's own catalog does.
    if (!out.empty() && link_->sqlServer()) {
      try {
        const ResultSet filled = select(
            QStringLiteral("SELECT name FROM sys.columns WHERE object_id = OBJECT_ID('%1') AND "
                           "(is_identity = 1 OR is_computed = 1 OR system_type_id = 189)")
                .arg(QString(table).replace(u'\'', QStringLiteral("''"))));
        for (qsizetype r = 0; r < filled.rowCount(); ++r)
          for (ColumnDefault& d : out)
            if (d.column.compare(filled.cells[size_t(r)].toString(), Qt::CaseInsensitive) == 0)
              d.generated = true;
      } catch (const platform::Error&) {
      }
    }
    return out;
  }

  std::vector<ColumnDefault> columnDefaultsOf(const QString& table) {
    SQLHSTMT stmt = link().newStatement();
    odbc::StatementGuard guard(*link_, stmt);
    try {
      link_->call(
          stmt,
          [&] {
            return SQLColumnsW(stmt, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(wide(table)),
                               SQL_NTS, nullptr, 0);
          },
          true);
    } catch (const platform::Error&) {
      return {};  // a server without the catalog call: defaults unknown
    }
    std::vector<ColumnDefault> out;
    for (;;) {
      const SQLRETURN r = link_->callFetch(stmt, [&] { return SQLFetch(stmt); });
      if (r == SQL_NO_DATA) break;
      ColumnDefault d;
      d.column = link_->readText(stmt, 4).toString();
      // SQL Server names an identity column's type "int identity".
      d.generated = link_->readText(stmt, 6).toString().contains(QLatin1String("identity"),
                                                                 Qt::CaseInsensitive);
      if (const QVariant v = link_->readText(stmt, 13); !v.isNull()) d.text = v.toString();
      out.push_back(d);
    }
    return out;
  }

  void setCommandTimeout(int seconds) override {
    timeout_ = seconds;
    if (link_) link_->setTimeout(seconds);
  }
  void cancel() override {
    if (auto link = link_) link->cancel();
  }
  ServerRules rules() const override { return link_ ? link_->rules() : ServerRules(); }

 private:
  odbc::Link& link() {
    if (link_ && link_->cancelled()) throw platform::Error(Connection::cancelledMessage());
    if (!link_ || !link_->alive()) throw platform::Error(QStringLiteral("Connection is not open"));
    return *link_;
  }

  // The text or number values of catalog columns `a` (and `b`), row after row.
  std::vector<QVariant> readColumn(SQLHSTMT stmt, SQLUSMALLINT a, SQLUSMALLINT b = 0) {
    std::vector<QVariant> out;
    for (;;) {
      const SQLRETURN r = link_->callFetch(stmt, [&] { return SQLFetch(stmt); });
      if (r == SQL_NO_DATA) break;
      out.push_back(link_->readText(stmt, a));
      if (b) out.push_back(link_->readText(stmt, b));
    }
    return out;
  }

  ResultSet fetchAll(SQLHSTMT stmt);

  QString text_;
  int loginTimeout_;
  QString target_;
  int timeout_ = 30;
  std::shared_ptr<odbc::Link> link_;
};

ResultSet OdbcDriver::fetchAll(SQLHSTMT stmt) {
  ResultSet rs;
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt, &count);
  const size_t n = size_t(count);
  std::vector<Fetch> fetches;
  bool pieces = false;
  SQLLEN rowBytes = 0;
  for (SQLUSMALLINT i = 1; i <= count; ++i) {
    SQLWCHAR name[256];
    SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(stmt, i, name, SQLSMALLINT(std::size(name)), &nameLength, &sqlType, &size,
                    &digits, &nullable);
    SQLWCHAR typeName[128] = {};
    SQLSMALLINT typeNameLength = 0;
    SQLColAttributeW(stmt, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength,
                     nullptr);
    const qsizetype nameUnits = std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1);
    rs.columns.push_back(describeColumn(
        fromWide(name, nameUnits), sqlType, size, link_->codePage(),
        fromWide(typeName, std::min<qsizetype>(typeNameLength / SQLSMALLINT(sizeof(SQLWCHAR)),
                                               qsizetype(std::size(typeName)) - 1))));
    SQLLEN autoUnique = SQL_FALSE;
    SQLColAttributeW(stmt, i, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &autoUnique);
    // An identity, or SQL Server's row version (a "timestamp" of bytes).
    rs.columns.back().generated =
        autoUnique == SQL_TRUE ||
        (sqlType == SQL_BINARY && (rs.columns.back().typeName == u"timestamp" ||
                                   rs.columns.back().typeName == u"rowversion"));
    fetches.push_back(fetchOf(rs.columns.back(), size));
    pieces = pieces || fetches.back().pieces;
    rowBytes += fetches.back().width + SQLLEN(sizeof(SQLLEN));
  }
  TextPool pool{n};
  if (n == 0) return rs;

  if (pieces) {
    // A row at a time, every value asked for in turn.
    for (;;) {
      const SQLRETURN r = link_->callFetch(stmt, [&] { return SQLFetch(stmt); });
      if (r == SQL_NO_DATA) break;
      for (size_t i = 0; i < n; ++i)
        pool.share(
            i, rs.cells.emplace_back(link_->readValue(stmt, SQLUSMALLINT(i + 1), fetches[i].cType,
                                                      fetches[i].pieces ? 0 : fetches[i].width)));
    }
    return rs;
  }

  // Many rows a call, column by column.
  const SQLULEN batch =
      SQLULEN(std::clamp<SQLLEN>((1 << 20) / std::max<SQLLEN>(rowBytes, 1), 1, 512));
  std::vector<std::vector<char>> data(n);
  std::vector<std::vector<SQLLEN>> lengths(n);
  SQLULEN fetched = 0;
  if (!SQL_SUCCEEDED(
          SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, SQLPOINTER(SQL_BIND_BY_COLUMN), 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, SQLPOINTER(batch), 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0)))
    link_->fail(SQL_HANDLE_STMT, stmt);
  for (size_t i = 0; i < n; ++i) {
    data[i].resize(size_t(fetches[i].width) * batch);
    lengths[i].resize(batch);
    if (!SQL_SUCCEEDED(SQLBindCol(stmt, SQLUSMALLINT(i + 1), fetches[i].cType, data[i].data(),
                                  fetches[i].width, lengths[i].data())))
      link_->fail(SQL_HANDLE_STMT, stmt);
  }
  for (;;) {
    fetched = 0;
    const SQLRETURN r = link_->callFetch(stmt, [&] { return SQLFetch(stmt); });
    if (r == SQL_NO_DATA) break;
    for (SQLULEN row = 0; row < fetched; ++row)
      for (size_t i = 0; i < n; ++i) {
        SQLLEN length = lengths[i][row];
        // A bound buffer holds every value of its column whole; a driver reporting a
        // value longer than the column's size must not have it cut silently.
        if (length != SQL_NULL_DATA &&
            (length == SQL_NO_TOTAL ||
             (fetches[i].cType == SQL_C_WCHAR && length >= fetches[i].width) ||
             (fetches[i].cType == SQL_C_BINARY && length > fetches[i].width)))
          throw platform::Error(
              QStringLiteral("The value of column '%1' is longer than the column's declared size")
                  .arg(rs.columns[i].name));
        pool.share(i,
                   rs.cells.emplace_back(odbc::decode(
                       fetches[i].cType, data[i].data() + size_t(fetches[i].width) * row, length)));
      }
  }
  return rs;
}

}  // namespace

std::unique_ptr<Driver> makeOdbcDriver(const QString& odbcText, int loginTimeoutSeconds,
                                       const QString& target) {
  return std::make_unique<OdbcDriver>(odbcText, loginTimeoutSeconds, target);
}

}  // namespace db
