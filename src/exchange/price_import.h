// A supplier's price list into one price list (zone) of the base inputs.
// The sheet's columns are mapped (guessed from its header row, or given);
// each row matches an input by its account, or by its generic key and key
// (the keys' folded columns, so case and accents do not matter). The plan
// lists every change, the rows that matched nothing and the rows refused;
// applying it writes, in one transaction, only the chosen list's price and
// date of the inputs that change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exchange/sheet_data.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::exchange {

// Which column holds what (0 is column A); empty when the sheet has none.
struct PriceColumns {
  std::optional<size_t> account, genericKey, key, price, date;
  size_t headerRows = 0;  // rows above the data: the header and any title rows over it
};
// From the header row, the first among the first 30 that titles a price
// and an account or a key (a supplier's list often has its name, address
// and date above it): "CUENTA"/"CTA", "GENERICO"/"GENE", "CLAVE",
// "PRECIO"/"P.U."/"COSTO"/"IMPORTE", "FECHA" (case and accents ignored).
// Without such a row nothing is guessed and the data starts at row 1.
PriceColumns guessPriceColumns(const SheetData& sheet);
// "cuenta=A,clave=B,precio=D,fecha=E" (also "generico=") over the guess,
// whose header row stays; false with `why`.
bool parsePriceColumns(const std::string& text, PriceColumns* columns, std::string* why);

struct PriceChange {
  size_t row = 0;  // 1-based, as the spreadsheet numbers it
  int32_t account = 0;
  std::string description;
  double oldPrice = 0, newPrice = 0;
  int32_t oldDate = 0, newDate = 0;
  int64_t id = 0, version = 0;  // the stored input
};
// Every row below the header is one of: a change, unchanged (the same
// price and date), unmatched, refused or blank; the counts add up to
// `rowsRead`.
struct PricePlan {
  std::vector<PriceChange> changes;
  std::vector<std::string> unmatched;  // "fila 12: clave MAT 0099"
  std::vector<std::string> refused;    // "fila 14: precio negativo (-3.00)"
  size_t unchanged = 0, blank = 0;
  size_t rowsRead = 0;
};

// Where every row read went, in one line whose figures add up to the rows
// read: "3 filas leídas: 2 con precio nuevo, 0 sin cambio, 1 sin insumo,
// 0 rechazadas, 0 en blanco".
std::string rowsAccount(const PricePlan& plan);

// Reads every data row and matches it; the price list `list` (1..5) takes
// the row's date, else `date` (a day number; 0 keeps today's).
Status planPriceImport(const tables::Installation& inst, ErrorReporter& errors, const SheetData& sheet,
                       const PriceColumns& columns, int list, int32_t date, PricePlan* plan);
// Writes the plan's changes to list `list`, all or nothing. Refused rows
// refuse the whole import.
Status applyPriceImport(const tables::Installation& inst, ErrorReporter& errors, const PricePlan& plan, int list,
                        int32_t user);

}  // namespace velmora::exchange
