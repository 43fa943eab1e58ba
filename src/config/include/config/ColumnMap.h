// The column map file of a POS table (Classify.ini, Item.ini, Supplier.ini,
// Customer.ini in the program folder): which Access column holds which POS column, and
// which pair is the key. The export writes it from the POS query's fields; the import
// reads it back. Big5 ini text, read and written through the platform's ini layer:
//
//   [Total]    Col=N
//   [PKey]     Field=<POS key name>      Display=<Access key name>
//   [Field]    Name01=<POS name> ...     (Name%.2d: Name01..Name99, then Name100)
//   [Display]  Label01=<Access name> ... (Label%.2d)
//
// Pairs run from 1 to N. Entries numbered above N are ignored when reading and left in
// the file when writing; nothing is ever erased. Names are kept exactly as read.
#pragma once

#include <QString>
#include <vector>

namespace config {

// One numbered pair: the POS column (Field/Name) and the Access column (Display/Label).
struct ColumnPair {
  QString field;
  QString display;
};

class ColumnMap {
 public:
  ColumnMap() = default;

  // "<program folder><table>.ini".
  static QString pathOf(const QString& table);

  // Reads the file once. A missing file, section or entry is no error: Col reads as 0
  // (also when it is not an integer) and names as empty text.
  static ColumnMap read(const QString& path);
  static ColumnMap readTable(const QString& table) { return read(pathOf(table)); }

  // Writes Col, PKey/Field, PKey/Display, then Name and Label of each pair in order,
  // with one rewrite of the file: the result is what writing the entries one at a time
  // would leave. Entries above the new count stay. Throws platform::Error("Unable to
  // write to <full path>") when the file cannot be written; the old file then stays.
  void write(const QString& path) const;
  void writeTable(const QString& table) const { write(pathOf(table)); }

  // N as the file gives it (0 or less: no pairs).
  int count() const { return count_; }
  const QString& keyField() const { return keyField_; }
  const QString& keyDisplay() const { return keyDisplay_; }

  // The pairs 1.. as far as they matter. A pair without its POS name ends the list
  // read from a file: no table has a column of empty name, so an import stops at that
  // pair with the error of the missing column and never reaches the pairs after it.
  // This keeps a Col of two thousand million from making as many empty pairs.
  const std::vector<ColumnPair>& pairs() const { return pairs_; }

  // Building a map to write (the export): count() follows the pairs added.
  void setKey(const QString& field, const QString& display);
  void addPair(const QString& field, const QString& display);

  // Whether the pair's POS name is the key's: exact and case-sensitive.
  bool isKeyPair(const ColumnPair& pair) const { return pair.field == keyField_; }

  // The entry keys of pair `number` (1-based): "Name%.2d" and "Label%.2d".
  static QString nameKey(int number);
  static QString labelKey(int number);

 private:
  int count_ = 0;
  QString keyField_;
  QString keyDisplay_;
  std::vector<ColumnPair> pairs_;
};

}  // namespace config
