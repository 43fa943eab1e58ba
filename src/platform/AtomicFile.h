// Replacing a small file so that a failure at any point leaves either the old or the
// new content on disk, never a truncated file.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Writes `data` to a temporary file beside the target, flushes it to the disk and
// renames it over the target. The target keeps its mode (and owner, where allowed);
// a new file gets `createMode`. A symbolic link is followed and stays a link. A file
// whose permissions forbid writing is refused even though its folder would allow the
// rename. When the folder itself refuses new files but the file may be written, the
// file is rewritten in place and flushed. Throws platform::Error("Unable to write to
// <full path>").
void writeFileAtomically(const QString& path, const QByteArray& data, unsigned createMode);

}  // namespace platform
