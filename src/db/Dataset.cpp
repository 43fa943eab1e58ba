#include "db/Dataset.h"
#include "db/ServerError.h"

#include "Driver.h"
#include "RowIndex.h"
#include "db/Connection.h"
#include "db/ServerRules.h"
#include "db/ValueText.h"

#include <platform/Error.h>

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <numeric>

namespace db {

namespace {

// Sort order of two values of one column: NULL first; text without regard to case.
int compareValues(const QVariant& a, const QVariant& b) {
  const bool na = isNullValue(a), nb = isNullValue(b);
  if (na || nb) return nb - na;
  if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive);
  if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double) {
    const double x = a.toDouble(), y = b.toDouble();
    return x < y ? -1 : (y < x ? 1 : 0);
  }
  if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime) {
    const QDateTime x = a.toDateTime(), y = b.toDateTime();
    return x < y ? -1 : (y < x ? 1 : 0);
  }
  if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive);
  const qlonglong x = a.toLongLong(), y = b.toLongLong();
  return x < y ? -1 : (y < x ? 1 : 0);
}

// The table an UPDATE or INSERT goes to: only a plain "select ... from T" has one.
QString tableOf(const QString& sql) {
  static const QRegularExpression re(
      QStringLiteral(
          R"(^\s*select\s+.+?\s+from\s+([A-Za-z_][\w.]*|\[[^\]]+\]|"[^"]+")(?:\s+(?:where|order\s+by)\b.*)?\s*;?\s*$)"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  const auto m = re.match(sql);
  return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

Dataset::Dataset(const QString& name, QObject* parent) : QObject(parent) {
  setObjectName(name);
}

Dataset::~Dataset() {
  statements_.clear();
}

QString Dataset::prefixed(const QString& message) const {
  return name().isEmpty() ? message : QStringLiteral("%1: %2").arg(name(), message);
}

void Dataset::setConnection(Connection* connection) {
  if (connection_ == connection) return;
  close();
  if (connection_) disconnect(connection_, nullptr, this, nullptr);
  connection_ = connection;
  if (connection_) {
    connect(connection_, &Connection::aboutToClose, this, &Dataset::close);
    connect(connection_, &QObject::destroyed, this, [this] { connection_ = nullptr; });
  }
}

Field& Dataset::addField(const FieldDef& def) {
  if (isOpen())
    throw platform::Error(
        prefixed(QStringLiteral("Cannot perform this operation on an open dataset")));
  FieldDef d = def;
  if (basicKind(d.type) == BasicKind::Text && d.type != ftMemo && d.size <= 0 && !d.lookup)
    d.size = 20;
  fields_.push_back(std::make_unique<Field>(*this, d, int(fields_.size())));
  fieldByLowerName_.insert(d.name.toLower(), int(fields_.size()) - 1);
  forgetFound();
  return *fields_.back();
}

void Dataset::clearFields() {
  if (isOpen())
    throw platform::Error(
        prefixed(QStringLiteral("Cannot perform this operation on an open dataset")));
  fields_.clear();
  fieldByLowerName_.clear();
  forgetFound();
}

Field& Dataset::field(int index) const {
  if (index < 0 || index >= fieldCount())
    throw platform::Error(prefixed(QStringLiteral("Field index out of range")));
  return *fields_[size_t(index)];
}

Field* Dataset::findField(const QString& name) const {
  // Callers walking rows ask for the same few names again and again (a lookup field
  // asks for its key here and two names of the other dataset for every row); the last
  // few found are answered without folding their case.
  // Mostly the very same strings come back (a field definition's names): those match
  // without comparing characters.
  for (const Found& f : found_)
    if (f.field && name.size() == f.name.size() &&
        (name.constData() == f.name.constData() || name == f.name))
      return f.field;
  const auto it = fieldByLowerName_.constFind(name.toLower());
  if (it == fieldByLowerName_.constEnd()) return nullptr;
  Found& slot = found_[nextFound_];
  nextFound_ = (nextFound_ + 1) % found_.size();
  slot.name = name;
  slot.field = fields_[size_t(*it)].get();
  return slot.field;
}

void Dataset::forgetFound() {
  for (Found& f : found_) f = Found{};
}

Field& Dataset::fieldByName(const QString& name) const {
  Field* f = findField(name);
  if (!f) throw platform::Error(prefixed(QStringLiteral("Field '%1' not found").arg(name)));
  return *f;
}

void Dataset::open() {
  if (isOpen()) return;
  if (!connection_)
    throw platform::Error(prefixed(QStringLiteral("Missing Connection or ConnectionString")));
  connection_->open();
  open(connection_->select(sql_));
}

void Dataset::mapFields(const ResultSet& result, std::vector<int>& columnOfSlot) {
  if (fields_.empty()) {
    // No declaration: one field per column, gone again at close.
    autoFields_ = true;
    for (const ColumnInfo& c : result.columns) {
      FieldDef d;
      d.name = c.name;
      d.type = c.type;
      d.size = c.size;
      d.fixedChar = c.fixedChar;
      fields_.push_back(std::make_unique<Field>(*this, d, int(fields_.size())));
      fieldByLowerName_.insert(d.name.toLower(), int(fields_.size()) - 1);
    }
    forgetFound();
  }
  QHash<QString, int> columnByName;
  for (size_t i = result.columns.size(); i-- > 0;)
    columnByName.insert(result.columns[i].name.toLower(), int(i));
  columnOfSlot.clear();
  columnNames_.clear();
  slotTypes_.clear();
  slotColumns_.clear();
  for (auto& f : fields_) {
    f->slot_ = -1;
    if (f->isLookup()) continue;
    const auto it = columnByName.constFind(f->fieldName().toLower());
    if (it == columnByName.constEnd())
      throw platform::Error(
          prefixed(QStringLiteral("Field '%1' not found").arg(f->displayLabel())));
    const ColumnInfo& c = result.columns[size_t(*it)];
    if (basicKind(c.type) != basicKind(f->dataType()) || basicKind(c.type) == BasicKind::Other)
      throw platform::Error(prefixed(
          QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
              .arg(f->displayLabel(), fieldTypeName(f->dataType()), fieldTypeName(c.type))));
    f->slot_ = int(columnOfSlot.size());
    columnOfSlot.push_back(*it);
    columnNames_.push_back(c.name);
    slotTypes_.push_back(f->dataType());
    slotColumns_.push_back(c);
  }
}

void Dataset::open(ResultSet result) {
  close();
  std::vector<int> columnOf;
  try {
    mapFields(result, columnOf);
  } catch (...) {
    dropAutoFields();
    throw;
  }
  beginReset();
  const size_t w = columnOf.size();
  const size_t c = result.columns.size();
  const size_t n = size_t(result.rowCount());
  // Keep only the declared columns, moving the values within the one vector: row r
  // is written where rows up to r were read from, so nothing unread is overwritten.
  std::vector<QVariant> row(w);
  for (size_t r = 0; r < n; ++r) {
    for (size_t j = 0; j < w; ++j) row[j] = std::move(result.cells[r * c + size_t(columnOf[j])]);
    for (size_t j = 0; j < w; ++j) result.cells[r * w + j] = std::move(row[j]);
  }
  result.cells.resize(n * w);
  cells_ = std::move(result.cells);
  sourceRows_ = std::move(result.sourceRows);
  width_ = int(w);
  rows_ = int(n);
  rank_.resize(n);
  std::iota(rank_.begin(), rank_.end(), 0);
  table_ = tableOf(sql_);
  keyPrimary_ = -1;
  rules_ = connection_ ? connection_->rules() : ServerRules();
  keyResolved_ = false;
  sort_.clear();
  state_ = State::Browse;
  position_ = 0;
  bof_ = true;
  eof_ = n == 0;
  endReset();
  emit stateChanged();
}

void Dataset::dropAutoFields() {
  if (!autoFields_) return;
  fields_.clear();
  fieldByLowerName_.clear();
  forgetFound();
  autoFields_ = false;
}

void Dataset::close() {
  if (state_ == State::Inactive) return;
  beginReset();
  statements_.clear();
  indexes_.clear();
  queue_.clear();
  queuedRow_.clear();
  cells_.clear();
  rows_ = 0;
  std::vector<int>().swap(rank_);
  sourceRows_.clear();
  buffer_.clear();
  changed_.clear();
  added_.clear();
  modified_ = false;
  width_ = 0;
  state_ = State::Inactive;
  eof_ = bof_ = true;
  position_ = 0;
  sort_.clear();
  dropAutoFields();
  endReset();
  emit stateChanged();
}

void Dataset::requireBrowsable() const {
  if (state_ == State::Inactive)
    throw platform::Error(
        prefixed(QStringLiteral("Cannot perform this operation on a closed dataset")));
}

void Dataset::checkBrowseMode() {
  requireBrowsable();
  if (state_ == State::Edit || state_ == State::Insert) {
    if (modified_)
      post();
    else
      cancel();
  }
}

void Dataset::setPosition(int position) {
  position_ = position;
  if (!controlsDisabled()) emit currentChanged(position_);
}

void Dataset::first() {
  checkBrowseMode();
  bof_ = true;
  eof_ = isEmpty();
  setPosition(0);
}

void Dataset::last() {
  checkBrowseMode();
  eof_ = true;
  bof_ = isEmpty();
  setPosition(std::max(0, rowCount() - 1));
}

void Dataset::next() {
  checkBrowseMode();
  if (eof_) return;
  if (position_ + 1 < rowCount()) {
    bof_ = false;
    setPosition(position_ + 1);
    // The values lie in order, but a sorted row's texts lie where they were fetched: a
    // walk forward (an export reads every value of every row) asks for them ahead.
    const size_t w = size_t(width_);
    const size_t ahead = size_t(position_) + 1;
    if (ahead < size_t(rows_)) cells_.prefetchTexts(ahead * w, w);
  } else {
    eof_ = true;
  }
}

void Dataset::prior() {
  checkBrowseMode();
  if (bof_) return;
  if (position_ > 0) {
    eof_ = false;
    setPosition(position_ - 1);
  } else {
    bof_ = true;
  }
}

void Dataset::moveTo(int position) {
  checkBrowseMode();
  if (isEmpty()) return;
  position = std::clamp(position, 0, rowCount() - 1);
  bof_ = eof_ = false;
  setPosition(position);
}

void Dataset::setSort(const QString& fieldName) {
  checkBrowseMode();
  // Ties keep the statement's order.
  std::vector<int> order(rank_.size());
  for (size_t row = 0; row < rank_.size(); ++row) order[size_t(rank_[row])] = int(row);
  if (!fieldName.isEmpty()) {
    Field& f = this->fieldByName(fieldName);
    if (f.isLookup()) {
      std::vector<QVariant> keys(order.size());
      for (size_t row = 0; row < order.size(); ++row) keys[row] = valueAt(int(row), f);
      std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return compareValues(keys[size_t(a)], keys[size_t(b)]) < 0;
      });
    } else {
      const size_t slot = size_t(f.slot_), w = size_t(width_);
      std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return compareValues(cells_[size_t(a) * w + slot], cells_[size_t(b) * w + slot]) < 0;
      });
    }
  }
  beginReset();
  storeInOrder(order);
  sort_ = fieldName;
  position_ = 0;
  bof_ = true;
  eof_ = isEmpty();
  endReset();
  if (!controlsDisabled()) emit currentChanged(0);
}

