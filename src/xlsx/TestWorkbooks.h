// Workbooks made by the tests themselves, part by part: the usual one-sheet workbook
// around a sheet's rows, and whatever odd or hostile parts a test puts into it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>
#include <vector>

namespace xlsx {

using Parts = std::vector<std::pair<QString, QByteArray>>;

inline const QByteArray kMainNamespace =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline const QByteArray kRelNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// A zip of the given parts; stored rather than deflated when `store` is set, so that a
// test can alter their bytes in place. Fails the test when it cannot be written.
void writeZip(const QString& path, const Parts& parts, bool store = false);
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// A relationships part: ids rId1, rId2, ... in order, each of an office document type.
QByteArray rels(const QList<std::pair<QByteArray, QByteArray>>& typeAndTarget);

// A one-sheet workbook ("Sheet1") around the given sheetData content.
Parts book(const QByteArray& sheetData, const QByteArray& sharedStrings = {},
           const QByteArray& styles = {});
Parts withPart(Parts parts, const QString& name, const QByteArray& content);

// The operator's message for reading the first sheet of `path`, empty when it reads.
QString errorOf(const QString& path, const QString& sheet = {});

}  // namespace xlsx
