// Exchange files for the window tests: Access files written as an export would leave
// them, with their column map files.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace app::test {

// An Access file of one table whose columns carry the given names, all text.
void writeAccessTable(const QString& path, const QString& table, const QStringList& columns,
                      const QList<QStringList>& rows);

// Classify's column map file and Access file in `folder`, as an export makes them for
// the class number and name, with the rows given.
void writeClassifyFiles(const QString& folder, const QList<QStringList>& rows);

}  // namespace app::test
