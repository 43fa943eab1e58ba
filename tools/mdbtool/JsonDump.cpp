#include <algorithm>
#include <cstdio>
#include <vector>

#include "Output.h"
#include "jet/ValueText.h"

namespace mdbtool {

namespace {

void appendString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

const char* jsonTypeName(jet::ColumnType t) {
  switch (t) {
    case jet::ColumnType::Boolean:
      return "boolean";
    case jet::ColumnType::Byte:
      return "byte";
    case jet::ColumnType::Integer:
      return "integer";
    case jet::ColumnType::Long:
      return "long";
    case jet::ColumnType::Currency:
      return "currency";
    case jet::ColumnType::Single:
      return "float";
    case jet::ColumnType::Double:
      return "double";
    case jet::ColumnType::DateTime:
      return "datetime";
    case jet::ColumnType::Binary:
      return "binary";
    case jet::ColumnType::Text:
      return "text";
    case jet::ColumnType::Ole:
      return "ole";
    case jet::ColumnType::Memo:
      return "memo";
    case jet::ColumnType::Guid:
      return "repid";
    case jet::ColumnType::Decimal:
      return "numeric";
    case jet::ColumnType::Complex:
      return "complex";
  }
  return "unknown";
}

// A JSON number, or a string for values JSON cannot hold.
void appendNumber(std::string& out, double d) {
  const std::string s = jet::ValueText::formatDouble(d);
  if (s.find_first_not_of("0123456789.e+-") != std::string::npos) {
    appendString(out, s);
  } else {
    out += s;
  }
}

void appendValue(std::string& out, const jet::Value& v) {
  using K = jet::Value::Kind;
  switch (v.kind()) {
    case K::Null:
      out += "null";
      return;
    case K::Bool:
      out += v.asBool() ? "true" : "false";
      return;
    case K::Int:
      jet::ValueText::append(out, v);
      return;
    case K::Float:
      appendNumber(out, static_cast<double>(v.asSingle()));
      return;
    case K::Double:
      appendNumber(out, v.asDouble());
      return;
    case K::DateTime: {
      jet::CivilTime t;
      if (!jet::ValueText::toCivil(v.asDateTime(), true, t)) {
        appendString(out, jet::ValueText::formatDouble(v.asDateTime().days));
        return;
      }
      char buf[48];
      int n =
          std::snprintf(buf, sizeof buf, "%04lld-%02d-%02dT%02d:%02d:%02d",
                        static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
      if (t.millisecond) std::snprintf(buf + n, sizeof buf - n, ".%03d", t.millisecond);
      appendString(out, buf);
      return;
    }
    default:
      appendString(out, jet::ValueText::toText(v));
      return;
  }
}

void appendTable(std::string& out, const jet::Database& db, const std::string& name,
                 std::ostream& stream) {
  jet::TableReader reader = db.read(name);
  out += " {\"name\":";
  appendString(out, name);
  out += ",\"columns\":[";
  const auto& columns = reader.info().columns;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const jet::ColumnInfo& c = columns[i];
    if (i) out += ',';
    out += "{\"name\":";
    appendString(out, c.name);
    out += ",\"type\":\"";
    out += jsonTypeName(c.type);
    out += "\",\"size\":" + std::to_string(c.size);
    if (c.type == jet::ColumnType::Decimal) {
      out +=
          ",\"precision\":" + std::to_string(c.precision) + ",\"scale\":" + std::to_string(c.scale);
    }
    out += '}';
  }
  out += "],\"rows\":[";
  std::vector<jet::Value> row;
  bool any = false;
  while (reader.next(row)) {
    out += any ? ",\n  [" : "\n  [";
    any = true;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) out += ',';
      appendValue(out, row[i]);
    }
    out += ']';
    if (out.size() > (1 << 20)) {
      stream.write(out.data(), static_cast<std::streamsize>(out.size()));
      out.clear();
    }
  }
  out += any ? "\n ]}" : "]}";
}

}  // namespace

void dumpJson(const jet::Database& db, const std::string* onlyTable, std::ostream& stream) {
  std::vector<std::string> names;
  if (onlyTable) {
    names.push_back(db.table(*onlyTable).name);
  } else {
    names = db.tableNames();
    std::sort(names.begin(), names.end());
  }
  std::string out;
  if (names.empty()) {
    out = "{\"tables\":[]}\n";
  } else {
    out = "{\"tables\":[\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i) out += ",\n";
      appendTable(out, db, names[i], stream);
    }
    out += "\n]}\n";
  }
  stream.write(out.data(), static_cast<std::streamsize>(out.size()));
}

}  // namespace mdbtool
