// Texts out of the parts as the parser hands them out: a string item's text with its
// rich text runs joined, and short values seen as UTF-16 without a QString of their own.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace xlsx {

// A value as written, in UTF-8, seen as UTF-16: widened on the stack when it is short
// and ASCII, as nearly every value is (numbers, shared text indexes, types, styles and
// references), so that reading a cell allocates nothing for them.
class ShortText {
 public:
  explicit ShortText(std::string_view utf8);
  QStringView view() const { return long_.isNull() ? QStringView(short_, length_) : long_; }

 private:
  char16_t short_[64];
  qsizetype length_ = 0;
  QString long_;
};

// The text of a string item (<si> of the shared strings, <is> of a cell), fed with what
// the parser hands out within the item: its <t> texts, and those of its rich text runs
// joined, leaving out phonetic guides and run properties.
class StringItemText {
 public:
  void begin() {
    roles_.clear();
    text_.clear();
  }
  // An element opened within the item.
  void startElement(std::string_view name);
  // An element closed within the item; false when it was the item's own end.
  bool endElement();
  void characters(std::string_view text) {
    if (!roles_.empty() && roles_.back() == Role::Text) text_.append(text);
  }
  size_t bytes() const { return text_.size(); }
  // The text, its _xHHHH_ escapes decoded.
  QString text() const;

 private:
  enum class Role : char { Run, Text, Skipped };
  std::vector<Role> roles_;
  std::string text_;
};

}  // namespace xlsx
