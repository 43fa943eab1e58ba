// A query whose rows are all held in memory, with declared fields, a cursor, a
// client-side sort, an O(1) locate, and row edits written through to the database
// one row at a time.
//
// Opening runs the statement and checks every declared data field against the
// result's columns (same name without regard to case, same basic kind); columns that
// are not declared are ignored. Without declared fields, one field per result column
// is made. The texts of the open check are "<name>: Field '<label>' not found" and
// "<name>: Type mismatch for field '<label>', expecting: <type> actual: <type>".
//
// Posting writes at once: an UPDATE of the columns assigned while editing (none when
// no value differs from what was read) WHERE the key columns equal their values as
// read, or an INSERT of the assigned columns. An UPDATE that touches
// no row is an error: the row was changed or deleted by someone else meanwhile.
//
// Bound views follow the dataset through the signals below; they read rows by position
// (Field::valueAt, Field::displayTextAt) without moving the cursor. While controls are
// disabled no signal is sent; enabling them again sends one reset.
#pragma once

#include "db/CellStore.h"
#include "db/Field.h"
#include "db/ResultSet.h"
#include "db/ServerRules.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <exception>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

namespace db {

class Connection;
class Statement;
class RowIndex;

class Dataset : public QObject {
  Q_OBJECT

 public:
  enum class State { Inactive, Browse, Edit, Insert };

  explicit Dataset(const QString& name, QObject* parent = nullptr);
  ~Dataset() override;

  QString name() const { return objectName(); }

  Connection* connection() const { return connection_; }
  void setConnection(Connection* connection);
  const QString& sql() const { return sql_; }
  void setSql(const QString& sql) { sql_ = sql; }
  // Columns that identify a row for UPDATE; when empty, the table's primary key as the
  // database reports it.
  void setKeyFields(const QStringList& names) { keyFields_ = names; }
  const QStringList& keyFields() const { return keyFields_; }
  // Kept for callers that set them; every row is held in memory regardless.
  void setCacheSize(int size) { cacheSize_ = size; }
  int cacheSize() const { return cacheSize_; }

  // Declared fields; only while closed.
  Field& addField(const FieldDef& def);
  void clearFields();
  int fieldCount() const { return int(fields_.size()); }
  Field& field(int index) const;
  // Without regard to case; throws "<name>: Field '<name>' not found".
  Field& fieldByName(const QString& name) const;
  Field* findField(const QString& name) const;

  // Runs the statement on the connection (opening the connection when needed).
  void open();
  // Opens on rows already fetched (for example on a worker thread): the same checks
  // as open(), no statement is run.
  void open(ResultSet result);
  // Discards the rows and any pending edit.
  void close();
  bool isOpen() const { return state_ != State::Inactive; }
  bool isEmpty() const { return rowCount() == 0; }
  State state() const { return state_; }

  void first();
  void next();
  void prior();
  void last();
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  int recordCount() const { return rowCount(); }
  // 0-based position of the current row, -1 when there is none.
  int recNo() const { return isEmpty() ? -1 : position_; }
  // The current row's number in its source (a workbook's sheet row); 0 when the source
  // numbers no rows.
  int sourceRow() const;
  void moveTo(int position);

  // Stable sort on one column, ascending, NULL first; the first row becomes current.
  // An empty name restores the order of the statement.
  void setSort(const QString& fieldName);
  const QString& sort() const { return sort_; }

  // Makes current the first row (in the present order) whose field equals `value` as
  // the database compares it: texts by its collation (see ServerRules; exactly on
  // SQLite and PostgreSQL, without a fixed-width column's padding). A value given as
  // text is converted
  // through the field's type first. Returns false and keeps the cursor when none.
  bool locate(const QString& fieldName, const QVariant& value);
  // The `resultField` of the row that locate would find, without moving the cursor;
  // NULL when there is none.
  QVariant lookup(const QString& keyField, const QVariant& value, const QString& resultField) const;

  // A pending edit or append is posted (when modified) or cancelled before moving or
  // starting another one, as a client cursor does.
  void edit();
  void append();
  void post();
  void cancel();
  bool modified() const { return modified_; }

  void disableControls();
  void enableControls();
  bool controlsDisabled() const { return disabled_ > 0; }

  // Prepared statements held for posting: one per distinct column set, the least
  // recently used dropped past kMaxStatements, so that a long import holds a bounded
  // number of statements (and server-side handles) whatever columns its rows change.
  static constexpr int kMaxStatements = 8;
  int preparedStatementCount() const { return int(statements_.size()); }