void Dataset::storeInOrder(const std::vector<int>& order) {
  // Row order[p] moves to row p, following each cycle of the permutation with one row
  // held aside: no second copy of the rows, each value moved once.
  const size_t n = order.size(), w = size_t(width_);
  std::vector<bool> placed(n, false);
  std::vector<QVariant> held(w);
  for (size_t start = 0; start < n; ++start) {
    if (placed[start] || size_t(order[start]) == start) continue;
    const int heldRank = rank_[start];
    for (size_t s = 0; s < w; ++s) held[s].swap(cells_[start * w + s]);
    size_t to = start;
    for (size_t from = size_t(order[to]); from != start; to = from, from = size_t(order[to])) {
      for (size_t s = 0; s < w; ++s) cells_[to * w + s].swap(cells_[from * w + s]);
      rank_[to] = rank_[from];
      placed[to] = true;
    }
    for (size_t s = 0; s < w; ++s) cells_[to * w + s].swap(held[s]);
    rank_[to] = heldRank;
    placed[to] = true;
  }
  indexes_.clear();  // built on row positions, which just changed
}

RowIndex& Dataset::indexFor(int slot) const {
  auto& index = indexes_[slot];
  if (!index) {
    index = std::make_unique<RowIndex>(rules_, slotColumns_[size_t(slot)].fixedChar);
    const size_t w = size_t(width_);
    for (size_t row = 0; row < size_t(rows_); ++row)
      index->add(int(row), cells_[row * w + size_t(slot)]);
  }
  return *index;
}

