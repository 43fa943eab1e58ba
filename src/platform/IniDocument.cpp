#include "IniDocument.h"

#include "platform/CodePage.h"

namespace platform {
namespace {

// Only ASCII blanks are trimmed: the ideographic space (Big5 0xA140) is data.
bool isBlank(QChar c) {
  const char16_t u = c.unicode();
  return u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == '\v' || u == '\f' || u == 0x1A;
}

QString trimBlanks(const QString& s) {
  qsizetype begin = 0;
  qsizetype end = s.size();
  while (begin < end && isBlank(s[begin])) ++begin;
  while (end > begin && isBlank(s[end - 1])) --end;
  return s.mid(begin, end - begin);
}

bool isQuoted(const QString& s) {
  return s.size() >= 2 && (s.front() == QLatin1Char('"') || s.front() == QLatin1Char('\'')) &&
         s.back() == s.front();
}

bool sameName(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

QString withoutLineBreaks(QString s) {
  s.replace(QLatin1String("\r\n"), QLatin1String(" "));
  s.replace(QLatin1Char('\r'), QLatin1Char(' '));
  s.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return s;
}

}  // namespace

IniDocument::IniDocument(const QByteArray& bytes) {
  qsizetype start = 0;
  while (start < bytes.size()) {
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0) end = bytes.size();
    QByteArray raw = bytes.mid(start, end - start);
    if (raw.endsWith('\r')) raw.chop(1);
    lines_.push_back(parseLine(std::move(raw)));
    start = end + 1;
  }
}

IniDocument::Line IniDocument::parseLine(QByteArray raw) {
  Line line;
  // Decoded before parsing: ']' and '[' occur as second bytes of Big5 characters.
  const QString text = trimBlanks(fromBig5(raw));
  line.raw = std::move(raw);
  if (text.startsWith(QLatin1Char('['))) {
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close > 0) {
      line.kind = Kind::Section;
      line.name = trimBlanks(text.mid(1, close - 1));
    }
    return line;
  }
  if (text.startsWith(QLatin1Char(';'))) return line;
  const qsizetype eq = text.indexOf(QLatin1Char('='));
  if (eq < 0) return line;
  line.kind = Kind::Key;
  line.name = trimBlanks(text.left(eq));
  line.value = trimBlanks(text.mid(eq + 1));
  if (isQuoted(line.value)) line.value = line.value.mid(1, line.value.size() - 2);
  return line;
}

IniDocument::Line IniDocument::keyLine(const QString& key, const QString& value) {
  return parseLine(toBig5(key) + '=' + toBig5(encodeValue(value)));
}

int IniDocument::findSection(const QString& section) const {
  const QString name = trimBlanks(section);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Kind::Section && sameName(lines_[i].name, name)) return int(i);
  return -1;
}

int IniDocument::findKey(int sectionLine, const QString& key) const {
  const QString name = trimBlanks(key);
  for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Section) break;
    if (lines_[i].kind == Kind::Key && sameName(lines_[i].name, name)) return int(i);
  }
  return -1;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const {
  const int s = findSection(section);
  if (s < 0) return std::nullopt;
  const int k = findKey(s, key);
  if (k < 0) return std::nullopt;
  return lines_[k].value;
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value) {
  const QString sectionName = trimBlanks(withoutLineBreaks(section));
  const QString keyName = trimBlanks(withoutLineBreaks(key));
  const int s = findSection(sectionName);
  if (s < 0) {
    lines_.push_back(parseLine('[' + toBig5(sectionName) + ']'));
    lines_.push_back(keyLine(keyName, value));
    return;
  }
  const int k = findKey(s, keyName);
  if (k >= 0) {
    // The key keeps the spelling the file gave it.
    lines_[k] = keyLine(lines_[k].name, value);
    return;
  }
  // After the last key, so that comments and blank lines before the next section
  // stay with that section.
  size_t insertAt = s + 1;
  for (size_t i = s + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i)
    if (lines_[i].kind == Kind::Key) insertAt = i + 1;
  lines_.insert(lines_.begin() + insertAt, keyLine(keyName, value));
}

std::vector<std::pair<QString, QString>> IniDocument::entries(const QString& section) const {
  std::vector<std::pair<QString, QString>> result;
  const int s = findSection(section);
  if (s < 0) return result;
  for (size_t i = s + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i)
    if (lines_[i].kind == Kind::Key) result.emplace_back(lines_[i].name, lines_[i].value);
  return result;
}

bool IniDocument::eraseSection(const QString& section) {
  const int s = findSection(section);
  if (s < 0) return false;
  size_t end = s + 1;
  while (end < lines_.size() && lines_[end].kind != Kind::Section) ++end;
  lines_.erase(lines_.begin() + s, lines_.begin() + end);
  return true;
}

QByteArray IniDocument::toBytes() const {
  QByteArray out;
  for (const Line& line : lines_) {
    out += line.raw;
    out += "\r\n";
  }
  return out;
}

QString IniDocument::encodeValue(const QString& value) {
  const QString v = withoutLineBreaks(value);
  if (v.isEmpty()) return v;
  if (isBlank(v.front()) || isBlank(v.back()) || isQuoted(v))
    return QLatin1Char('"') + v + QLatin1Char('"');
  return v;
}

}  // namespace platform
