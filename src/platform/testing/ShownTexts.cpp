#include "ShownTexts.h"

#include <platform/ErrorText.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <atomic>

namespace platform::testing {
namespace {

std::atomic<int> paused{0};

// Terms an operator of these shops knows, and the program's own fixed names.
const QSet<QString>& knownTerms() {
  static const QSet<QString> terms = [] {
    QSet<QString> t;
    for (const char* w :
         {"SQL",      "POS",         "Excel",     "Access",      "CSV",     "ODBC",      "TDS",
          "NOCOUNT",  "SQLite",      "Server",    "LibreOffice", "Windows", "Microsoft", "Office",
          "OK",       "VIP",         "ID",        "Big5",        "UTF",     "BOM",       "NULL",
          "TRUE",     "FALSE",       "Enter",     "Tab",         "Esc",     "dataconv",  "batch",
          "mdbtool",  "mdb",         "xlsx",      "ini",         "csv",     "sqlite",    "export",
          "import",   "undo",        "journals",  "journal",     "Config",  "MSSQL",     "Provider",
          "SQLOLEDB", "FileType",    "EditsOnly", "Preview",     "Host",    "Database",  "User",
          "Password", "Export",      "Import",    "Item",        "Update",  "Classify",  "Supplier",
          "Customer", "Total",       "PKey",      "Field",       "Display", "Name",      "Label",
          "Col",      "Information", "FreeTDS",   "PostgreSQL",  "Xvfb",    "help"})
      t.insert(QString::fromLatin1(w));
    return t;
  }();
  return terms;
}

}  // namespace

QByteArray shownTextsLog() {
  // Set and empty: record nothing.
  if (qEnvironmentVariableIsSet("DATACONV_SHOWN_TEXTS")) return qgetenv("DATACONV_SHOWN_TEXTS");
  return QByteArrayLiteral(DATACONV_SHOWN_TEXTS_LOG);
}

namespace {

void appendLine(const QByteArray& line) {
  if (paused.load() > 0) return;
  const QByteArray path = shownTextsLog();
  if (path.isEmpty()) return;
  // One write of a whole line with O_APPEND: suites running side by side do not
  // interleave their lines.
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
  (void)written;
  ::close(fd);
}

}  // namespace

void recordShownText(const QString& source, const QString& text, const QString& details) {
  if (text.isEmpty() && details.isEmpty()) return;
  QJsonObject o;
  o.insert(QStringLiteral("source"), source);
  o.insert(QStringLiteral("text"), text);
  if (!details.isEmpty()) o.insert(QStringLiteral("details"), details);
  // Which test showed it, for whoever reads a failure of the check.
  if (const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info())
    o.insert(QStringLiteral("test"), QString::fromUtf8(test->test_suite_name()) + QLatin1Char('.') +
                                         QString::fromUtf8(test->name()));
  appendLine(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
}

void recordConsoleOutput(const QString& source, const QString& output) {
  QString text;
  QString details;
  const QStringList lines = output.split(QLatin1Char('\n'));
  for (const QString& line : lines) {
    QString plain = line;
    // A line rewritten in place: what it shows last.
    if (const qsizetype cr = plain.lastIndexOf(QLatin1Char('\r')); cr >= 0)
      plain = plain.mid(cr + 1);
    plain.remove(QStringLiteral("\x1b[K"));
    if (plain.startsWith(QStringLiteral("    ")) && !text.isEmpty()) {
      details += plain.trimmed() + QLatin1Char('\n');
      continue;
    }
    if (!text.isEmpty() || !details.isEmpty()) recordShownText(source, text, details.trimmed());
    text = plain;
    details.clear();
  }
  if (!text.isEmpty() || !details.isEmpty()) recordShownText(source, text, details.trimmed());
}

NotShownToOperators::NotShownToOperators() {
  ++paused;
}
NotShownToOperators::~NotShownToOperators() {
  --paused;
}

QStringList foreignWords(const QString& text, const QString& details, const QStringList& names) {
  QString rest = text;
  if (!platform::hasChinese(text)) rest += QLatin1Char('\n') + details;
  // Texts the program must show word for word, as the operators' other tools show them:
  // the data layer's open check and a provider's own text for a missing table.
  static const QRegularExpression wordForWord(QStringLiteral(
      R"(\b\w+: (Field '[^']*' not found|Type mismatch for field '[^']*', expecting: \w+ )"
      R"(actual: \w+)|\bno such table: \w+)"));
  rest.replace(wordForWord, QStringLiteral(" "));
  // Quoted values and names, the way the program quotes them.
  static const QRegularExpression quoted(QStringLiteral(R"(「[^」]*」|'[^'\n]*'|"[^"\n]*")"));
  rest.replace(quoted, QStringLiteral(" "));
  // Paths, file names, options, settings, values with digits, bracketed sections.
  static const QRegularExpression token(
      QStringLiteral(R"([^\s\p{Han}\x{3000}-\x{303F}\x{FF00}-\x{FFEF}]+)"));
  static const QRegularExpression fileName(
      QStringLiteral(R"((^|[/\\])[^/\\]*\.(mdb|xlsx|xls|ini|csv|sqlite|db|json|log|txt|qm|sh)\b)"),
      QRegularExpression::CaseInsensitiveOption);
  QString kept;
  for (auto it = token.globalMatch(rest); it.hasNext();) {
    const QString t = it.next().captured();
    const bool path = t.contains(QLatin1Char('/')) || t.contains(QLatin1Char('\\')) ||
                      fileName.match(t).hasMatch();
    const bool option = t.startsWith(QLatin1Char('-')) || t.startsWith(QStringLiteral("[-"));
    bool digits = false;
    for (const QChar c : t) digits = digits || c.isDigit();
    const bool setting = t.contains(QLatin1Char('='));
    if (path || option || digits || setting) continue;
    kept += t + QLatin1Char(' ');
  }
  QStringList foreign;
  static const QRegularExpression word(QStringLiteral("[A-Za-z]+"));
  for (auto it = word.globalMatch(kept); it.hasNext();) {
    const QString w = it.next().captured();
    // Column letters of a sheet ("P 欄") and keyboard shortcuts.
    if (w.size() <= 2 && w == w.toUpper()) continue;
    if (knownTerms().contains(w) || names.contains(w)) continue;
    if (!foreign.contains(w)) foreign << w;
  }
  return foreign;
}

}  // namespace platform::testing
