// Texts out of the parts as expat hands them out: a string item's text with its rich
// text runs joined, and UTF-8 into a QString whose storage serves again.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace xlsx {

// UTF-8 into `out`, reusing its storage when the text is ASCII, as nearly every value's
// is (numbers, shared text indexes, types, styles and references).
void assignUtf8(QString& out, std::string_view utf8);

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
