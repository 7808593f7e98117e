#include "ui/exchange/sheet_columns.h"

#include "exchange/csv_reader.h"
#include "exchange/xlsx_reader.h"

namespace velmora::ui {

namespace {
bool isCsv(const QString& path) {
  return path.endsWith(".csv", Qt::CaseInsensitive) || path.endsWith(".txt", Qt::CaseInsensitive);
}
}  // namespace

void fillColumnChoices(QComboBox* box, const exchange::SheetData& sheet, std::optional<size_t> chosen) {
  size_t width = 8;
  for (const auto& row : sheet.rows) width = std::max(width, row.size());
  width = std::min<size_t>(width, 200);
  box->clear();
  box->addItem("—", -1);
  for (size_t c = 0; c < width; ++c) {
    // The column's letter and its title in the first rows, to choose by.
    QString title;
    for (size_t r = 0; r < std::min<size_t>(sheet.rows.size(), 30) && title.isEmpty(); ++r)
      if (sheet.at(r, c).kind == exchange::Cell::Kind::kText)
        title = QString::fromStdString(sheet.at(r, c).text).left(20);
    box->addItem(QString::fromStdString(exchange::columnLetters(c)) + (title.isEmpty() ? "" : "  " + title),
                 static_cast<int>(c));
  }
  box->setCurrentIndex(chosen && *chosen < width ? static_cast<int>(*chosen) + 1 : 0);
}

std::optional<size_t> chosenColumn(const QComboBox* box) {
  const int c = box->currentData().toInt();
  return c < 0 ? std::nullopt : std::optional<size_t>(static_cast<size_t>(c));
}

Status readSheetFile(const QString& path, const QString& sheetName, exchange::SheetData* sheet) {
  if (isCsv(path)) return exchange::readCsv(path.toStdString(), sheet);
  return exchange::readSheet(path.toStdString(), sheetName.toStdString(), sheet);
}

QStringList sheetNamesOf(const QString& path) {
  QStringList out;
  std::vector<std::string> names;
  if (isCsv(path) || !exchange::readSheetNames(path.toStdString(), &names)) return out;
  for (const auto& n : names) out << QString::fromStdString(n);
  return out;
}

}  // namespace velmora::ui
