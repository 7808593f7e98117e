#include "reports/xlsx_writer.h"

#include <fstream>

#include <xlsxwriter.h>

#include <algorithm>
#include <map>
#include <string>

namespace velmora::reports {

namespace {

std::string columnLetters(int column) {
  std::string s;
  for (int c = column + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
  return s;
}

std::string cellName(int row, int column) { return columnLetters(column) + std::to_string(row + 1); }

}  // namespace

Status writeXlsx(const Sheet& sheet, const std::filesystem::path& file) {
  // Written beside the target and renamed over it: a failed run leaves the
  // earlier file as it was.
  const std::filesystem::path partial = file.string() + ".parcial";
  {
    // libxlsxwriter finds out only when it closes, and says so in English on
    // standard error: the place is tried first.
    std::ofstream probe(partial, std::ios::binary | std::ios::trunc);
    if (!probe) return Status::error(Status::Code::kIoError, "no se puede escribir " + file.string());
  }
  lxw_workbook* book = workbook_new(partial.c_str());
  if (book == nullptr) return Status::error(Status::Code::kIoError, "no se pudo crear " + file.string());
  lxw_worksheet* ws = workbook_add_worksheet(book, sheet.name.substr(0, 31).c_str());
  lxw_format* bold = workbook_add_format(book);
  format_set_bold(bold);
  std::map<std::pair<int, bool>, lxw_format*> numberFormats;  // (decimals, bold)
  const auto numberFormat = [&](int decimals, bool strong) {
    lxw_format*& f = numberFormats[{decimals, strong}];
    if (f == nullptr) {
      f = workbook_add_format(book);
      format_set_num_format(f, decimals == 0 ? "#,##0" : ("#,##0." + std::string(decimals, '0')).c_str());
      if (strong) format_set_bold(f);
    }
    return f;
  };

  lxw_row_t row = 0;
  for (const std::string& line : sheet.heading) worksheet_write_string(ws, row++, 0, line.c_str(), bold);
  if (!sheet.heading.empty()) ++row;
  for (size_t c = 0; c < sheet.columns.size(); ++c) {
    worksheet_write_string(ws, row, static_cast<lxw_col_t>(c), sheet.columns[c].title.c_str(), bold);
    worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), sheet.columns[c].width, nullptr);
  }
  ++row;
  worksheet_freeze_panes(ws, row, 0);

  const lxw_row_t firstRow = row;
  lxw_row_t groupStart = row;
  for (const SheetRow& r : sheet.rows) {
    if (r.startsGroup) groupStart = row;
    for (size_t c = 0; c < r.cells.size() && c < sheet.columns.size(); ++c) {
      const SheetCell& cell = r.cells[c];
      const auto col = static_cast<lxw_col_t>(c);
      const int decimals = std::max(sheet.columns[c].decimals, 0);
      const bool summed = r.total && std::find(r.sums.begin(), r.sums.end(), static_cast<int>(c)) != r.sums.end();
      if (summed) {
        // SUBTOTAL(9, ...) sums the range but skips the SUBTOTALs in it, so
        // a section's total and the grand total both read the rows above.
        const lxw_row_t from = r.grand ? firstRow : groupStart;
        const std::string formula =
            row > from ? "=SUBTOTAL(9," + cellName(from, col) + ":" + cellName(row - 1, col) + ")" : "=0";
        const double value = std::holds_alternative<double>(cell) ? std::get<double>(cell) : 0;
        worksheet_write_formula_num(ws, row, col, formula.c_str(), numberFormat(decimals, true), value);
      } else if (const auto* text = std::get_if<std::string>(&cell)) {
        worksheet_write_string(ws, row, col, text->c_str(), r.total ? bold : nullptr);
      } else if (const auto* number = std::get_if<double>(&cell)) {
        worksheet_write_number(ws, row, col, *number, numberFormat(decimals, r.total));
      }
    }
    if (r.total && !r.grand) groupStart = row + 1;
    ++row;
  }
  if (workbook_close(book) != LXW_NO_ERROR) {
    std::error_code ec;
    std::filesystem::remove(partial, ec);
    return Status::error(Status::Code::kIoError, "no se pudo escribir " + file.string());
  }
  std::error_code ec;
  std::filesystem::rename(partial, file, ec);
  if (ec) {
    std::filesystem::remove(partial, ec);
    return Status::error(Status::Code::kIoError, "no se pudo escribir " + file.string());
  }
  return Status::ok();
}

}  // namespace velmora::reports
