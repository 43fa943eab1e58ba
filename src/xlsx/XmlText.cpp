#include "XmlText.h"

#include "ValueText.h"

namespace xlsx {

ShortText::ShortText(std::string_view utf8) {
  if (utf8.size() <= std::size(short_)) {
    size_t i = 0;
    for (; i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80; ++i)
      short_[i] = char16_t(utf8[i]);
    if (i == utf8.size()) {
      length_ = qsizetype(i);
      return;
    }
  }
  long_ = QString::fromUtf8(utf8);
}

void StringItemText::startElement(std::string_view name) {
  const Role parent = roles_.empty() ? Role::Run : roles_.back();
  Role role = Role::Skipped;
  if (parent == Role::Text)
    role = Role::Text;  // whatever a <t> holds within is its text
  else if (parent == Role::Run && name == "t")
    role = Role::Text;
  else if (parent == Role::Run && name == "r")
    role = Role::Run;
  roles_.push_back(role);
}

bool StringItemText::endElement() {
  if (roles_.empty()) return false;
  roles_.pop_back();
  return true;
}

QString StringItemText::text() const {
  QString text = QString::fromUtf8(text_);
  // Looked for in the bytes, where it is quicker found: nearly no text has one.
  if (text_.find("_x") == std::string::npos) return text;
  return decodeEscapes(std::move(text));
}

}  // namespace xlsx
