// The client's catalogue of concepts (the workbook of a tender) into the
// budget of a work, and back priced: rows without a quantity are titles, the
// others concepts with their key, description, unit and quantity. A concept
// whose key is the key of a base concept takes that concept's analysis; the
// others come in with no analysis and are listed, for the estimator to
// price. The priced workbook is the client's own, with the unit prices, the
// amounts and the amounts in words in its columns.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/sheet_data.h"
#include "exchange/xlsx_editor.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "works/work.h"

namespace velmora::exchange {

// Which column holds what (0 is column A).
struct CatalogueColumns {
  std::optional<size_t> key, description, unit, quantity;
  std::optional<size_t> unitPrice, amount, words;  // written back by the export
  size_t headerRow = 0;                            // the row of the titles (0-based); data follows it
};
// The first row, among the first 30, that titles a description and a
// quantity: "CLAVE"/"CODIGO", "DESCRIPCION"/"CONCEPTO", "UNIDAD", "CANTIDAD".
CatalogueColumns guessCatalogueColumns(const SheetData& sheet);
// The export's columns are titled "P.U."/"PRECIO UNITARIO", "IMPORTE" and
// "IMPORTE CON LETRA" (any title with "LETRA").
// "clave=A,descripcion=B,unidad=C,cantidad=D,precio=E,importe=F,letra=G" over the guess (the titles'
// row stays the guessed one, or the first); false with `why`.
bool parseCatalogueColumns(const std::string& text, CatalogueColumns* columns, std::string* why);

struct CatalogueRow {
  size_t row = 0;  // 1-based, as the spreadsheet numbers it
  char kind = 'C';
  std::string key, description, unit;
  double quantity = 0;
  int32_t baseConcept = 0;  // the base concept of the same key, 0 when none
};
struct CataloguePlan {
  std::vector<CatalogueRow> rows;
  std::vector<std::string> unmatched;  // "fila 12: clave EXC-99, EXCAVACION ..."
  std::vector<std::string> closing;    // "fila 40: SUBTOTAL", rows that close the sheet, not imported
  std::vector<std::string> notes;      // what changes on the way in: "fila 7: la unidad PIEZA queda PIEZ"
};

// Reads the rows and matches their keys with the base concepts (as the
// client writes them, or as generic key and key: "EST-006", "EST 006").
// The closing rows (SUBTOTAL, I.V.A., TOTAL, IMPORTE CON LETRA) are
// skipped and listed. A quantity that is not a number (or a formula
// without its calculated value) refuses the whole sheet naming its cell.
Status planCatalogueImport(const tables::Installation& inst, ErrorReporter& errors, const SheetData& sheet,
                           const CatalogueColumns& columns, CataloguePlan* plan);
// Appends the rows to the work's budget in their order, numbered as RENUM
// numbers them, in one transaction.
Status applyCatalogueImport(const works::OpenWork& work, ErrorReporter& errors, const CataloguePlan& plan,
                            int32_t user);

struct CatalogueExport {
  std::vector<CellValue> values;
  size_t rows = 0;                    // concept rows priced
  std::vector<std::string> unpriced;  // "fila 6: clave ALB-99", concept rows at 0.00
};
// Matches each concept row of the sheet with the work's budget row of the
// same key (or, without keys, the same description), in order, and gives the
// values of its cells: the unit price and the amount as the budget prints
// them, and the amount in words. A row with no budget row, or with another
// quantity, refuses the export naming the row; a row priced 0.00 is listed.
Status planCatalogueExport(const works::OpenWork& work, ErrorReporter& errors, const SheetData& sheet,
                           const CatalogueColumns& columns, CatalogueExport* plan);

}  // namespace velmora::exchange
