// One ODBC connection and what its statements share: the command timeout with the
// watchdog that enforces it, cancelling from another thread, and the program's texts
// for the driver's failures.
#pragma once

#include "db/FieldType.h"
#include "db/ResultSet.h"
#include "db/ServerRules.h"

#include <sql.h>
#include <sqlext.h>
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace db::odbc {

// SQL Server's own type codes for time(n) and datetimeoffset.
constexpr SQLSMALLINT kSsTime2 = -154;
constexpr SQLSMALLINT kSsTimestampOffset = -155;
// Text and binary columns up to this size are read into bound buffers; longer ones
// (and those of no declared size) in pieces.
constexpr SQLULEN kLongestBoundText = 8000;
// Seconds past the command timeout after which a call still waiting is ended.
constexpr int kTimeoutGrace = 2;

// A value as a driver delivered it in C type `cType` (`length`: its indicator), in its
// canonical form (see ValueText).
QVariant decode(SQLSMALLINT cType, const char* data, SQLLEN length);

// The dates a column of the server's type can hold, from its type name.
void dateRangeOf(ColumnInfo& column);

// A parameter value as SQLBindParameter takes it.
struct Param {
  SQLSMALLINT cType = SQL_C_WCHAR;
  SQLSMALLINT sqlType = SQL_WVARCHAR;
  SQLULEN columnSize = 1;
  SQLSMALLINT digits = 0;
  SQLLEN indicator = SQL_NULL_DATA;

  // `value` canonical (see ValueText), `type` the parameter's declared type.
  void set(const QVariant& value, FieldType type);
  const char* data() const;
  SQLLEN bufferLength() const;

 private:
  void setNull(FieldType type);
  union {
    SQLBIGINT whole;
    SQLINTEGER whole32;
    double floating;
    unsigned char bit;
    SQL_TIMESTAMP_STRUCT stamp;
  } fixed_{};
  QString text_;
  QByteArray bytes_;
};

// Ends a call that outlives its timeout by more than the grace, by shutting the link's
// socket down.
class Watchdog {
 public:
  ~Watchdog();
  void setSocket(int fd) { socket_ = fd; }
  // Watches the call about to run for `seconds` (0: not at all).
  void arm(int seconds);
  // The call ended; whether the watchdog had to end it.
  bool disarm();
  // Ends the link's running call and every later one at once.
  void shutDown();

 private:
  void loop();
  std::mutex lock_;
  std::condition_variable wake_;
  std::thread thread_;
  bool stop_ = false;
  bool armed_ = false;
  bool fired_ = false;
  std::chrono::steady_clock::time_point deadline_;
  int socket_ = -1;
};

class Link {
 public:
  Link();
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // `target` names the server and database for the operator ("…「host」…「KAROS」").
  void connect(const QString& odbcText, int loginTimeout, const QString& target);
  void disconnect();
  bool alive() const { return connected_ && !dead_; }

  // The Windows code page of the database's narrow text columns; 0 when it holds them
  // in Unicode or does not tell.
  int codePage() const { return codePage_; }
  // The server speaks SQL Server's dialect.
  bool sqlServer() const { return sqlServer_; }
  const ServerRules& rules() const { return rules_; }

  void setTimeout(int seconds) { timeout_ = seconds; }
  void cancel();
  bool cancelled() const { return cancelled_; }

  SQLHSTMT newStatement();
  void freeStatement(SQLHSTMT stmt);

  // Runs one ODBC call on `stmt`; `timed`: under the command timeout. Throws the
  // program's text when it fails. SQL_NO_DATA is no failure.
  template <typename Fn>
  SQLRETURN call(SQLHSTMT stmt, Fn fn, bool timed = false) {
    begin(stmt, timed, true);
    const SQLRETURN r = fn();
    end(stmt, r);
    return r;
  }
  // A fetch: under the command timeout, which was given to the statement already.
  template <typename Fn>
  SQLRETURN callFetch(SQLHSTMT stmt, Fn fn) {
    begin(stmt, true, false);
    const SQLRETURN r = fn();
    end(stmt, r);
    return r;
  }

  // A value of the current row read with SQLGetData; text and binary values in pieces
  // joined before they are decoded. `width`: room for a value of a fixed-size type.
  QVariant readValue(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, SQLLEN width);
  QVariant readText(SQLHSTMT stmt, SQLUSMALLINT column) {
    return readValue(stmt, column, SQL_C_WCHAR, 0);
  }

  [[noreturn]] void fail(SQLSMALLINT handleType, SQLHANDLE handle, bool timedOut = false);

 private:
  struct Handles;
  void begin(SQLHSTMT stmt, bool timed, bool setTimeout);
  int readCodePage();
  void end(SQLHSTMT stmt, SQLRETURN r);

  std::shared_ptr<Handles> handles_;
  std::atomic<int> timeout_{30};
  std::atomic<bool> connected_{false};
  std::atomic<bool> dead_{false};
  std::atomic<bool> cancelled_{false};
  int codePage_ = 0;
  bool sqlServer_ = false;
  ServerRules rules_;
  std::mutex runningLock_;
  SQLHSTMT running_ = nullptr;
  Watchdog watchdog_;
};

// Frees a statement handle of the link when the scope ends.
class StatementGuard {
 public:
  StatementGuard(Link& link, SQLHSTMT stmt) : link_(link), stmt_(stmt) {}
  ~StatementGuard() { link_.freeStatement(stmt_); }
  StatementGuard(const StatementGuard&) = delete;
  StatementGuard& operator=(const StatementGuard&) = delete;

 private:
  Link& link_;
  SQLHSTMT stmt_;
};

}  // namespace db::odbc
