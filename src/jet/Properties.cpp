#include "Properties.h"

#include <cstring>
#include <vector>

#include "Format.h"
#include "TextCodec.h"

namespace jet {

namespace {

const char* const kBad = "bad property list";

Value propertyValue(std::uint8_t type, const ByteView& v) {
  switch (type) {
    case fmt::kTypeBoolean:
      return Value::boolean(v.u8(0, kBad) != 0);
    case fmt::kTypeByte:
      return Value::integer(v.u8(0, kBad));
    case fmt::kTypeInteger:
      return Value::integer(v.i16(0, kBad));
    case fmt::kTypeLong:
      return Value::integer(v.i32(0, kBad));
    case fmt::kTypeText:
    case fmt::kTypeMemo:
      return Value::text(TextCodec::decode(v.data(), v.size()));
    default:
      return Value::bytes(Bytes(v.data(), v.data() + v.size()));
  }
}

}  // namespace

const Properties::Set& Properties::column(const std::string& name) const {
  static const Set none;
  const auto it = columns_.find(name);
  return it == columns_.end() ? none : it->second;
}

Properties Properties::parse(const ByteView& blob) {
  Properties props;
  blob.require(0, fmt::kPropertiesSignature.size(), kBad);
  if (std::memcmp(blob.data(), fmt::kPropertiesSignature.data(),
                  fmt::kPropertiesSignature.size()) != 0) {
    blob.fail(kBad);
  }
  std::vector<std::string> names;
  std::size_t pos = fmt::kPropertiesSignature.size();
  while (pos < blob.size()) {
    const std::uint32_t length = blob.u32(pos, kBad);
    const std::uint16_t kind = blob.u16(pos + 4, kBad);
    if (length < fmt::kPropertyBlockHeaderSize) blob.fail(kBad);
    const ByteView block = blob.sub(pos, length, kBad);
    if (kind == fmt::kPropertyBlockNames) {
      for (std::size_t p = fmt::kPropertyBlockHeaderSize; p < block.size();) {
        const std::uint16_t n = block.u16(p, kBad);
        const ByteView name = block.sub(p + 2, n, kBad);
        names.push_back(TextCodec::decode(name.data(), name.size()));
        p += 2 + std::size_t{n};
      }
    } else if (kind == fmt::kPropertyBlockObject || kind == fmt::kPropertyBlockColumn) {
      const std::uint32_t headLength = block.u32(fmt::kPropertyBlockHeaderSize, kBad);
      const std::uint16_t nameLength = block.u16(fmt::kPropertyBlockHeaderSize + 4, kBad);
      const ByteView nameBytes = block.sub(fmt::kPropertyBlockHeaderSize + 6, nameLength, kBad);
      Set& set = kind == fmt::kPropertyBlockObject
                     ? props.object_
                     : props.columns_[TextCodec::decode(nameBytes.data(), nameBytes.size())];
      for (std::size_t p = fmt::kPropertyBlockHeaderSize + std::size_t{headLength};
           p < block.size();) {
        const std::uint16_t entryLength = block.u16(p, kBad);
        const ByteView entry = block.sub(p, entryLength, kBad);
        const std::uint16_t nameIndex = entry.u16(fmt::kPropertyEntryNameOffset, kBad);
        const std::uint16_t valueLength = entry.u16(fmt::kPropertyEntryValueLengthOffset, kBad);
        if (nameIndex >= names.size() || entryLength < fmt::kPropertyEntryHeaderSize)
          block.fail(kBad);
        set[names[nameIndex]] =
            propertyValue(entry.u8(fmt::kPropertyEntryTypeOffset, kBad),
                          entry.sub(fmt::kPropertyEntryHeaderSize, valueLength, kBad));
        p += entryLength;
      }
    }
    pos += length;
  }
  return props;
}

}  // namespace jet
