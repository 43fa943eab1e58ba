// The lines of an ini file as the private-profile functions see them. Lines are kept
// as their Big5 bytes, so comments, unknown sections and bytes that do not decode are
// written back exactly as they were read.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

class IniDocument {
 public:
  // Accepts CRLF and LF line ends and a missing final line end.
  explicit IniDocument(const QByteArray& bytes);

  // The value of the first `key` in the first `section` (names without regard to
  // case), trimmed of blanks, with one pair of enclosing quotes (" or ') removed.
  std::optional<QString> value(const QString& section, const QString& key) const;

  // Replaces the value in place, or adds the key after the last key of its section,
  // or the section and key at the end.
  void setValue(const QString& section, const QString& key, const QString& value);

  // The keys and values of the first `section`, in file order.
  std::vector<std::pair<QString, QString>> entries(const QString& section) const;
  // Removes the first `section` with every line up to the next section; false when
  // there is none.
  bool eraseSection(const QString& section);

  // Every line followed by CRLF.
  QByteArray toBytes() const;

  // The text that stands after '=' so that reading gives `value` back: line breaks
  // become blanks (a value must never start a new key or section), and a value that
  // reading would change (blanks at either end, enclosing quotes) is put in quotes.
  static QString encodeValue(const QString& value);

 private:
  enum class Kind { Other, Section, Key };
  struct Line {
    QByteArray raw;
    Kind kind = Kind::Other;
    QString name;
    QString value;
  };

  static Line parseLine(QByteArray raw);
  static Line keyLine(const QString& key, const QString& value);
  int findSection(const QString& section) const;
  int findKey(int sectionLine, const QString& key) const;

  std::vector<Line> lines_;
};

}  // namespace platform
