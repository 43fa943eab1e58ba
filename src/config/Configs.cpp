#include "config/Configs.h"

#include <platform/Error.h>
#include <platform/ProgramFolder.h>

#include <memory>

namespace config {
namespace {

std::unique_ptr<TConfig> theConfig;

}  // namespace

TConfig::TConfig(const QString& path) : platform::IniFile(path) {
  setCreateMode(0600);
}

QString TConfig::read(const TextSetting& s) const {
  return readString(s.section, s.key, QString::fromUtf8(s.def));
}
int TConfig::read(const IntegerSetting& s) const {
  return readInteger(s.section, s.key, s.def);
}
bool TConfig::read(const FlagSetting& s) const {
  return readBool(s.section, s.key, s.def);
}

void TConfig::write(const TextSetting& s, const QString& value) {
  writeString(s.section, s.key, value);
}
void TConfig::write(const IntegerSetting& s, int value) {
  writeInteger(s.section, s.key, value);
}
void TConfig::write(const FlagSetting& s, bool value) {
  writeBool(s.section, s.key, value);
}

void createConfig() {
  theConfig = std::make_unique<TConfig>(platform::programFolder() + QStringLiteral("Config.ini"));
}

void freeConfig() {
  theConfig.reset();
}

TConfig& Config() {
  if (!theConfig) throw platform::Error(QStringLiteral("The configuration is not open"));
  return *theConfig;
}

}  // namespace config