int Dataset::findRow(const Field& field, const QVariant& value) const {
  // Rows sharing a value are chained; the one earliest in the present order wins.
  int best = -1;
  if (field.isLookup()) {
    for (int p = 0; p < rowCount(); ++p)
      if (!isNullValue(valueAt(p, field)) && valueAt(p, field) == value) return p;
    return -1;
  }
  const RowIndex& index = indexFor(field.slot_);
  for (int row = index.head(value); row != -1; row = index.next(row))
    if (best == -1 || row < best) best = row;
  return best;
}

QVariant Dataset::keyValue(const Field& field, const QVariant& value) const {
  if (value.typeId() == QMetaType::QString && basicKind(field.dataType()) != BasicKind::Text)
    return ValueText::parse(value.toString(), field.dataType());
  QVariant v = ValueText::normalize(value, field.dataType());
  return v;
}

bool Dataset::locate(const QString& fieldName, const QVariant& value) {
  checkBrowseMode();
  const Field& f = this->fieldByName(fieldName);
  const int row = findRow(f, keyValue(f, value));
  if (row < 0) return false;
  bof_ = eof_ = false;
  setPosition(row);
  return true;
}

QVariant Dataset::lookup(const QString& keyField, const QVariant& value,
                         const QString& resultField) const {
  if (!isOpen() || isNullValue(value)) return QVariant();
  const Field* key = findField(keyField);
  const Field* result = findField(resultField);
  if (!key || !result) return QVariant();
  QVariant v;
  try {
    v = keyValue(*key, value);
  } catch (const platform::Error&) {
    return QVariant();
  }
  const int row = findRow(*key, v);
  return row < 0 ? QVariant() : valueAt(row, *result);
}

