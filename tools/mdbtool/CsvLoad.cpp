#include "CsvLoad.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "jet/Error.h"

namespace mdbtool {

namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Reads RFC 4180 records: quoted fields may hold separators, quotes (doubled) and line
// breaks; records end with LF or CRLF.
class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in) {}

  struct Field {
    std::string text;
    bool quoted = false;
  };

  // The next record, false at the end; `line` is where the record starts.
  bool next(std::vector<Field>& fields, std::size_t& line) {
    fields.clear();
    int c = in_.get();
    if (c == EOF) return false;
    line = line_;
    Field f;
    bool inQuotes = false;
    while (true) {
      if (c == EOF) {
        if (inQuotes) throw std::runtime_error("unterminated quoted field");
        fields.push_back(std::move(f));
        return true;
      }
      if (inQuotes) {
        if (c == '"') {
          if (in_.peek() == '"') {
            in_.get();
            f.text += '"';
          } else {
            inQuotes = false;
          }
        } else {
          if (c == '\n') ++line_;
          f.text += char(c);
        }
      } else if (c == '"' && f.text.empty() && !f.quoted) {
        inQuotes = f.quoted = true;
      } else if (c == ',') {
        fields.push_back(std::move(f));
        f = Field{};
      } else if (c == '\r' && in_.peek() == '\n') {
        // CRLF: the LF ends the record
      } else if (c == '\n') {
        ++line_;
        fields.push_back(std::move(f));
        return true;
      } else {
        if (f.quoted) throw std::runtime_error("text after a closing quote");
        f.text += char(c);
      }
      c = in_.get();
    }
  }

 private:
  std::istream& in_;
  std::size_t line_ = 1;
};

// Days from 1970-01-01 of a proleptic Gregorian date.
long daysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + long(doe) - 719468;
}

bool digits(const std::string& s, std::size_t at, std::size_t n, int& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

jet::Value parseDate(const std::string& s) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
  const bool dateOk = (s.size() == 10 || s.size() == 19) && digits(s, 0, 4, y) && s[4] == '-' &&
                      digits(s, 5, 2, mo) && s[7] == '-' && digits(s, 8, 2, d);
  const bool timeOk =
      s.size() == 10 || (s[10] == ' ' && digits(s, 11, 2, h) && s[13] == ':' &&
                         digits(s, 14, 2, mi) && s[16] == ':' && digits(s, 17, 2, se));
  if (!dateOk || !timeOk)
    throw std::runtime_error("\"" + s + "\" is not a date (YYYY-MM-DD[ HH:MM:SS])");
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) ||
      h > 23 || mi > 59 || se > 59)
    throw std::runtime_error("\"" + s + "\" is not a valid date");
  const double day = double(daysFromCivil(y, unsigned(mo), unsigned(d)) + 25569);
  const double time = (h * 3600 + mi * 60 + se) / 86400.0;
  // Before 1899-12-30 the time of day still counts forward from midnight.
  return jet::Value::dateTime({day < 0 ? day - time : day + time});
}

jet::Value parseCurrency(const std::string& s) {
  std::size_t i = 0;
  const bool negative = !s.empty() && (s[0] == '-' || s[0] == '+') && s[i++] == '-';
  __int128 units = 0;
  int decimals = -1;
  bool any = false;
  for (; i < s.size(); ++i) {
    if (s[i] == '.' && decimals < 0) {
      decimals = 0;
    } else if (s[i] >= '0' && s[i] <= '9') {
      any = true;
      if (decimals >= 0 && ++decimals > 4)
        throw std::runtime_error("\"" + s + "\" has more than 4 decimals");
      units = units * 10 + (s[i] - '0');
      if (units > __int128(INT64_MAX)) throw std::runtime_error("\"" + s + "\" is out of range");
    } else {
      throw std::runtime_error("\"" + s + "\" is not an amount");
    }
  }
  if (!any) throw std::runtime_error("\"" + s + "\" is not an amount");
  for (int k = decimals < 0 ? 0 : decimals; k < 4; ++k) units *= 10;
  if (units > __int128(INT64_MAX)) throw std::runtime_error("\"" + s + "\" is out of range");
  return jet::Value::currency({std::int64_t(negative ? -units : units)});
}

jet::Value convert(const jet::ColumnInfo& c, const CsvReader::Field& f) {
  const std::string& s = f.text;
  if (s.empty() &&
      !(f.quoted && (c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Memo)))
    return jet::Value();
  switch (c.type) {
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo:
      return jet::Value::text(s);
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long: {
      std::int64_t v = 0;
      const char* b = s.data() + (s[0] == '+' ? 1 : 0);
      auto [p, ec] = std::from_chars(b, s.data() + s.size(), v);
      if (ec == std::errc::result_out_of_range)
        throw std::runtime_error("\"" + s + "\" is out of range");
      if (ec != std::errc() || p != s.data() + s.size())
        throw std::runtime_error("\"" + s + "\" is not a whole number");
      return jet::Value::integer(v);
    }
    case jet::ColumnType::Single:
    case jet::ColumnType::Double: {
      double v = 0;
      const char* b = s.data() + (s[0] == '+' ? 1 : 0);
      auto [p, ec] = std::from_chars(b, s.data() + s.size(), v);
      if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(v))
        throw std::runtime_error("\"" + s + "\" is not a number");
      return jet::Value::real(v);
    }
    case jet::ColumnType::Currency:
      return parseCurrency(s);
    case jet::ColumnType::DateTime:
      return parseDate(s);
    case jet::ColumnType::Boolean: {
      const std::string l = lower(s);
      if (l == "true" || l == "1") return jet::Value::boolean(true);
      if (l == "false" || l == "0") return jet::Value::boolean(false);
      throw std::runtime_error("\"" + s + "\" is not a Boolean (True, False, 1 or 0)");
    }
    case jet::ColumnType::Ole:
    case jet::ColumnType::Binary:
      return jet::Value::bytes(jet::Bytes(s.begin(), s.end()));
    default:
      throw std::runtime_error("column \"" + c.name + "\" has a type mdbtool cannot load");
  }
}

}  // namespace

