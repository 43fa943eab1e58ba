#include "LocalePattern.h"

#include <vector>

namespace platform::LocalePattern {
namespace {

struct Token {
  bool field = false;
  bool quoted = false;
  QString text;
};

bool isFieldLetter(QChar c) {
  static const QString letters = QStringLiteral("dMyhHmszapAPtBb");
  return letters.contains(c);
}

// Splits a Qt date/time pattern into fields (runs of one field letter, or an AM/PM
// marker "AP", "ap", "A", "a") and literal text (quoted text kept with its quotes).
std::vector<Token> tokenize(const QString& p) {
  std::vector<Token> tokens;
  auto literal = [&](const QString& text, bool quoted) {
    if (!quoted && !tokens.empty() && !tokens.back().field && !tokens.back().quoted)
      tokens.back().text += text;
    else
      tokens.push_back({false, quoted, text});
  };
  qsizetype i = 0;
  while (i < p.size()) {
    const QChar c = p[i];
    if (c == QLatin1Char('\'')) {
      qsizetype end = i + 1;
      while (end < p.size()) {
        if (p[end] == QLatin1Char('\'') && end + 1 < p.size() && p[end + 1] == QLatin1Char('\''))
          end += 2;
        else if (p[end] == QLatin1Char('\''))
          break;
        else
          ++end;
      }
      end = qMin(end + 1, p.size());
      literal(p.mid(i, end - i), true);
      i = end;
    } else if (c == QLatin1Char('a') || c == QLatin1Char('A')) {
      const bool ap =
          i + 1 < p.size() && (p[i + 1] == QLatin1Char('p') || p[i + 1] == QLatin1Char('P'));
      tokens.push_back({true, false, p.mid(i, ap ? 2 : 1)});
      i += ap ? 2 : 1;
    } else if (isFieldLetter(c) && c != QLatin1Char('p') && c != QLatin1Char('P')) {
      qsizetype end = i;
      while (end < p.size() && p[end] == c) ++end;
      tokens.push_back({true, false, p.mid(i, end - i)});
      i = end;
    } else {
      literal(QString(c), false);
      ++i;
    }
  }
  return tokens;
}

QString join(const std::vector<Token>& tokens) {
  QString out;
  for (const Token& t : tokens) out += t.text;
  return out;
}

bool isFieldOf(const Token& t, char letter) {
  return t.field && t.text[0] == QLatin1Char(letter);
}

bool hasField(const std::vector<Token>& tokens, char letter) {
  for (const Token& t : tokens)
    if (isFieldOf(t, letter)) return true;
  return false;
}

bool isFrameOpen(QChar c) {
  return c == QLatin1Char('[') || c == QLatin1Char('(');
}
bool isFrameClose(QChar c) {
  return c == QLatin1Char(']') || c == QLatin1Char(')');
}

void dropTimeZones(std::vector<Token>& tokens) {
  for (size_t i = 0; i < tokens.size();) {
    if (!isFieldOf(tokens[i], 't')) {
      ++i;
      continue;
    }
    bool fieldAfter = false;
    for (size_t j = i + 1; j < tokens.size(); ++j) fieldAfter = fieldAfter || tokens[j].field;
    // Blanks go on the side that would otherwise be left dangling.
    if (i > 0 && !tokens[i - 1].field && !tokens[i - 1].quoted) {
      QString& s = tokens[i - 1].text;
      while (!s.isEmpty() && (isFrameOpen(s.back()) || (!fieldAfter && s.back().isSpace())))
        s.chop(1);
    }
    if (i + 1 < tokens.size() && !tokens[i + 1].field && !tokens[i + 1].quoted) {
      QString& s = tokens[i + 1].text;
      while (!s.isEmpty() && (isFrameClose(s.front()) || (fieldAfter && s.front().isSpace())))
        s.remove(0, 1);
    }
    tokens.erase(tokens.begin() + i);
  }
}

}  // namespace

QString widenYear(const QString& datePattern) {
  std::vector<Token> tokens = tokenize(datePattern);
  for (Token& t : tokens)
    if (isFieldOf(t, 'y')) t.text = QStringLiteral("yyyy");
  return join(tokens);
}

QString fullTime(const QString& timePattern, QChar timeSeparator) {
  std::vector<Token> tokens = tokenize(timePattern);
  dropTimeZones(tokens);
  for (Token& t : tokens)
    if (isFieldOf(t, 'B') || isFieldOf(t, 'b')) t.text = QStringLiteral("AP");
  if (!(hasField(tokens, 'h') || hasField(tokens, 'H')) || !hasField(tokens, 'm')) return QString();
  if (!hasField(tokens, 's')) {
    size_t lastMinute = 0;
    for (size_t i = 0; i < tokens.size(); ++i)
      if (isFieldOf(tokens[i], 'm')) lastMinute = i;
    tokens.insert(tokens.begin() + lastMinute + 1,
                  {Token{false, false, QString(timeSeparator)}, Token{true, false, "ss"}});
  }
  return join(tokens).trimmed();
}

QChar firstSeparator(const QString& pattern, QChar def) {
  for (const Token& t : tokenize(pattern)) {
    if (t.field || t.quoted) continue;
    for (QChar c : t.text)
      if (!c.isLetter() && !c.isSpace() && c.category() != QChar::Other_Format) return c;
  }
  return def;
}

}  // namespace platform::LocalePattern
