#include "XmlText.h"

#include "ValueText.h"

namespace xlsx {

void assignUtf8(QString& out, std::string_view utf8) {
  const qsizetype n = qsizetype(utf8.size());
  for (qsizetype i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(utf8[size_t(i)]) >= 0x80) {
      out = QString::fromUtf8(utf8.data(), n);
      return;
    }
  }
  out.resize(n);
  QChar* data = out.data();
  for (qsizetype i = 0; i < n; ++i) data[i] = QChar(char16_t(utf8[size_t(i)]));
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
  return decodeEscapes(QString::fromUtf8(text_.data(), qsizetype(text_.size())));
}

}  // namespace xlsx
