// Qt date and time patterns of the forms the regional settings give ("yyyy/MM/dd",
// "HH:mm:ss", "HH:mm:ss.zzz"), taken apart once and then applied without the general
// pattern machinery: the text of every date a grid or an export shows goes through
// here. A pattern with any other element is left to QLocale.
#pragma once

#include "CivilParts.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <vector>

namespace db {

class QtPattern {
 public:
  explicit QtPattern(const QString& pattern) : pattern_(pattern) { compile(); }
  const QString& pattern() const { return pattern_; }

  void appendTo(QString& out, const QDate& date, const QTime& time) const;

  // The same from the parts themselves; false, writing nothing, for a pattern that is
  // QLocale's.
  bool appendParts(QString& out, const CivilParts& p) const;

 private:
  struct Element {
    char kind;  // 'L' literal, else the pattern letter
    int width;
    QString literal;
  };

  static void number(QString& out, int value, int width);

  void compile();

  QString pattern_;
  std::vector<Element> elements_;
  bool simple_ = true;
};

// The compiled form of a pattern; the few patterns in use stay compiled.
const QtPattern& compiled(const QString& pattern);

}  // namespace db
