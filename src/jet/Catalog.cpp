#include "Catalog.h"

#include "RowDecoder.h"
#include "RowScanner.h"

namespace jet {

namespace {

// Lower-cases ASCII and the Latin-1 capitals (UTF-8 C3 80..C3 9E, except the
// multiplication sign); other characters compare as they are.
std::string foldCase(const std::string& s) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
      ++i;
    }
  }
  return out;
}

}  // namespace

bool CatalogEntry::isUserTable() const {
  return type == fmt::kObjectTypeTable && parentId == fmt::kCatalogTablesId &&
         (flags & (fmt::kObjectFlagSystem | fmt::kObjectFlagSystem2)) == 0;
}

bool Catalog::sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && foldCase(a) == foldCase(b);
}

Catalog Catalog::read(const PageFile& file) {
  Catalog cat;
  cat.def_ = TableDef::read(file, fmt::kCatalogTdefPage);
  const char* const names[] = {"Id", "ParentId", "Name", "Type", "Flags"};
  int index[5] = {-1, -1, -1, -1, -1};
  std::vector<bool> wanted(cat.def_.columns.size(), false);
  for (std::size_t i = 0; i < cat.def_.columns.size(); ++i) {
    for (int k = 0; k < 5; ++k) {
      if (cat.def_.columns[i].name == names[k] && index[k] < 0) {
        index[k] = static_cast<int>(i);
        wanted[i] = true;
      }
    }
  }
  for (int k = 0; k < 5; ++k) {
    if (index[k] < 0) {
      throw Error::damaged(file.path(), fmt::kCatalogTdefPage,
                           std::string("catalog has no column ") + names[k]);
    }
  }
  // The catalog's columns must have the types read below.
  auto requireType = [&](int k, std::uint8_t type) {
    if (cat.def_.columns[index[k]].type != type) {
      throw Error::damaged(file.path(), fmt::kCatalogTdefPage, "bad catalog definition");
    }
  };
  requireType(0, fmt::kTypeLong);
  requireType(1, fmt::kTypeLong);
  requireType(2, fmt::kTypeText);
  requireType(3, fmt::kTypeInteger);
  requireType(4, fmt::kTypeLong);

  for (std::size_t i = 0; i < cat.def_.columns.size(); ++i) {
    if (cat.def_.columns[i].name == "LvProp" && cat.def_.columns[i].type == fmt::kTypeOle) {
      cat.propertiesColumn_ = static_cast<int>(i);
    }
  }

  RowScanner scanner(file, cat.def_);
  RowDecoder decoder(cat.def_, file);
  std::vector<Value> row;
  ByteView bytes;
  while (scanner.next(bytes)) {
    decoder.decode(bytes, row, &wanted);
    CatalogEntry e;
    if (!row[index[0]].isNull()) e.id = static_cast<std::int32_t>(row[index[0]].asInt());
    if (!row[index[1]].isNull()) e.parentId = static_cast<std::int32_t>(row[index[1]].asInt());
    if (!row[index[2]].isNull()) e.name = row[index[2]].asText();
    if (!row[index[3]].isNull()) e.type = static_cast<std::int16_t>(row[index[3]].asInt());
    if (!row[index[4]].isNull()) e.flags = static_cast<std::uint32_t>(row[index[4]].asInt());
    e.location = scanner.position();
    cat.entries_.push_back(std::move(e));
  }
  return cat;
}

Bytes Catalog::properties(const PageFile& file, const CatalogEntry& entry) const {
  if (propertiesColumn_ < 0) return {};
  PageRef holder;
  const ByteView row =
      DataPage::rowAt(file, entry.location, holder, fmt::kCatalogTdefPage, "bad catalog row");
  std::vector<bool> wanted(def_.columns.size(), false);
  wanted[propertiesColumn_] = true;
  std::vector<Value> values;
  RowDecoder(def_, file).decode(row, values, &wanted);
  const Value& v = values[propertiesColumn_];
  return v.kind() == Value::Kind::Bytes ? v.asBytes() : Bytes{};
}

std::vector<const CatalogEntry*> Catalog::userTables() const {
  std::vector<const CatalogEntry*> out;
  for (const auto& e : entries_) {
    if (e.isUserTable()) out.push_back(&e);
  }
  return out;
}

const CatalogEntry* Catalog::findUserTable(const std::string& name) const {
  const std::string key = foldCase(name);
  for (const auto& e : entries_) {
    if (e.isUserTable() && e.name.size() == name.size() && foldCase(e.name) == key) return &e;
  }
  return nullptr;
}

}  // namespace jet