  // Posts sent together (SQL Server only): queuePost() finishes the edit or append as
  // post() does, in memory, and holds its statement; flushPosts() sends the rows held in
  // one round trip, as one set-based statement per batch that keeps every row's own
  // conditions, inside a transaction committed only when every row was written. A
  // batch that does not write every row is rolled back and its rows are posted again
  // one at a time up to the first that fails, so the outcome is the single posts'.
  // Rows of one batch share their statement's shape and are distinct rows.
  static constexpr int kMaxBatchParams = 2000;  // below SQL Server's 2,100 per request
  static constexpr int kMaxInsertRows = 1000;   // SQL Server's limit of one VALUES list
  static constexpr qsizetype kMaxBatchChars = qsizetype(1) << 20;  // of values in a batch's text
  // Whether the database takes held posts.
  bool batchesPosts() const;
  // Off: a batch's values go as parameters even where they have literals.
  void setLiteralBatches(bool on) { literalBatches_ = on; }
  enum class Queue {
    Queued,   // held; the edit is finished
    Full,     // the row cannot join the rows held: flush them first, then queue again
    Single,   // the row cannot be held: flush, then post() it
    Nothing,  // no value differs from what was read: the edit is finished, nothing to send
  };
  // `maxRows`: the most rows a batch holds.
  Queue queuePost(int maxRows);
  int queuedPosts() const { return int(queue_.size()); }
  struct Flushed {
    int written = 0;  // the first rows held, written
    // Why the row after them failed; the rows after that one were not written.
    std::exception_ptr failure;
    // The link failed while the batch was sent: not known whether any of its rows (from
    // `written` on) was written.
    bool unknown = false;
  };
  // Sends the rows held; never throws for a row's failure (it is returned), and leaves
  // the rows not written out of the dataset's rows, as a failed post() does.
  Flushed flushPosts();

  // Value of a field's column in the row at `position` (ignores the edit buffer).
  QVariant valueAt(int position, const Field& field) const;
  // Value of the current row (the edit buffer while editing).
  QVariant currentValue(const Field& field) const;
  void setCurrentValue(Field& field, const QVariant& canonical);
  void setCurrentValue(Field& field, QVariant&& canonical);
  // Adds `amount` to the field's value on the database as the row is posted
  // ("col = COALESCE(col, 0) + amount"), whatever others wrote there since the row was
  // read; the row being edited shows the value read plus the amount. Edit mode only.
  void addOnPost(Field& field, const QVariant& amount);
  // Whether the field's pending change is such an amount.
  bool addsOnPost(const Field& field) const;
  // Drops the field's pending change: the post leaves its column as it is.
  void revertCurrentCell(const Field& field);
  // The stored value currentValue() gives, read in place; null for a lookup field and
  // when there is no current row.
  const QVariant* currentCell(const Field& field) const;
  // The current row's value as read (before any pending edit), read in place; null for a
  // lookup field, while appending and when there is no current row.
  const QVariant* originalCell(const Field& field) const;
  // The database's description of the column behind `field` while the dataset is open
  // (none for a lookup field).
  const ColumnInfo* columnOf(const Field& field) const;
  // Whether the field's column would hold the same once given `a` or `b`, as the post
  // decides what to write (a fixed-width column's padding is no difference).
  bool storesAlike(const Field& field, const QVariant& a, const QVariant& b) const;
  // The form under which the database compares the field's texts (see
  // ServerRules::keyForm): texts of one form are one key for it.
  QString textForm(const Field& field, const QString& text) const;
  // Exchanges the value being edited or appended in the field with `value`, copying
  // neither (a caller lends the row's values out and gives them back before posting).
  // False, with nothing exchanged, outside editing or for a lookup field.
  bool swapCurrentCell(const Field& field, QVariant& value);

 signals:
  // Everything changed (open, close, sort, enabling controls): re-read all rows.
  void aboutToReset();
  void reset();
  // A posted append adds a row at `position` (always the end).
  void aboutToAppendRow(int position);
  void rowAppended(int position);
  // The row at `position` changed: sent once when an edit is posted (not for every
  // field set while editing; views show the rows as stored).
  void rowChanged(int position);
  void currentChanged(int position);
  void stateChanged();

