// What the exchange screens share: choosing a workbook or CSV file and its
// sheet, and one combo box per column of the sheet to map.
#pragma once

#include <optional>

#include <QComboBox>
#include <QString>

#include "exchange/sheet_data.h"
#include "framework/status.h"

namespace velmora::ui {

// "—" then "A", "B", ... for each column the sheet has (at least 8).
void fillColumnChoices(QComboBox* box, const exchange::SheetData& sheet, std::optional<size_t> chosen);
// The column a box names, or none for "—".
std::optional<size_t> chosenColumn(const QComboBox* box);
// Reads `path` (xlsx, or CSV by its extension) into `sheet`; `sheetName` is
// the workbook's sheet (the first when empty).
Status readSheetFile(const QString& path, const QString& sheetName, exchange::SheetData* sheet);
// The names of an xlsx workbook's sheets; none for a CSV or an unreadable file.
QStringList sheetNamesOf(const QString& path);

}  // namespace velmora::ui
