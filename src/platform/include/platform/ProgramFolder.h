// The program folder: where Config.ini, the column map files and the Access files live.
#pragma once

#include <QString>

namespace platform {

// Folder of the running executable (through /proc/self/exe), ending with '/'.
QString programFolder();

// Test seam: makes programFolder() return `folder` (a '/' is appended when missing).
// An empty folder restores the real one.
void setProgramFolderForTesting(const QString& folder);

}  // namespace platform
