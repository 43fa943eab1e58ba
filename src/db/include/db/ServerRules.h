// How one database engine compares texts and reports what a statement did: the one
// place that the post's checks, the lookup of a row by its key, the detection of a
// change and undo ask.
//
// SQL Server compares texts by its collation: a shop's POS database is case- and
// width-insensitive (Chinese_Taiwan_Stroke_CI_AS), and "=" ignores trailing blanks
// whatever the collation. So "col = ?" also holds for a value another user changed
// in case, width or trailing blanks only, and two keys the program would tell apart
// are one row for the server. PostgreSQL and SQLite compare texts exactly (a fixed-width
// column of PostgreSQL without its padding).
#pragma once

#include "db/FieldType.h"

#include <QString>
#include <QVariant>

namespace db {

struct ColumnInfo;

class ServerRules {
 public:
  enum class Engine { Other, Sqlite, SqlServer };

  // Exact comparison, counts reported: what PostgreSQL and SQLite do.
  ServerRules() = default;
  static ServerRules sqlite();
  // `collation`: the database's collation name as SQL Server spells it
  // ("Chinese_Taiwan_Stroke_CI_AS"); empty: a case- and width-insensitive one.
  static ServerRules sqlServer(const QString& collation);

  Engine engine() const { return engine_; }
  bool caseInsensitive() const { return caseInsensitive_; }
  bool widthInsensitive() const { return widthInsensitive_; }
  // "=" ignores trailing blanks of texts of any width.
  bool trailingBlanksIgnored() const { return trailingBlanksIgnored_; }

  // The condition that `column` (quoted) holds exactly the text bound to one '?' that
  // follows: case, width and trailing blanks as read. Only ever added beside a
  // condition on the row's key, so that the server still finds the row by its key.
  QString exactTextCheck(const QString& quotedColumn, bool fixedChar) const;

  // The form of a key text under which the server finds the same row: two texts with
  // the same form are one key for it.
  QString keyForm(const QString& text, bool fixedChar) const;
  bool keyFormChanges() const { return caseInsensitive_ || widthInsensitive_; }

  // A fixed-width text column pads what it is given with blanks (SQLite keeps texts as
  // given whatever the declared type).
  bool padsFixedWidth() const { return engine_ != Engine::Sqlite; }
  bool padded(const ColumnInfo* column) const;

  // The count a statement reported, as the program may rely on it: a negative one
  // (SQL Server with NOCOUNT on reports none) is not known.
  static bool countKnown(qint64 rows) { return rows >= 0; }

 private:
  Engine engine_ = Engine::Other;
  bool caseInsensitive_ = false;
  bool widthInsensitive_ = false;
  bool trailingBlanksIgnored_ = false;
};

// Whether a column would hold the same once given `a` or `b`: the same kind and value;
// in a column that pads texts (`padded`, see ServerRules::padded) texts differing only
// in trailing blanks are stored alike.
bool storedAlike(const QVariant& a, const QVariant& b, bool padded = false);

// A text without its trailing blanks.
QString withoutTrailingBlanks(const QString& text);

}  // namespace db
