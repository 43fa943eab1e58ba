#include "Header.h"

#include <cmath>
#include <cstring>

namespace jet {

namespace {

bool startsWith(const PageBytes& page, std::size_t offset, const char* text, std::size_t n) {
  return std::memcmp(page.data() + offset, text, n) == 0;
}

}  // namespace

void Header::applyMask(PageBytes& page) {
  for (std::size_t i = 0; i < fmt::kHeaderMaskedSize; ++i) {
    page[fmt::kHeaderMaskedOffset + i] ^= fmt::kHeaderMask[i];
  }
}

Header Header::read(const PageFile& file) {
  if (file.pageCount() == 0) {
    // Access 97 files have 2048-byte pages: tell them apart from mere junk.
    PageBytes head{};
    const std::size_t got = file.readPrefix(head.data(), head.size());
    const bool jet =
        got >= fmt::kHeaderVersionOffset + 4 &&
        std::memcmp(head.data(), fmt::kHeaderMagic.data(), 4) == 0 &&
        startsWith(head, fmt::kHeaderFormatIdOffset, fmt::kJetFormatId, sizeof fmt::kJetFormatId);
    if (jet && head[fmt::kHeaderVersionOffset] == fmt::kVersionJet3) {
      throw Error(file.path(),
                  "is an Access 97 (Jet 3) database; only Access 2000-2003 files can be read");
    }
    throw Error(file.path(),
                jet ? "the file is truncated (shorter than one page)" : "not an Access database");
  }
  PageRef page0 = file.readPage(0);
  return decode(page0->bytes(), file.path());
}

Header Header::decode(const PageBytes& page, const std::string& fileName) {
  if (std::memcmp(page.data(), fmt::kHeaderMagic.data(), fmt::kHeaderMagic.size()) != 0) {
    throw Error(fileName, "not an Access database");
  }
  const std::uint32_t version = page[fmt::kHeaderVersionOffset] |
                                page[fmt::kHeaderVersionOffset + 1] << 8 |
                                page[fmt::kHeaderVersionOffset + 2] << 16 |
                                std::uint32_t{page[fmt::kHeaderVersionOffset + 3]} << 24;
  if (startsWith(page, fmt::kHeaderFormatIdOffset, fmt::kAceFormatId, sizeof fmt::kAceFormatId)) {
    throw Error(fileName,
                "is an Access 2007 or later (ACE) database; only Access 2000-2003 files can be "
                "read");
  }
  if (!startsWith(page, fmt::kHeaderFormatIdOffset, fmt::kJetFormatId, sizeof fmt::kJetFormatId)) {
    throw Error(fileName, "not an Access database");
  }
  if (version == fmt::kVersionJet3) {
    throw Error(fileName,
                "is an Access 97 (Jet 3) database; only Access 2000-2003 files can be read");
  }
  if (version != fmt::kVersionJet4) {
    throw Error(fileName,
                "is an Access 2007 or later (ACE) database; only Access 2000-2003 files can be "
                "read");
  }

  Header h;
  h.plain_ = page;
  applyMask(h.plain_);
  const auto& p = h.plain_;
  auto le16 = [&](std::size_t o) { return static_cast<std::uint16_t>(p[o] | p[o + 1] << 8); };
  auto le32 = [&](std::size_t o) {
    return std::uint32_t{le16(o)} | std::uint32_t{le16(o + 2)} << 16;
  };
  h.codePage_ = le16(fmt::kHeaderCodePageOffset);
  h.encryptionKey_ = le32(fmt::kHeaderEncryptionKeyOffset);
  std::uint64_t dateBits = le32(fmt::kHeaderCreationDateOffset) |
                           std::uint64_t{le32(fmt::kHeaderCreationDateOffset + 4)} << 32;
  std::memcpy(&h.creationDate_, &dateBits, sizeof dateBits);

  // The password area holds the password XOR the creation day (as int32), repeated;
  // without a password it is that mask alone.
  std::uint32_t mask = 0;
  if (std::isfinite(h.creationDate_) && std::fabs(h.creationDate_) < 2147483647.0) {
    mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(h.creationDate_));
  }
  for (std::size_t i = 0; i < fmt::kHeaderPasswordSize; i += 4) {
    if (le32(fmt::kHeaderPasswordOffset + i) != mask) h.hasPassword_ = true;
  }
  if (h.encryptionKey_ != 0) {
    throw Error(fileName, "is encrypted; remove the encryption in Access first");
  }
  if (h.hasPassword_) {
    throw Error(fileName,
                "is protected by a database password; remove the password in Access first");
  }
  return h;
}

}  // namespace jet
