// The format of the files the operator edits: Access files (as always) or Excel
// workbooks, one per table, under the same fixed names in the program folder.
#pragma once

#include <config/PosTables.h>

#include <QString>
#include <optional>

namespace config {

enum class ExchangeFormat { Mdb, Xlsx };

// As Config.ini sets it ([Export Import] FileType); Access for anything but "xlsx".
ExchangeFormat exchangeFormat();
// "mdb" or "xlsx"; none for any other text.
std::optional<ExchangeFormat> exchangeFormatOf(const QString& text);
QString exchangeFormatName(ExchangeFormat format);
// The program the operator edits the files in, as the messages name it: "Access", "Excel".
QString exchangeProgram(ExchangeFormat format);
// The table's file in the program folder's terms: "Item.mdb", "Item.xlsx".
QString exchangeFile(const PosTableInfo& table, ExchangeFormat format);

}  // namespace config
