// The program folder: where Config.ini, the column map files and the Access files live.
#pragma once

#include <QString>

namespace platform {

// Folder of the running executable (through /proc/self/exe), ending with '/'.
QString programFolder();

// Makes programFolder() return `folder` for the rest of the run (a '/' is appended when
// missing): a front end that lets the operator name another folder calls it before
// Config.ini is opened. An empty folder restores the executable's.
void setProgramFolder(const QString& folder);

// The same, for tests that give each case a scratch folder.
void setProgramFolderForTesting(const QString& folder);

}  // namespace platform
