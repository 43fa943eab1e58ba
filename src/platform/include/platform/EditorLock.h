// The lock file a program keeps beside a file it has open for editing: LibreOffice's
// ".~lock.NAME#" and Excel's "~$NAME" beside a workbook, Access's "NAME.ldb" (or
// ".laccdb") beside a database. While it lies there, the file on disk may lack what
// the operator typed and has not saved yet.
#pragma once

#include <QString>

namespace platform {

// The lock file beside `path`, or an empty string when no program holds it.
QString editorLockOf(const QString& path);

}  // namespace platform
