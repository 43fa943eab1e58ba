#include <vector>

#include "Output.h"
#include "jet/ValueText.h"

namespace mdbtool {

namespace {

void appendQuoted(std::string& line, const std::string& text) {
  line += '"';
  std::size_t from = 0;
  for (std::size_t q; (q = text.find('"', from)) != std::string::npos; from = q + 1) {
    line.append(text, from, q + 1 - from);
    line += '"';
  }
  line.append(text, from, std::string::npos);
  line += '"';
}

// Header names are quoted only when they must be, as mdb-export leaves them bare.
void appendName(std::string& line, const std::string& name, char delimiter) {
  if (name.find_first_of(std::string("\"\r\n") + delimiter) == std::string::npos) {
    line += name;
  } else {
    appendQuoted(line, name);
  }
}

bool quoted(jet::Value::Kind kind) {
  switch (kind) {
    case jet::Value::Kind::Text:
    case jet::Value::Kind::DateTime:
    case jet::Value::Kind::Bytes:
    case jet::Value::Kind::Guid:
      return true;
    default:
      return false;
  }
}

}  // namespace

void exportCsv(const jet::Database& db, const std::string& table, const CsvOptions& options,
               std::ostream& out) {
  jet::TableReader reader = db.read(table);
  std::string line;
  if (options.header) {
    const auto& columns = reader.info().columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i) line += options.delimiter;
      appendName(line, columns[i].name, options.delimiter);
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
  std::vector<jet::Value> row;
  std::string text;
  while (reader.next(row)) {
    line.clear();
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) line += options.delimiter;
      const jet::Value& v = row[i];
      if (v.isNull()) continue;
      if (quoted(v.kind())) {
        text.clear();
        jet::ValueText::append(text, v);
        appendQuoted(line, text);
      } else {
        jet::ValueText::append(line, v);
      }
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
}

}  // namespace mdbtool