QVariant Dataset::valueAt(int position, const Field& field) const {
  if (!isOpen() || position < 0 || position >= rowCount()) return QVariant();
  if (field.isLookup()) {
    const FieldDef& d = field.def();
    const Field* key = findField(d.keyFields);
    if (!d.lookupDataset || !key) return QVariant();
    return d.lookupDataset->lookup(d.lookupKeyFields, valueAt(position, *key), d.lookupResultField);
  }
  return cells_[size_t(position) * size_t(width_) + size_t(field.slot_)];
}

QVariant Dataset::currentValue(const Field& field) const {
  if (state_ == State::Edit || state_ == State::Insert) {
    if (field.isLookup()) {
      const FieldDef& d = field.def();
      const Field* key = findField(d.keyFields);
      if (!d.lookupDataset || !key) return QVariant();
      return d.lookupDataset->lookup(d.lookupKeyFields, currentValue(*key), d.lookupResultField);
    }
    return buffer_[size_t(field.slot_)];
  }
  return valueAt(position_, field);
}

void Dataset::setCurrentValue(Field& field, const QVariant& canonical) {
  setCurrentValue(field, QVariant(canonical));
}

void Dataset::setCurrentValue(Field& field, QVariant&& canonical) {
  if (state_ != State::Edit && state_ != State::Insert)
    throw platform::Error(prefixed(QStringLiteral("Dataset not in edit or insert mode")));
  if (field.isLookup()) return;  // derived from other columns; nothing to store
  buffer_[size_t(field.slot_)] = std::move(canonical);
  changed_[size_t(field.slot_)] = true;
  if (!added_.empty()) added_[size_t(field.slot_)] = QVariant();
  modified_ = true;
}

void Dataset::addOnPost(Field& field, const QVariant& amount) {
  if (state_ != State::Edit)
    throw platform::Error(prefixed(QStringLiteral("Dataset not in edit mode")));
  if (field.isLookup() || isNullValue(amount)) return;
  const QVariant* read = originalCell(field);
  const bool whole = basicKind(field.dataType()) == BasicKind::Whole;
  const QVariant now =
      whole ? QVariant(qint64((read && !isNullValue(*read) ? read->toLongLong() : 0) +
                              amount.toLongLong()))
            : QVariant((read && !isNullValue(*read) ? read->toDouble() : 0.0) + amount.toDouble());
  field.setValue(now);
  added_[size_t(field.slot_)] =
      whole ? QVariant(qint64(amount.toLongLong())) : QVariant(amount.toDouble());
}

void Dataset::revertCurrentCell(const Field& field) {
  if (field.isLookup() || (state_ != State::Edit && state_ != State::Insert)) return;
  const size_t s = size_t(field.slot_);
  const QVariant* read = originalCell(field);
  buffer_[s] = read ? *read : QVariant();
  changed_[s] = false;
  added_[s] = QVariant();
}

