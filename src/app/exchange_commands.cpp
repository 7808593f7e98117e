#include "app/exchange_commands.h"

#include <ostream>

#include "exchange/bc3_catalogue.h"
#include "exchange/client_catalogue.h"
#include "exchange/csv_reader.h"
#include "exchange/price_import.h"
#include "exchange/xlsx_reader.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "framework/whole_file.h"
#include "services/online_update.h"

namespace velmora::app {

namespace {

std::string money(double v) { return picture::formatNumber(v, "n14.2"); }

// "1 fila", "3 filas": a count with its noun in the number it takes.
std::string counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

int runPriceImportCommand(const tables::Installation& inst, ErrorReporter& errors, const PriceImportOptions& o,
                          std::ostream& out, std::ostream& err) {
  if ((o.xlsx.empty()) == (o.csv.empty())) {
    err << "velmora: indique el archivo: --xlsx LIBRO o --csv ARCHIVO\n";
    return 2;
  }
  const auto date = picture::parseDate(o.date);
  if (!date) {
    err << "velmora: fecha no válida; escríbala dd/mm/aaaa: " << o.date << "\n";
    return 2;
  }
  if (auto problem = services::priceListProblem(inst, errors, o.list)) {
    err << "velmora: " << *problem << "\n";
    return 2;
  }
  exchange::SheetData sheet;
  const Status read = o.xlsx.empty() ? exchange::readCsv(o.csv, &sheet) : exchange::readSheet(o.xlsx, o.sheet, &sheet);
  if (!read) {
    err << "velmora: " << read.text() << "\n";
    return 1;
  }
  exchange::PriceColumns columns = exchange::guessPriceColumns(sheet);
  if (!o.columns.empty()) {
    std::string why;
    if (!exchange::parsePriceColumns(o.columns, &columns, &why)) {
      err << "velmora: " << why << "\n";
      return 2;
    }
  }
  exchange::PricePlan plan;
  if (Status s = exchange::planPriceImport(inst, errors, sheet, columns, o.list, *date, &plan); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  if (o.dryRun) {
    out << "Cambios de precio en la lista " << o.list << " (" << plan.changes.size() << "):\n";
    for (const auto& c : plan.changes) {
      const double percent = c.oldPrice != 0 ? (c.newPrice - c.oldPrice) * 100 / c.oldPrice : 0;
      out << "  fila " << c.row << "  " << c.account << "  " << text::truncateChars(c.description, 35) << "  "
          << text::clip(money(c.oldPrice)) << " -> " << text::clip(money(c.newPrice)) << "  "
          << (c.oldPrice != 0 ? text::formatFixed(percent, 2) + " %" : std::string("nuevo")) << "\n";
    }
    out << "Sin insumo (" << plan.unmatched.size() << "):\n";
    for (const auto& u : plan.unmatched) out << "  " << u << "\n";
    out << "Rechazadas (" << plan.refused.size() << "):\n";
    for (const auto& r : plan.refused) out << "  " << r << "\n";
    out << exchange::rowsAccount(plan) << "\n";
    return 0;
  }
  if (Status s = exchange::applyPriceImport(inst, errors, plan, o.list, 0); !s) {
    err << "velmora: no se importaron los precios (los insumos quedan como estaban): " << s.text() << "\n";
    return 1;
  }
  out << counted(plan.changes.size(), "precio nuevo", "precios nuevos") << " en la lista " << o.list << "\n";
  out << exchange::rowsAccount(plan) << "\n";
  for (const auto& u : plan.unmatched) out << "  sin insumo: " << u << "\n";
  // The works are priced from their own copies of the inputs, which a new
  // price list does not touch.
  out << "Las obras conservan sus propios precios; para llevarles los nuevos: velmora actualiza-obra --data DIR "
         "--obra CLAVE (con --prueba, sólo muestra lo que cambiaría)\n";
  return 0;
}

int runBc3ImportCommand(const tables::Installation& inst, ErrorReporter& errors, const Bc3Options& o, std::ostream& out,
                        std::ostream& err) {
  // A new installation has no zones yet: any list from 1 to 5 is taken.
  if (o.list < 1 || o.list > 5) {
    err << "velmora: la lista de precios debe ser del 1 al 5\n";
    return 2;
  }
  std::string bytes;
  if (Status s = readWholeFile(o.file, exchange::kBc3MaxBytes, &bytes); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  exchange::Bc3File file;
  if (Status s = exchange::readBc3(bytes, &file); !s) {
    err << "velmora: " << o.file << ", " << s.text() << "; no se importó nada\n";
    return 1;
  }
  exchange::Bc3Plan plan;
  if (Status s = exchange::importBc3(inst, errors, file, o.list, o.dryRun, 0, &plan); !s) {
    err << "velmora: " << o.file << ", " << s.text() << "; no se importó nada\n";
    return 1;
  }
  out << (o.dryRun ? "Se importarían" : "Importados") << " a la lista " << o.list << ": " << plan.newInputs
      << " insumos nuevos y " << plan.changedInputs << " cambiados, " << plan.newMachines << " máquinas nuevas y "
      << plan.changedMachines << " cambiadas, " << plan.newConcepts << " conceptos nuevos y " << plan.changedConcepts
      << " cambiados, " << plan.newGenericKeys << " claves genéricas nuevas\n";
  for (const auto& note : plan.notes) out << "  " << note << "\n";
  return 0;
}

int runBc3ExportCommand(const tables::Installation& inst, ErrorReporter& errors, const Bc3Options& o, std::ostream& out,
                        std::ostream& err) {
  if (o.list < 1 || o.list > 5) {
    err << "velmora: la lista de precios debe ser del 1 al 5\n";
    return 2;
  }
  exchange::Bc3File file;
  if (Status s = exchange::exportBc3(inst, errors, o.list, &file); !s) {
    err << "velmora: no se pudo leer el catálogo: " << s.text() << "\n";
    return 1;
  }
  if (Status s = writeWholeFile(o.file, exchange::writeBc3(file)); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  out << file.concepts.size() << " registros ~C escritos en " << o.file << "\n";
  return 0;
}

namespace {

// The work, the client's sheet and its columns (guessed, then as given):
// 0, or the exit status with its line said.
int openClientWorkbook(const tables::Installation& inst, ErrorReporter& errors, const CatalogueImportOptions& o,
                       std::optional<works::OpenWork>* work, exchange::SheetData* sheet,
                       exchange::CatalogueColumns* columns, std::ostream& err) {
  if (Status s = works::openWork(inst, errors, o.work, work); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  if (Status s = exchange::readSheet(o.xlsx, o.sheet, sheet); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  *columns = exchange::guessCatalogueColumns(*sheet);
  std::string why;
  if (!o.columns.empty() && !exchange::parseCatalogueColumns(o.columns, columns, &why)) {
    err << "velmora: " << why << "\n";
    return 2;
  }
  return 0;
}

}  // namespace

int runCatalogueImportCommand(const tables::Installation& inst, ErrorReporter& errors, const CatalogueImportOptions& o,
                              std::ostream& out, std::ostream& err) {
  std::optional<works::OpenWork> work;
  exchange::SheetData sheet;
  exchange::CatalogueColumns columns;
  if (int failed = openClientWorkbook(inst, errors, o, &work, &sheet, &columns, err)) return failed;
  exchange::CataloguePlan plan;
  if (Status s = exchange::planCatalogueImport(work->inst, errors, sheet, columns, &plan); !s) {
    err << "velmora: " << s.text() << "; no se importó nada\n";
    return 1;
  }
  size_t titles = 0;
  for (const auto& r : plan.rows) titles += r.kind == 'T';
  if (!o.dryRun) {
    if (Status s = exchange::applyCatalogueImport(*work, errors, plan, 0); !s) {
      err << "velmora: no se importó el catálogo (la obra queda como estaba): " << s.text() << "\n";
      return 1;
    }
  }
  out << counted(plan.rows.size(), "partida", "partidas") << " "
      << (o.dryRun ? (plan.rows.size() == 1 ? "se importaría" : "se importarían")
                   : (plan.rows.size() == 1 ? "importada" : "importadas"))
      << " a la obra " << o.work << ": " << counted(titles, "título", "títulos") << ", "
      << counted(plan.rows.size() - titles - plan.unmatched.size(), "concepto", "conceptos")
      << " con el análisis de la base y " << plan.unmatched.size() << " sin análisis\n";
  for (const auto& u : plan.unmatched) out << "  sin análisis: " << u << "\n";
  for (const auto& c : plan.closing) out << "  cierre, no se importa: " << c << "\n";
  for (const auto& n : plan.notes) out << "  " << n << "\n";
  return 0;
}

int runCatalogueExportCommand(const tables::Installation& inst, ErrorReporter& errors, const CatalogueImportOptions& o,
                              std::ostream& out, std::ostream& err) {
  std::optional<works::OpenWork> work;
  exchange::SheetData sheet;
  exchange::CatalogueColumns columns;
  if (int failed = openClientWorkbook(inst, errors, o, &work, &sheet, &columns, err)) return failed;
  exchange::CatalogueExport plan;
  if (Status s = exchange::planCatalogueExport(*work, errors, sheet, columns, &plan); !s) {
    err << "velmora: " << s.text() << "; no se escribió el libro\n";
    return 1;
  }
  std::vector<std::string> formulas;
  if (Status s = exchange::writeCellValues(o.xlsx, sheet.name, plan.values, o.output, &formulas); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  out << counted(plan.rows, "partida con precio", "partidas con precio") << " en " << o.output << "\n";
  for (const auto& u : plan.unpriced) out << "  sin precio (0.00): " << u << "\n";
  if (!formulas.empty()) {
    out << "  celdas con fórmula que se dejaron como estaban:";
    for (const auto& ref : formulas) out << " " << ref;
    out << "\n";
  }
  return 0;
}

}  // namespace velmora::app
