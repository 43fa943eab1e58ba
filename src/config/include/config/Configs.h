// The configuration object over Config.ini in the program folder. Nothing is cached:
// every read goes to the file, every write reaches the disk before it returns.
#pragma once

#include <config/ConfigKeys.h>
#include <config/PosTables.h>
#include <platform/IniFile.h>

#include <QString>

namespace config {

class TConfig : public platform::IniFile {
 public:
  // Does not touch the file. A Config.ini the program creates is readable by its
  // owner only: it holds the POS password.
  explicit TConfig(const QString& path);

  // The settings of ConfigKeys.h with their defaults.
  QString read(const TextSetting& s) const;
  int read(const IntegerSetting& s) const;
  bool read(const FlagSetting& s) const;
  void write(const TextSetting& s, const QString& value);
  void write(const IntegerSetting& s, int value);
  void write(const FlagSetting& s, bool value);
};

// The one global object, created at start-up before anything else and freed at exit.
// createConfig() uses the program folder at the time of the call.
void createConfig();
void freeConfig();
// Throws when not created.
TConfig& Config();

}  // namespace config
