#include "DatabaseCreator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "CatalogRows.h"
#include "DataPageWriter.h"
#include "Format.h"
#include "IndexLeaf.h"
#include "PageFile.h"
#include "PageWriter.h"
#include "SystemTables.h"
#include "TableDefWriter.h"
#include "UsageMapWriter.h"
#include "jet/Error.h"

namespace jet {

namespace {

// ---- The undecoded set, from a database the Jet engine created ----
constexpr std::uint8_t kCreationDate[8] = {0x3e, 0x85, 0xd3, 0x3b, 0x3e, 0xab, 0xe4, 0x40};
constexpr std::uint8_t kField6A[2] = {0x1c, 0x26};
constexpr std::uint8_t kPasswordMask[4] = {0x59, 0xa5, 0x00, 0x00};
const std::vector<std::uint8_t> kSidEngine = {0x65, 0x89};
const std::vector<std::uint8_t> kSidAdmin = {0x64, 0x8b};
const std::vector<std::uint8_t> kSidUsers = {0x65, 0x8b};
const std::vector<std::uint8_t> kSidCreator = {0x65, 0x8e};

// ---- Header values common to every Jet 4 file ----
constexpr std::uint8_t kSystemPointers[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                              0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                              0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
constexpr std::uint16_t kCodePage1252 = 1252;
constexpr std::uint32_t kSortGeneral = 0x0409;
constexpr std::size_t kField6AOffset = 0x6A;
constexpr std::size_t kTrailerOffset = 0x98;
constexpr std::uint8_t kTrailer[8] = {0x54, 0x06, 0x00, 0x00, 0x34, 0x2e, 0x30, 0x00};
constexpr std::size_t kPageTableOffset = 0xE00;  // 256 words, meaning unknown
constexpr std::uint16_t kPageTableFirst = 0x0101;
constexpr std::uint16_t kPageTableRest = 0x0100;
constexpr std::size_t kGlobalMapBytes = 64;

// ---- Catalog objects of a new database ----
constexpr std::int32_t kDatabasesId = 0x0F000002;
constexpr std::int32_t kRelationshipsId = 0x0F000003;
constexpr std::int32_t kMSysDbId = 0x10000000;
constexpr std::int16_t kTypeContainer = 3;
constexpr std::int16_t kTypeDatabase = 2;

PageImage header() {
  PageImage p;
  p.put(fmt::kHeaderMagicOffset, fmt::kHeaderMagic);
  std::memcpy(p.data() + fmt::kHeaderFormatIdOffset, fmt::kJetFormatId, sizeof fmt::kJetFormatId);
  p.put32(fmt::kHeaderVersionOffset, fmt::kVersionJet4);
  p.put(fmt::kHeaderMaskedOffset, kSystemPointers);
  p.put16(fmt::kHeaderCodePageOffset, kCodePage1252);
  for (std::size_t i = 0; i < fmt::kHeaderPasswordSize; i += 4)
    p.put(fmt::kHeaderPasswordOffset + i, kPasswordMask);
  p.put(kField6AOffset, kField6A);
  p.put32(fmt::kHeaderSortOrderOffset, kSortGeneral);
  p.put(fmt::kHeaderCreationDateOffset, kCreationDate);
  for (std::size_t i = 0; i < fmt::kHeaderMaskedSize; ++i)
    p[fmt::kHeaderMaskedOffset + i] ^= fmt::kHeaderMask[i];
  p.put(kTrailerOffset, kTrailer);
  for (std::size_t i = 0; i < 256; ++i)
    p.put16(kPageTableOffset + 2 * i, i == 0 ? kPageTableFirst : kPageTableRest);
  return p;
}

PageImage globalMap() {
  PageImage p = DataPageWriter::empty(fmt::kGlobalMapPage);
  std::vector<std::uint8_t> row(fmt::kUsageMapInlineBitmapOffset + kGlobalMapBytes, 0);
  for (std::uint32_t pg = SystemTables::kPageCount; pg < kGlobalMapBytes * 8; ++pg)
    row[fmt::kUsageMapInlineBitmapOffset + pg / 8] |= std::uint8_t(1u << (pg % 8));
  DataPageWriter::append(p, row);
  DataPageWriter::append(p, UsageMapWriter::inlineRow({}));
  return p;
}

void encodeLeaf(std::vector<PageImage>& pages, std::uint32_t leaf, std::uint32_t tdef,
                std::vector<IndexLeaf::Entry> entries) {
  std::sort(entries.begin(), entries.end());
  pages[leaf] = IndexLeaf::build(tdef, entries);
}

}  // namespace

const std::vector<std::uint8_t>& DatabaseCreator::engineSid() {
  return kSidEngine;
}
const std::vector<std::uint8_t>& DatabaseCreator::adminSid() {
  return kSidAdmin;
}

std::vector<PageImage> DatabaseCreator::pages(double date) {
  std::vector<PageImage> pages(SystemTables::kPageCount);
  pages[0] = header();
  pages[1] = globalMap();

  TableDef objects = SystemTables::objects();
  TableDef aces = SystemTables::aces();
  const TableDef queries = SystemTables::queries();
  const TableDef relationships = SystemTables::relationships();

  // MSysObjects rows, their index entries and distinct keys.
  const std::string file = "(new database)";
  const auto object = [&](std::int32_t id, std::int32_t parent, const char16_t* name,
                          std::int16_t type, const std::vector<std::uint8_t>& owner) {
    ObjectRow r;
    r.id = id;
    r.parentId = parent;
    r.name = name;
    r.type = type;
    r.dateCreate = r.dateUpdate = date;
    r.owner = owner;
    r.flags = fmt::kObjectFlagSystem;
    return r;
  };
  const std::vector<ObjectRow> objectRows = {
      object(fmt::kCatalogTablesId, fmt::kCatalogRootId, u"Tables", kTypeContainer, kSidEngine),
      object(kDatabasesId, fmt::kCatalogRootId, u"Databases", kTypeContainer, kSidEngine),
      object(kRelationshipsId, fmt::kCatalogRootId, u"Relationships", kTypeContainer, kSidEngine),
      object(kMSysDbId, kDatabasesId, u"MSysDb", kTypeDatabase, kSidAdmin),
      object(SystemTables::kObjectsTdef, fmt::kCatalogTablesId, u"MSysObjects",
             fmt::kObjectTypeTable, kSidEngine),
      object(SystemTables::kAcesTdef, fmt::kCatalogTablesId, u"MSysACEs", fmt::kObjectTypeTable,
             kSidEngine),
      object(SystemTables::kQueriesTdef, fmt::kCatalogTablesId, u"MSysQueries",
             fmt::kObjectTypeTable, kSidEngine),
      object(SystemTables::kRelationshipsTdef, fmt::kCatalogTablesId, u"MSysRelationships",
             fmt::kObjectTypeTable, kSidEngine)};
  PageImage objectsData = DataPageWriter::empty(SystemTables::kObjectsTdef);
  std::vector<IndexLeaf::Entry> byName, byId;
  for (const auto& r : objectRows) {
    const std::uint8_t row =
        *DataPageWriter::append(objectsData, CatalogRows::encode(objects, r, file));
    byName.push_back(CatalogRows::nameEntry(r.parentId, r.name, SystemTables::kObjectsData, row));
    byId.push_back(CatalogRows::idEntry(r.id, SystemTables::kObjectsData, row));
  }
  objects.rowCount = std::uint32_t(objectRows.size());
  objects.realIndexes[0].distinctKeys = objects.realIndexes[1].distinctKeys = objects.rowCount;

  // Access-control entries: engine objects to the admin, containers to their creator.
  struct Ace {
    std::int32_t object;
    const std::vector<std::uint8_t>* sid;
    std::uint32_t acm;
    bool inherit;
  };
  const Ace aceRows[] = {{SystemTables::kObjectsTdef, &kSidAdmin, 0x60000, false},
                         {SystemTables::kAcesTdef, &kSidAdmin, 0x60000, false},
                         {SystemTables::kQueriesTdef, &kSidAdmin, 0x60000, false},
                         {SystemTables::kRelationshipsTdef, &kSidAdmin, 0xE0000, false},
                         {fmt::kCatalogTablesId, &kSidCreator, 0xF00FE, true},
                         {fmt::kCatalogTablesId, &kSidAdmin, 0x60001, false},
                         {kRelationshipsId, &kSidCreator, 0xF00FE, true},
                         {kRelationshipsId, &kSidAdmin, 0x60001, false},
                         {kDatabasesId, &kSidAdmin, 0x60000, false},
                         {kMSysDbId, &kSidAdmin, 0x6000E, false},
                         {kMSysDbId, &kSidUsers, 0xE, false},
                         {SystemTables::kQueriesTdef, &kSidUsers, 0x14, false},
                         {SystemTables::kRelationshipsTdef, &kSidUsers, 0x14, false},
                         {SystemTables::kObjectsTdef, &kSidUsers, 0x14, false},
                         {fmt::kCatalogTablesId, &kSidUsers, 0xFFEFF, true},
                         {kRelationshipsId, &kSidUsers, 0xFFFFF, true}};
  PageImage acesData = DataPageWriter::empty(SystemTables::kAcesTdef);
  std::vector<IndexLeaf::Entry> byObject;
  std::vector<std::int32_t> distinct;
  for (const auto& a : aceRows) {
    AceRow r{a.object, *a.sid, a.acm, a.inherit};
    const std::uint8_t row = *DataPageWriter::append(acesData, CatalogRows::encode(aces, r, file));
    byObject.push_back(CatalogRows::idEntry(a.object, SystemTables::kAcesData, row));
    if (std::find(distinct.begin(), distinct.end(), a.object) == distinct.end())
      distinct.push_back(a.object);
  }
  aces.rowCount = std::uint32_t(std::size(aceRows));
  aces.realIndexes[0].distinctKeys = std::uint32_t(distinct.size());

  const std::pair<std::uint32_t, const TableDef*> tdefs[] = {
      {SystemTables::kObjectsTdef, &objects},
      {SystemTables::kAcesTdef, &aces},
      {SystemTables::kQueriesTdef, &queries},
      {SystemTables::kRelationshipsTdef, &relationships}};
  for (auto [page, def] : tdefs)
    pages[page] = TableDefWriter::toPages(TableDefWriter::serialize(*def), {page})[0];

  PageImage maps = DataPageWriter::empty(0);
  for (const auto& listed : SystemTables::mapRows()) {
    auto row = UsageMapWriter::inlineRow(listed);
    writeU32(row.data() + fmt::kUsageMapInlineStartOffset, 0);  // Jet starts these at page 0
    std::fill(row.begin() + fmt::kUsageMapInlineBitmapOffset, row.end(), 0);
    for (std::uint32_t pg : listed)
      row[fmt::kUsageMapInlineBitmapOffset + pg / 8] |= std::uint8_t(1u << (pg % 8));
    DataPageWriter::append(maps, row);
  }
  pages[SystemTables::kMapPage] = maps;

  encodeLeaf(pages, SystemTables::kObjectsByNameLeaf, SystemTables::kObjectsTdef, byName);
  encodeLeaf(pages, SystemTables::kObjectsByIdLeaf, SystemTables::kObjectsTdef, byId);
  encodeLeaf(pages, SystemTables::kAcesLeaf, SystemTables::kAcesTdef, byObject);
  encodeLeaf(pages, SystemTables::kQueriesLeaf, SystemTables::kQueriesTdef, {});
  for (std::uint32_t leaf : SystemTables::kRelationshipsLeaves)
    encodeLeaf(pages, leaf, SystemTables::kRelationshipsTdef, {});
  pages[SystemTables::kObjectsData] = objectsData;
  pages[SystemTables::kAcesData] = acesData;
  return pages;
}

void DatabaseCreator::create(const std::string& path, std::optional<double> catalogDate) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(path, ec)) throw Error(path, "the file already exists");
  const std::vector<PageImage> images = pages(catalogDate ? *catalogDate : CatalogRows::now());

  const std::string temp = path + ".creating";
  fs::remove(temp, ec);  // left over by an earlier creation that was killed
  const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0)
    throw Error(path, std::string("cannot create the file (") + std::strerror(errno) + ")");
  ::close(fd);
  try {
    PageFile file(temp, Mode::ReadWrite);
    PageWriter writer(file);
    for (std::uint32_t n = 0; n < images.size(); ++n) writer.write(n, images[n]);
    writer.sync();
  } catch (const Error& e) {
    fs::remove(temp, ec);
    throw Error(path, e.reason());
  }
  // link() refuses to replace a file that appeared meanwhile; where the file system has
  // no hard links, rename() after a last check does the same in practice.
  if (::link(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    if ((err == EPERM || err == ENOTSUP || err == ENOSYS) && !fs::exists(path, ec) &&
        ::rename(temp.c_str(), path.c_str()) == 0) {
      err = 0;
    }
    if (err != 0) {
      fs::remove(temp, ec);
      throw Error(path, std::string("cannot create the file (") + std::strerror(err) + ")");
    }
  }
  fs::remove(temp, ec);
  const fs::path dir = fs::absolute(fs::path(path)).parent_path();
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

}  // namespace jet