bool Dataset::addsOnPost(const Field& field) const {
  return !field.isLookup() && size_t(field.slot_) < added_.size() &&
         added_[size_t(field.slot_)].isValid();
}

const QVariant* Dataset::currentCell(const Field& field) const {
  if (field.isLookup()) return nullptr;
  if (state_ == State::Edit || state_ == State::Insert) return &buffer_[size_t(field.slot_)];
  if (!isOpen() || position_ < 0 || position_ >= rowCount()) return nullptr;
  return &cells_[size_t(position_) * size_t(width_) + size_t(field.slot_)];
}

bool Dataset::swapCurrentCell(const Field& field, QVariant& value) {
  if (field.isLookup() || (state_ != State::Edit && state_ != State::Insert)) return false;
  buffer_[size_t(field.slot_)].swap(value);
  return true;
}

const QVariant* Dataset::originalCell(const Field& field) const {
  if (field.isLookup() || state_ == State::Insert) return nullptr;
  if (!isOpen() || position_ < 0 || position_ >= rowCount()) return nullptr;
  return &cells_[size_t(position_) * size_t(width_) + size_t(field.slot_)];
}

int Dataset::sourceRow() const {
  if (isEmpty() || size_t(position_) >= rank_.size()) return 0;
  const size_t id = size_t(rank_[size_t(position_)]);
  return id < sourceRows_.size() ? sourceRows_[id] : 0;
}

const ColumnInfo* Dataset::columnOf(const Field& field) const {
  if (field.isLookup() || field.slot_ < 0 || size_t(field.slot_) >= slotColumns_.size())
    return nullptr;
  return &slotColumns_[size_t(field.slot_)];
}

bool Dataset::storesAlike(const Field& field, const QVariant& a, const QVariant& b) const {
  return storedAlike(a, b, rules_.padded(columnOf(field)));
}

QString Dataset::textForm(const Field& field, const QString& text) const {
  const ColumnInfo* column = columnOf(field);
  return rules_.keyForm(text, column && column->fixedChar);
}

void Dataset::requireWritable() const {
  if (table_.isEmpty())
    throw platform::Error(prefixed(QStringLiteral("Cannot modify a read-only dataset")));
}

void Dataset::edit() {
  requireBrowsable();
  if (state_ == State::Edit || state_ == State::Insert) return;
  if (isEmpty())
    throw platform::Error(
        prefixed(QStringLiteral("Cannot perform this operation on an empty dataset")));
  requireWritable();
  const size_t w = size_t(width_);
  const size_t row = size_t(position_);
  buffer_.resize(w);
  for (size_t s = 0; s < w; ++s) buffer_[s] = cells_[row * w + s];
  changed_.assign(w, false);
  added_.assign(w, QVariant());
  modified_ = false;
  state_ = State::Edit;
  emit stateChanged();
}

void Dataset::append() {
  checkBrowseMode();
  requireWritable();
  buffer_.assign(size_t(width_), QVariant());
  changed_.assign(size_t(width_), false);
  added_.assign(size_t(width_), QVariant());
  modified_ = false;
  state_ = State::Insert;
  emit stateChanged();
}

void Dataset::cancel() {
  if (state_ != State::Edit && state_ != State::Insert) return;
  buffer_.clear();
  changed_.clear();
  added_.clear();
  modified_ = false;
  state_ = State::Browse;
  emit stateChanged();
}

void Dataset::post() {
  if (state_ == State::Edit)
    postUpdate();
  else if (state_ == State::Insert)
    postInsert();
  else
    return;
  endPost();
}

void Dataset::endPost() {
  buffer_.clear();
  changed_.clear();
  added_.clear();
  modified_ = false;
  state_ = State::Browse;
  emit stateChanged();
}

void Dataset::beginReset() {
  if (controlsDisabled())
    changedWhileDisabled_ = true;
  else
    emit aboutToReset();
}

void Dataset::endReset() {
  if (!controlsDisabled()) emit reset();
}

void Dataset::disableControls() {
  ++disabled_;
}

void Dataset::enableControls() {
  if (disabled_ == 0) return;
  if (--disabled_ == 0 && changedWhileDisabled_) {
    changedWhileDisabled_ = false;
    emit aboutToReset();
    emit reset();
    emit currentChanged(position_);
  }
}

}  // namespace db
