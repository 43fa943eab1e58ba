// Ini files with the semantics of the Windows private-profile functions, Big5 on disk.
#pragma once

#include <QString>

namespace platform {

class IniFile {
 public:
  // Does not touch the file: it need not exist, the first write creates it.
  explicit IniFile(QString path);
  virtual ~IniFile() = default;

  const QString& fileName() const { return path_; }

  // Section and key names are matched without regard to case. The first of duplicate
  // keys wins. The value comes back at most 2047 Big5 bytes long, cut at a character
  // boundary. Missing file, section or key: `def`. Blanks around the value are
  // trimmed and one pair of enclosing quotes (" or ') is removed, as Windows does.
  QString readString(const QString& section, const QString& key, const QString& def) const;
  // Decimal with optional sign, or hexadecimal after "0x", "0X" or "$"; anything
  // else gives `def`.
  int readInteger(const QString& section, const QString& key, int def) const;
  // Read as an integer: non-zero is true, zero false, not an integer gives `def`.
  bool readBool(const QString& section, const QString& key, bool def) const;

  // Replaces the value in place, or adds the key (at the end of its section) or the
  // section (at the end of the file). Lines the program does not know stay as they
  // are. Written in CRLF and Big5 and flushed to the disk before returning; throws
  // platform::Error("Unable to write to <full path>") when the file system refuses.
  // A value is stored as given, except that line breaks become blanks (a value can
  // never start a new key or section), and a value that reading would change (blanks
  // at either end, enclosing quotes) is stored in double quotes, so it reads back
  // unchanged, here and on Windows. A failed write leaves the old file intact.
  void writeString(const QString& section, const QString& key, const QString& value);
  void writeInteger(const QString& section, const QString& key, int value);
  void writeBool(const QString& section, const QString& key, bool value);

  // Mode of a file the program creates (existing files keep theirs). Config.ini
  // holds a password and is created 0600.
  void setCreateMode(unsigned mode) { createMode_ = mode; }

 private:
  QString path_;
  unsigned createMode_ = 0644;
};

}  // namespace platform
