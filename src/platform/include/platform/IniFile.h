// Ini files with the semantics of the Windows private-profile functions, Big5 on disk.
#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace platform {

class IniDocument;

// The values of an ini file as they were when it was read once: for a caller that
// reads many values of one file (a column map) and need not see changes made
// meanwhile. The reads follow the rules of IniFile's.
class IniSnapshot {
 public:
  QString readString(const QString& section, const QString& key, const QString& def) const;
  int readInteger(const QString& section, const QString& key, int def) const;
  bool readBool(const QString& section, const QString& key, bool def) const;

 private:
  friend class IniFile;
  explicit IniSnapshot(std::shared_ptr<const IniDocument> document);
  std::shared_ptr<const IniDocument> document_;
};

// One value to write: see IniFile::writeStrings.
struct IniEntry {
  QString section;
  QString key;
  QString value;
};

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

  // Reads the file once; a missing or unreadable file gives a snapshot without values.
  IniSnapshot snapshot() const;
  // Writes the entries in order with one rewrite of the file: the file afterwards is
  // the one that writeString called once per entry would leave, but it is replaced
  // in one step, so a failure leaves the old file whole and no mixture of both.
  void writeStrings(const std::vector<IniEntry>& entries);

  // The keys and values of `section`, in file order (section empty: none).
  std::vector<IniEntry> readSection(const QString& section) const;
  // Removes the section with all its keys; nothing when there is none.
  void eraseSection(const QString& section);
  // Removes `section` and then writes the entries, in one rewrite of the file.
  void replaceSection(const QString& section, const std::vector<IniEntry>& entries);

  // Mode of a file the program creates (existing files keep theirs). Config.ini
  // holds a password and is created 0600.
  void setCreateMode(unsigned mode) { createMode_ = mode; }

 private:
  QString path_;
  unsigned createMode_ = 0644;
};

}  // namespace platform
