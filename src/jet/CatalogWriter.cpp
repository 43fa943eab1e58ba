#include "CatalogWriter.h"

#include <algorithm>

#include "DataPageWriter.h"
#include "Format.h"
#include "IndexKey.h"
#include "IndexLeaf.h"
#include "RowDecoder.h"
#include "RowScanner.h"
#include "TextEncoder.h"
#include "UsageMapWriter.h"
#include "jet/Error.h"

namespace jet {

namespace {

constexpr std::int32_t kMSysDbId = 0x10000000;
constexpr std::uint32_t kTdefAcesPage = 3;
// Access gives a new table one entry per inheritable ACE of the Tables container, except
// the creator's template entry, with the container's rights and not inheritable.
constexpr std::uint32_t kCreatorTemplateAcm = 0xF00FE;
constexpr std::uint32_t kFullRightsAcm = 0xFFFFF;
constexpr std::size_t kRowIdSize = fmt::kIndexRowIdSize;

std::uint16_t columnNumber(const TableDef& def, const char* name, const std::string& file) {
  for (const auto& c : def.columns)
    if (c.name == name) return c.number;
  throw Error(file,
              std::string("the system catalog has an unexpected layout (column ") + name + ")");
}

std::size_t columnIndex(const TableDef& def, const char* name) {
  for (std::size_t i = 0; i < def.columns.size(); ++i)
    if (def.columns[i].name == name) return i;
  return def.columns.size();
}

}  // namespace

CatalogWriter::CatalogWriter(WriteSession& session, const Catalog& catalog)
    : session_(session), catalog_(catalog) {}

CatalogWriter::IndexPlace CatalogWriter::singleLeafIndex(const TableDef& def,
                                                         std::vector<std::uint16_t> columns) {
  for (std::size_t i = 0; i < def.realIndexes.size(); ++i) {
    const auto& ri = def.realIndexes[i];
    if (ri.keys.size() != columns.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < columns.size(); ++k)
      same = same && ri.keys[k].column == columns[k] && ri.keys[k].ascending;
    if (!same) continue;
    if (ri.rootPage == 0 || ri.rootPage >= session_.pageCount() ||
        !IndexLeaf::isSingleLeaf(session_.page(ri.rootPage))) {
      throw Error(session_.path(),
                  "the catalog's index has grown beyond one page, which this program cannot "
                  "update; no table was created");
    }
    return {ri.rootPage, i};
  }
  throw Error(session_.path(), "the system catalog has an unexpected layout (indexes)");
}

void CatalogWriter::prepare(const std::string& name, std::uint32_t tdefPage, double date) {
  const std::string& file = session_.path();
  const auto u16name = TextEncoder::toUtf16(name);
  if (!u16name) throw Error(file, "the table name is not valid text");
  for (const CatalogEntry& e : catalog_.entries()) {
    if (e.parentId == fmt::kCatalogTablesId && Catalog::sameName(e.name, name))
      throw Error(file, "a table named \"" + e.name + "\" already exists");
  }
  if (!IndexKey::canEncode(*u16name)) {
    throw Error(file, "the table name \"" + name +
                          "\" has characters this program cannot enter in the catalog's index "
                          "(use Latin letters, digits, blanks and punctuation)");
  }

  objects_.def = catalog_.definition();
  if (objects_.def.realIndexes.size() != 2)
    throw Error(file, "the system catalog has an unexpected layout (indexes)");
  byName_ = singleLeafIndex(objects_.def, {columnNumber(objects_.def, "ParentId", file),
                                           columnNumber(objects_.def, "Name", file)});
  byId_ = singleLeafIndex(objects_.def, {columnNumber(objects_.def, "Id", file)});
  aces_.def = TableDef::read(session_.file(), kTdefAcesPage);
  if (aces_.def.realIndexes.size() != 1)
    throw Error(file, "the access-control table has an unexpected layout (indexes)");
  byObject_ = singleLeafIndex(aces_.def, {columnNumber(aces_.def, "ObjectId", file)});

  // Owner of new tables: the owner of the database object.
  RowDecoder objectDecoder(objects_.def, session_.file());
  std::vector<std::uint8_t> owner;
  const std::size_t ownerIndex = columnIndex(objects_.def, "Owner");
  for (const CatalogEntry& e : catalog_.entries()) {
    if (e.id != kMSysDbId) continue;
    PageRef holder;
    const ByteView row =
        DataPage::rowAt(session_.file(), e.location, holder, e.location.page, "catalog row");
    std::vector<Value> values;
    objectDecoder.decode(row, values);
    if (ownerIndex < values.size() && values[ownerIndex].kind() == Value::Kind::Bytes)
      owner = values[ownerIndex].asBytes();
  }
  if (owner.empty()) throw Error(file, "the system catalog has no database owner");

  // Rights inherited from the Tables container.
  RowDecoder aceDecoder(aces_.def, session_.file());
  RowScanner scan(session_.file(), aces_.def);
  const std::size_t oi = columnIndex(aces_.def, "ObjectId"), si = columnIndex(aces_.def, "SID"),
                    ai = columnIndex(aces_.def, "ACM"), ii = columnIndex(aces_.def, "FInheritable");
  if (std::max({oi, si, ai, ii}) >= aces_.def.columns.size())
    throw Error(file, "the access-control table has an unexpected layout");
  ByteView row;
  std::vector<Value> v;
  aceRows_.clear();
  while (scan.next(row)) {
    aceDecoder.decode(row, v);
    if (v[oi].kind() != Value::Kind::Int || v[oi].asInt() != fmt::kCatalogTablesId) continue;
    if (v[ii].kind() != Value::Kind::Bool || !v[ii].asBool()) continue;
    if (v[si].kind() != Value::Kind::Bytes || v[ai].kind() != Value::Kind::Int) continue;
    const auto acm = std::uint32_t(v[ai].asInt());
    if (acm == kCreatorTemplateAcm) continue;
    aceRows_.push_back({std::int32_t(tdefPage), v[si].asBytes(), acm, false});
  }
  if (aceRows_.empty()) aceRows_.push_back({std::int32_t(tdefPage), owner, kFullRightsAcm, false});

  object_ = ObjectRow{std::int32_t(tdefPage),
                      fmt::kCatalogTablesId,
                      *u16name,
                      fmt::kObjectTypeTable,
                      date,
                      date,
                      owner,
                      0};
  objects_.rows = {CatalogRows::encode(objects_.def, object_, file)};
  aces_.rows.clear();
  for (const auto& a : aceRows_) aces_.rows.push_back(CatalogRows::encode(aces_.def, a, file));
  for (const auto& r : objects_.rows)
    if (r.size() > fmt::kMaxWrittenRowSize) throw Error(file, "the table name is too long");

  // Index room (entry sizes do not depend on where the rows land).
  auto entries = IndexLeaf::read(session_.page(byName_.leaf), file, byName_.leaf);
  entries.push_back(CatalogRows::nameEntry(object_.parentId, object_.name, 0, 0));
  const bool nameFits = IndexLeaf::fits(entries);
  entries = IndexLeaf::read(session_.page(byId_.leaf), file, byId_.leaf);
  entries.push_back(CatalogRows::idEntry(object_.id, 0, 0));
  const bool idFits = IndexLeaf::fits(entries);
  entries = IndexLeaf::read(session_.page(byObject_.leaf), file, byObject_.leaf);
  aceObjectIsNew_ = true;
  for (const auto& e : entries) {
    IndexLeaf::Entry key(e.begin(), e.end() - kRowIdSize);
    IndexLeaf::Entry mine;
    IndexKey::appendLong(mine, object_.id);
    if (key == mine) aceObjectIsNew_ = false;
  }
  for (std::size_t i = 0; i < aceRows_.size(); ++i)
    entries.push_back(CatalogRows::idEntry(object_.id, 0, 0));
  if (!nameFits || !idFits || !IndexLeaf::fits(entries)) {
    throw Error(file,
                "the catalog's index is full (it would need a second page, which this program "
                "cannot add); no table was created");
  }
  for (TablePlan* t : {&objects_, &aces_}) {
    for (std::uint32_t pg : UsageMapWriter::pages(session_, t->def.ownedMap)) {
      const PageImage& p = session_.page(pg);
      if (p[0] != fmt::kPageData || p.u32(fmt::kDataOwnerOffset) != t->def.page)
        throw Error::damaged(file, pg, "catalog page listed in the wrong map");
    }
  }
}

std::vector<RowPointer> CatalogWriter::placeRows(TablePlan& t) {
  std::vector<std::uint32_t> pages = UsageMapWriter::pages(session_, t.def.ownedMap);
  std::vector<RowPointer> placed;
  std::vector<std::uint32_t> touched;
  std::vector<std::pair<std::uint32_t, PageImage>> fresh;
  for (const auto& row : t.rows) {
    bool done = false;
    for (std::uint32_t pg : pages) {
      PageImage& p = session_.page(pg);
      if (!DataPageWriter::isConsistent(p)) continue;
      if (auto r = DataPageWriter::append(p, row)) {
        placed.push_back({pg, *r});
        if (std::find(touched.begin(), touched.end(), pg) == touched.end()) touched.push_back(pg);
        done = true;
        break;
      }
    }
    if (done) continue;
    for (auto& [pg, img] : fresh) {
      if (auto r = DataPageWriter::append(img, row)) {
        placed.push_back({pg, *r});
        done = true;
        break;
      }
    }
    if (done) continue;
    const std::uint32_t pg = session_.pageCount() + std::uint32_t(fresh.size());
    PageImage img = DataPageWriter::empty(t.def.page);
    placed.push_back({pg, *DataPageWriter::append(img, row)});
    fresh.emplace_back(pg, img);
  }
  // New pages first (content, then marked used, then linked), then changed pages.
  std::vector<std::uint32_t> freshNumbers;
  for (auto& [pg, img] : fresh) {
    const std::uint32_t n = session_.append(img);
    if (n != pg) throw Error(session_.path(), "internal error: page numbering");
    freshNumbers.push_back(n);
  }
  session_.markUsed(freshNumbers);
  for (std::uint32_t n : freshNumbers) {
    UsageMapWriter::add(session_, t.def.ownedMap, n);
    UsageMapWriter::add(session_, t.def.freeMap, n);
  }
  for (std::uint32_t pg : touched) session_.write(pg);
  return placed;
}

void CatalogWriter::writeCounts(
    const TableDef& def, std::uint32_t addedRows,
    const std::vector<std::pair<std::size_t, std::uint32_t>>& addedKeys) {
  PageImage& p = session_.page(def.page);
  p.put32(fmt::kTdefRowCountOffset, p.u32(fmt::kTdefRowCountOffset) + addedRows);
  for (auto [index, added] : addedKeys) {
    const std::size_t at = fmt::kTdefHeaderSize + index * fmt::kTdefRealIndexInfoSize + 4;
    p.put32(at, p.u32(at) + added);
  }
  session_.write(def.page);
}

void CatalogWriter::apply() {
  const std::string& file = session_.path();
  const RowPointer objectAt = placeRows(objects_)[0];
  auto entries = IndexLeaf::read(session_.page(byName_.leaf), file, byName_.leaf);
  IndexLeaf::insertSorted(
      entries, CatalogRows::nameEntry(object_.parentId, object_.name, objectAt.page, objectAt.row));
  session_.page(byName_.leaf) = IndexLeaf::build(objects_.def.page, entries);
  session_.write(byName_.leaf);
  entries = IndexLeaf::read(session_.page(byId_.leaf), file, byId_.leaf);
  IndexLeaf::insertSorted(entries, CatalogRows::idEntry(object_.id, objectAt.page, objectAt.row));
  session_.page(byId_.leaf) = IndexLeaf::build(objects_.def.page, entries);
  session_.write(byId_.leaf);
  writeCounts(objects_.def, 1, {{byName_.realIndex, 1}, {byId_.realIndex, 1}});

  const std::vector<RowPointer> aceAt = placeRows(aces_);
  entries = IndexLeaf::read(session_.page(byObject_.leaf), file, byObject_.leaf);
  for (const RowPointer& at : aceAt)
    IndexLeaf::insertSorted(entries, CatalogRows::idEntry(object_.id, at.page, at.row));
  session_.page(byObject_.leaf) = IndexLeaf::build(aces_.def.page, entries);
  session_.write(byObject_.leaf);
  writeCounts(aces_.def, std::uint32_t(aceAt.size()),
              {{byObject_.realIndex, aceObjectIsNew_ ? 1u : 0u}});
}

}  // namespace jet