 private:
  int rowCount() const { return rows_; }
  QString prefixed(const QString& message) const;
  // After an update that matched no row: throws the text for a row deleted since it was
  // read, or a ConflictError naming the first written cell another user changed.
  [[noreturn]] void explainMissedUpdate(const std::vector<int>& shape, int rowId);
  void mapFields(const ResultSet& result, std::vector<int>& columnOfSlot);
  void dropAutoFields();
  void forgetFound();
  void checkBrowseMode();
  void requireBrowsable() const;
  void requireWritable() const;
  void setPosition(int position);
  void storeInOrder(const std::vector<int>& order);
  RowIndex& indexFor(int slot) const;
  int findRow(const Field& field, const QVariant& value) const;
  QVariant keyValue(const Field& field, const QVariant& value) const;
  void resolveKey();
  Statement& statement(const std::vector<int>& shape, const std::function<QString()>& sqlOf,
                       const std::vector<FieldType>& types);
  // How an update checks a written cell against its value as read.
  enum Check { kIsNull = 0, kEquals = 1, kWithin = 2, kNone = 3, kText = 4 };
  // An update's shape, [0, (slot, added)..., -1, (key NULL as read)..., -2, check...],
  // taken apart.
  struct UpdateShape {
    std::vector<int> picked;
    std::vector<bool> add;
    std::vector<bool> keyNull;
    std::vector<Check> checks;
    static UpdateShape of(const std::vector<int>& shape);
  };
  // Fills scratch_ with the edited row's update: the slots written, its shape, its
  // parameters and their types; false when no value differs from what was read.
  bool stageUpdate();
  // The same for the row being appended: shape [1, slot...]; the parameters are left
  // empty when every column is assigned (the buffer is bound as it is).
  void stageInsert();
  QString updateSql(const std::vector<int>& shape) const;
  QString insertSql(const std::vector<int>& shape) const;
  void checkUpdateCount(qint64 rows, const std::vector<int>& shape, int rowId);
  void checkInsertCount(qint64 rows) const;
  // Appends the row (its values moved from `row`) and makes it current.
  void appendRow(std::vector<QVariant>& row);
  void postUpdate();
  void postInsert();
  // The text of a post whose count the database did not report.
  QString unknownCount() const;
  void beginReset();
  void endReset();

  Connection* connection_ = nullptr;
  QString sql_;
  QStringList keyFields_;
  int cacheSize_ = 1;
  std::vector<std::unique_ptr<Field>> fields_;
  bool autoFields_ = false;
  QHash<QString, int> fieldByLowerName_;
  struct Found {
    QString name;
    Field* field = nullptr;
  };
  mutable std::array<Found, 4> found_;
  mutable size_t nextFound_ = 0;

  State state_ = State::Inactive;
  // Rows are stored once, `width_` values each, in their present order: sorting moves
  // the rows themselves, so that walking them reads memory front to back. `rank_` is
  // each row's place in the order of the statement (rows appended later after it).
  int width_ = 0;
  int rows_ = 0;
  CellStore cells_;
  std::vector<int> rank_;
  std::vector<int> sourceRows_;       // by row id, as the result gave them
  std::vector<QString> columnNames_;  // per slot, as the database spells them
  std::vector<FieldType> slotTypes_;
  std::vector<ColumnInfo> slotColumns_;  // the database's description of each slot's column
  // How the database the rows came from compares texts, taken when the dataset opens:
  // asked for every cell a post, a change or a lookup compares.
  ServerRules rules_;
  QString table_;
  std::vector<int> keySlots_;
  bool keyResolved_ = false;

  int position_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  QString sort_;

  // Reused by every post, so that a long run of posts allocates nothing for them.
  struct PostScratch {
    std::vector<int> picked;
    std::vector<int> shape;
    std::vector<QVariant> values;
    std::vector<FieldType> types;
  } scratch_;

  // Posts held for the next batch (see queuePost()): all of one shape and types.
  struct QueuedPost {
    int rowId = 0;
    std::vector<QVariant> values;  // the row's own statement's parameters
    // An update: the slots written with their values as read, and as written.
    std::vector<std::pair<int, QVariant>> before;
    // As written: an update's values in the order of `before`; an append's whole row.
    std::vector<QVariant> after;
    // An append's own shape and types, where the rows held differ in them.
    std::vector<int> shape;
    std::vector<FieldType> types;
  };
  std::vector<int> queueShape_;
  std::vector<FieldType> queueTypes_;
  // Held rows whose values are all written into the batch's text, and about how long
  // that text is.
  bool queueLiteral_ = false;
  qsizetype queueChars_ = 0;
  bool literalBatches_ = true;
  // Whether the key is the table's primary key: 1 yes, 0 no or not told, -1 not asked
  // yet.
  int keyPrimary_ = -1;
  bool keyIsPrimary();
  std::vector<QueuedPost> queue_;
  std::vector<char> queuedRow_;  // by row id: held in queue_
  QString batchSql(int rows) const;
  // Takes the rows held back out of the dataset's rows, last first.
  void unapplyQueued();
  // Posts a held row on its own and applies it as post() does.
  void replay(QueuedPost& post);
  void clearQueue();
  void endPost();

  std::vector<QVariant> buffer_;
  std::vector<bool> changed_;
  // Per slot: the amount addOnPost() adds on the database; invalid for a plain value.
  std::vector<QVariant> added_;
  bool modified_ = false;

  mutable std::map<int, std::unique_ptr<RowIndex>> indexes_;
  // Most recently used first.
  std::list<std::pair<std::vector<int>, std::unique_ptr<Statement>>> statements_;
  int disabled_ = 0;
  bool changedWhileDisabled_ = false;
};

}  // namespace db