std::vector<jet::NewColumn> parseColumns(const std::string& spec) {
  std::vector<jet::NewColumn> out;
  std::size_t start = 0;
  while (start <= spec.size()) {
    const std::size_t comma = spec.find(',', start);
    const std::string entry =
        trim(spec.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    start = comma == std::string::npos ? spec.size() + 1 : comma + 1;
    if (entry.empty()) throw std::runtime_error("--columns: empty column entry");
    const std::size_t space = entry.find_last_of(" \t");
    if (space == std::string::npos)
      throw std::runtime_error("--columns: \"" + entry + "\" needs NAME TYPE");
    std::string name = trim(entry.substr(0, space));
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
      name = name.substr(1, name.size() - 2);
    const std::string type = lower(trim(entry.substr(space + 1)));
    jet::NewColumn c;
    c.name = name;
    if (type == "integer") {
      c.type = jet::ColumnType::Long;
    } else if (type == "double") {
      c.type = jet::ColumnType::Double;
    } else if (type == "currency") {
      c.type = jet::ColumnType::Currency;
    } else if (type == "datetime") {
      c.type = jet::ColumnType::DateTime;
    } else if (type == "memo" || type == "longtext") {
      c.type = jet::ColumnType::Memo;
    } else if (type == "logical") {
      c.type = jet::ColumnType::Boolean;
    } else if (type.rfind("char(", 0) == 0 && type.back() == ')') {
      const std::string n = type.substr(5, type.size() - 6);
      int chars = 0;
      auto [p, ec] = std::from_chars(n.data(), n.data() + n.size(), chars);
      if (ec != std::errc() || p != n.data() + n.size() || chars < 1 || chars > 255)
        throw std::runtime_error("--columns: \"" + entry + "\": char(n) takes 1 to 255 characters");
      c.type = jet::ColumnType::Text;
      c.maxChars = chars;
    } else {
      throw std::runtime_error("--columns: \"" + entry +
                               "\": unknown type (integer, double, currency, datetime, char(n), "
                               "memo, LOGICAL, longtext)");
    }
    out.push_back(c);
  }
  return out;
}

std::size_t loadCsv(const std::string& file, const std::string& table, const std::string& csvPath,
                    const std::vector<jet::NewColumn>* columns) {
  std::ifstream in(csvPath, std::ios::binary);
  if (!in) throw std::runtime_error(csvPath + ": cannot open the CSV file");
  CsvReader csv(in);
  std::vector<CsvReader::Field> fields;
  std::size_t line = 0;
  const auto where = [&] { return csvPath + " line " + std::to_string(line) + ": "; };
  std::vector<std::string> header;
  try {
    if (!csv.next(fields, line))
      throw std::runtime_error("the file is empty (a header row is needed)");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(where() + e.what());
  }
  for (auto& f : fields) header.push_back(f.text);
  if (!header.empty() && header[0].rfind("\xEF\xBB\xBF", 0) == 0) header[0] = header[0].substr(3);

  if (!std::filesystem::exists(file)) jet::DatabaseWriter::create(file);
  jet::DatabaseWriter db = jet::DatabaseWriter::open(file);
  if (!db.hasTable(table)) {
    if (!columns)
      throw std::runtime_error("table \"" + table + "\" does not exist; give its --columns");
    db.createTable(table, *columns);
  }
  jet::TableAppender rows = db.appender(table);
  const auto& info = rows.table().columns;
  std::vector<int> target(header.size(), -1);
  for (std::size_t i = 0; i < header.size(); ++i) {
    for (std::size_t k = 0; k < info.size(); ++k) {
      if (lower(info[k].name) == lower(header[i])) target[i] = int(k);
    }
    if (target[i] < 0)
      throw std::runtime_error(csvPath + ": table \"" + table + "\" has no column \"" + header[i] +
                               "\"");
  }
  std::vector<jet::Value> values(info.size());
  std::size_t loaded = 0;
  while (true) {
    try {
      if (!csv.next(fields, line)) break;
      if (fields.size() == 1 && fields[0].text.empty() && !fields[0].quoted)
        continue;  // blank line
      if (fields.size() != header.size()) {
        throw std::runtime_error(std::to_string(fields.size()) + " fields, the header has " +
                                 std::to_string(header.size()));
      }
      std::fill(values.begin(), values.end(), jet::Value());
      for (std::size_t i = 0; i < fields.size(); ++i) {
        try {
          values[std::size_t(target[i])] = convert(info[std::size_t(target[i])], fields[i]);
        } catch (const std::runtime_error& e) {
          throw std::runtime_error("column \"" + header[i] + "\": " + e.what());
        }
      }
      rows.append(values);
    } catch (const jet::Error& e) {
      throw std::runtime_error(where() + e.reason());
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(where() + e.what());
    }
    ++loaded;
  }
  rows.flush();
  return loaded;
}

}  // namespace mdbtool
