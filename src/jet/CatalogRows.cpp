#include "CatalogRows.h"

#include <bit>
#include <chrono>
#include <ctime>

#include "Format.h"
#include "IndexKey.h"
#include "RowEncoder.h"
#include "TextEncoder.h"
#include "jet/Error.h"

namespace jet {

namespace {

const ColumnDef& need(const TableDef& def, const char* name, std::uint8_t type,
                      const std::string& file) {
  for (const auto& c : def.columns)
    if (c.name == name && c.type == type) return c;
  throw Error(file,
              std::string("the system catalog has an unexpected layout (column ") + name + ")");
}

std::vector<std::uint8_t> le32(std::uint32_t v) {
  std::vector<std::uint8_t> b;
  appendU32(b, v);
  return b;
}

std::vector<std::uint8_t> le64(std::uint64_t v) {
  std::vector<std::uint8_t> b;
  appendU32(b, std::uint32_t(v));
  appendU32(b, std::uint32_t(v >> 32));
  return b;
}

}  // namespace

std::vector<std::uint8_t> CatalogRows::encode(const TableDef& def, const ObjectRow& r,
                                              const std::string& file) {
  RowEncoder enc(def);
  const ColumnDef& name = need(def, "Name", fmt::kTypeText, file);
  enc.setFixed(need(def, "Id", fmt::kTypeLong, file), le32(std::uint32_t(r.id)));
  enc.setFixed(need(def, "ParentId", fmt::kTypeLong, file), le32(std::uint32_t(r.parentId)));
  enc.setVariable(
      name, TextEncoder::encode(r.name, name.extraFlags & fmt::kColExtraCompressedUnicode, false));
  std::vector<std::uint8_t> type;
  appendU16(type, std::uint16_t(r.type));
  enc.setFixed(need(def, "Type", fmt::kTypeInteger, file), type);
  enc.setFixed(need(def, "DateCreate", fmt::kTypeDateTime, file),
               le64(std::bit_cast<std::uint64_t>(r.dateCreate)));
  enc.setFixed(need(def, "DateUpdate", fmt::kTypeDateTime, file),
               le64(std::bit_cast<std::uint64_t>(r.dateUpdate)));
  enc.setVariable(need(def, "Owner", fmt::kTypeBinary, file), r.owner);
  enc.setFixed(need(def, "Flags", fmt::kTypeLong, file), le32(r.flags));
  return enc.encode();
}

std::vector<std::uint8_t> CatalogRows::encode(const TableDef& def, const AceRow& r,
                                              const std::string& file) {
  RowEncoder enc(def);
  enc.setFixed(need(def, "ObjectId", fmt::kTypeLong, file), le32(std::uint32_t(r.objectId)));
  enc.setVariable(need(def, "SID", fmt::kTypeBinary, file), r.sid);
  enc.setFixed(need(def, "ACM", fmt::kTypeLong, file), le32(r.acm));
  enc.setBoolean(need(def, "FInheritable", fmt::kTypeBoolean, file), r.inheritable);
  return enc.encode();
}

IndexLeaf::Entry CatalogRows::nameEntry(std::int32_t parentId, const std::u16string& name,
                                        std::uint32_t page, std::uint8_t row) {
  IndexLeaf::Entry e;
  IndexKey::appendLong(e, parentId);
  if (!IndexKey::appendText(e, name)) return {};
  IndexKey::appendRowId(e, page, row);
  return e;
}

IndexLeaf::Entry CatalogRows::idEntry(std::int32_t id, std::uint32_t page, std::uint8_t row) {
  IndexLeaf::Entry e;
  IndexKey::appendLong(e, id);
  IndexKey::appendRowId(e, page, row);
  return e;
}

double CatalogRows::now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  // Local wall-clock seconds since 1970 (timegm of the broken-down local time).
  const std::time_t wall = timegm(&local);
  return double(wall) / 86400.0 + fmt::kDaysFrom18991230To19700101;
}

}  // namespace jet
