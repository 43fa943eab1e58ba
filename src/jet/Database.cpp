#include "jet/Database.h"

#include "DatabaseImpl.h"
#include "Properties.h"
#include "RowDecoder.h"
#include "RowScanner.h"

namespace jet {

Database::Database(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

Database Database::open(const std::string& path, Mode mode) {
  auto impl = std::make_shared<Impl>(path, mode);
  impl->header = Header::read(impl->file);
  impl->catalog = Catalog::read(impl->file);
  return Database(std::move(impl));
}

const std::string& Database::path() const {
  return impl_->file.path();
}
Mode Database::mode() const {
  return impl_->file.mode();
}

std::vector<std::string> Database::tableNames() const {
  std::vector<std::string> names;
  for (const CatalogEntry* e : impl_->catalog.userTables()) names.push_back(e->name);
  return names;
}

std::vector<std::string> Database::userObjectNames() const {
  // Object types: 1 table, 4 and 6 linked tables, 5 query; Access keeps its forms,
  // reports, macros and modules as negative types. The containers and everything
  // Access makes for itself carry a system flag, or a name starting "~" or "MSys".
  std::vector<std::string> names;
  for (const CatalogEntry& e : impl_->catalog.entries()) {
    const bool made = e.isUserTable() || e.type == 4 || e.type == 5 || e.type == 6 ||
                      e.type == -32768 || e.type == -32764 || e.type == -32766 || e.type == -32761;
    if (!made || (e.flags & (fmt::kObjectFlagSystem | fmt::kObjectFlagSystem2)) != 0) continue;
    if (e.name.empty() || e.name[0] == '~' || e.name.rfind("MSys", 0) == 0) continue;
    names.push_back(e.name);
  }
  return names;
}

bool Database::hasTable(const std::string& name) const {
  return impl_->catalog.findUserTable(name) != nullptr;
}

namespace {

const CatalogEntry& findTable(const Database::Impl& impl, const std::string& name) {
  const CatalogEntry* e = impl.catalog.findUserTable(name);
  if (!e) throw Error(impl.file.path(), "no table named \"" + name + "\"");
  return *e;
}

}  // namespace

TableDef Database::Impl::tableDef(const CatalogEntry& entry) const {
  if (entry.id <= 0 || static_cast<std::uint32_t>(entry.id) >= file.pageCount()) {
    throw Error::damaged(file.path(), entry.location.page,
                         "table \"" + entry.name + "\" points beyond the end of the file");
  }
  TableDef def = TableDef::read(file, static_cast<std::uint32_t>(entry.id));
  for (const ColumnDef& c : def.columns) {
    if (!RowDecoder::isKnownType(c.type)) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", c.type);
      throw Error(file.path(), "table \"" + entry.name + "\", column \"" + c.name +
                                   "\" has a type this program cannot read (" + code + ")");
    }
  }
  return def;
}

TableInfo Database::Impl::tableInfo(const CatalogEntry& entry, const TableDef& def) const {
  // Properties only add to what the definition says: a damaged blob leaves them out.
  Properties props;
  try {
    const Bytes blob = catalog.properties(file, entry);
    if (!blob.empty()) {
      props =
          Properties::parse(ByteView(blob.data(), blob.size(), &file.path(), entry.location.page));
    }
  } catch (const Error&) {
    props = Properties();
  }
  TableInfo info;
  info.name = entry.name;
  info.id = def.page;
  info.rowCount = def.rowCount;
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    ColumnInfo ci;
    ci.name = c.name;
    ci.type = static_cast<ColumnType>(c.type);
    ci.size = c.type == fmt::kTypeBoolean ? 0 : c.length;
    ci.order = static_cast<int>(i);
    ci.number = c.number;
    ci.flags = c.flags;
    if (c.type == fmt::kTypeNumeric) {
      ci.precision = c.precision;
      ci.scale = c.scale;
    }
    ci.fixedLength = c.isFixed();
    ci.autoNumber = (c.flags & (fmt::kColFlagAutoLong | fmt::kColFlagAutoGuid)) != 0;
    ci.compressedUnicode = (c.extraFlags & fmt::kColExtraCompressedUnicode) != 0;
    ci.hyperlink = c.type == fmt::kTypeMemo && (c.flags & fmt::kColFlagHyperlink) != 0;
    const auto& columnProps = props.column(c.name);
    const auto req = columnProps.find("Required");
    ci.required = c.type == fmt::kTypeBoolean ||
                  (req != columnProps.end() && req->second.kind() == Value::Kind::Bool &&
                   req->second.asBool());
    info.columns.push_back(std::move(ci));
  }
  auto columnName = [&](std::uint16_t number) {
    for (const ColumnDef& c : def.columns) {
      if (c.number == number) return c.name;
    }
    return "#" + std::to_string(number);
  };
  for (const LogicalIndexDef& li : def.logicalIndexes) {
    IndexInfo ii;
    ii.name = li.name;
    ii.primaryKey = li.kind == fmt::kLogicalIndexPrimaryKey;
    ii.foreignKey = li.kind == fmt::kLogicalIndexForeignKey;
    if (li.realIndex < def.realIndexes.size()) {
      const RealIndexDef& ri = def.realIndexes[li.realIndex];
      for (const auto& k : ri.keys) {
        ii.columns.push_back(columnName(k.column));
        ii.ascending.push_back(k.ascending);
      }
      ii.unique = (ri.flags & fmt::kIndexFlagUnique) != 0;
      ii.ignoreNulls = (ri.flags & fmt::kIndexFlagIgnoreNulls) != 0;
      ii.required = (ri.flags & fmt::kIndexFlagRequired) != 0;
    }
    info.indexes.push_back(std::move(ii));
  }
  return info;
}

TableInfo Database::table(const std::string& name) const {
  const CatalogEntry& e = findTable(*impl_, name);
  return impl_->tableInfo(e, impl_->tableDef(e));
}

struct TableReader::State {
  std::shared_ptr<Database::Impl> db;
  TableDef def;
  TableInfo info;
  RowScanner scanner;
  RowDecoder decoder;
  ByteView bytes;

  State(std::shared_ptr<Database::Impl> d, TableDef t, TableInfo i)
      : db(std::move(d)),
        def(std::move(t)),
        info(std::move(i)),
        scanner(db->file, def),
        decoder(def, db->file) {}
};

TableReader::TableReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
TableReader::TableReader(TableReader&&) noexcept = default;
TableReader& TableReader::operator=(TableReader&&) noexcept = default;
TableReader::~TableReader() = default;

const TableInfo& TableReader::info() const {
  return state_->info;
}

bool TableReader::next(std::vector<Value>& row) {
  if (!state_->scanner.next(state_->bytes)) return false;
  state_->decoder.decode(state_->bytes, row);
  return true;
}

TableReader Database::read(const std::string& name) const {
  const CatalogEntry& e = findTable(*impl_, name);
  TableDef def = impl_->tableDef(e);
  TableInfo info = impl_->tableInfo(e, def);
  return TableReader(std::make_unique<TableReader::State>(impl_, std::move(def), std::move(info)));
}

}  // namespace jet
