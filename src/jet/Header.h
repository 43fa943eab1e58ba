// Page 0: identifies the file as a Jet 4 database and carries the masked region
// (code page, encryption key, password, creation date). decode() refuses files the
// engine cannot read; unmask()/mask() turn the region into plain bytes and back.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Format.h"
#include "PageFile.h"

namespace jet {

class Header {
 public:
  // Checks page 0 of `file` and decodes it. Throws jet::Error naming the file for:
  // not an Access database, Access 97 (Jet 3), Access 2007+ (ACE), an encrypted or
  // password-protected database, and a file too short to hold its header.
  static Header read(const PageFile& file);

  // Decodes the plain bytes of page 0 (`page` must hold kPageSize bytes).
  static Header decode(const PageBytes& page, const std::string& fileName);

  // XORs the masked region of page 0 in place; applying it twice restores the page.
  static void applyMask(PageBytes& page);

  std::uint16_t codePage() const { return codePage_; }
  std::uint32_t encryptionKey() const { return encryptionKey_; }
  double creationDate() const { return creationDate_; }
  bool hasPassword() const { return hasPassword_; }
  // Page 0 with the masked region decoded.
  const PageBytes& plain() const { return plain_; }

 private:
  PageBytes plain_{};
  std::uint16_t codePage_ = 0;
  std::uint32_t encryptionKey_ = 0;
  double creationDate_ = 0;
  bool hasPassword_ = false;
};

}  // namespace jet
