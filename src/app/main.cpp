// velmora: the desktop application, or a headless subcommand.
//
// Exit status of every subcommand: 0 done, 1 failed, 2 wrong usage. Errors
// are one line on standard error.
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/analysis_command.h"
#include "app/backup_commands.h"
#include "app/budget_commands.h"
#include "app/commands.h"
#include "app/demo_data.h"
#include "app/exchange_commands.h"
#include "app/gui.h"
#include "app/report_command.h"
#include "app/update_commands.h"
#include "framework/error_reporter.h"
#include "framework/text.h"
#include "services/installation_use.h"
#include "tables/installation.h"

namespace {

using velmora::ErrorReporter;
namespace app = velmora::app;

constexpr int kDone = 0, kFailed = 1, kWrongUsage = 2;

// The switches of the network trace, the only bare words the desktop
// program takes.
bool isNetSwitch(const std::string& a) {
  for (const char* s : {"/netnolog", "/nettalklog", "/nettalklogerrors", "/neterrors", "/netall"})
    if (a == s) return true;
  return false;
}

// CLI11 speaks English; what it found wrong, said in Spanish.
// CLI11 says what went wrong in English; this is the one place that says
// it in Spanish. Each of its sentences (those of the CLI11 that Debian
// ships, and of the validators we use) is matched whole, its names and
// values kept; a sentence not known here is given after a Spanish lead.
std::string usageError(const CLI::ParseError& e) {
  const std::string what = e.what();
  struct Sentence {
    const char* english;  // an ECMAScript pattern over the whole text
    const char* spanish;  // $1, $2... are the pattern's groups
  };
  static const Sentence kSentences[] = {
      {R"(A subcommand)", "falta la orden"},
      {R"(Requires at least (\d+) subcommands)", "faltan órdenes: se necesitan $1"},
      {R"(Exactly 1 option from \[(.*)\] is required and (\d+) were given)", "sólo una de las opciones $1, no $2"},
      {R"(Exactly 1 option from \[(.*)\])", "falta una de las opciones $1"},
      {R"(At least 1 option from \[(.*)\])", "falta al menos una de las opciones $1"},
      {R"(Requires at most 1 options be given from \[(.*)\])", "a lo sumo una de las opciones $1"},
      {R"(Requires at least (\d+) options used and only ?(\d+) ?were given from \[(.*)\])",
       "se necesitan $1 de las opciones $3 y se dieron $2"},
      {R"(Requires at most (\d+) options be used and ?(\d+) ?were given from \[(.*)\])",
       "a lo sumo $1 de las opciones $3, no $2"},
      {R"((.+) is required)", "falta la opción obligatoria $1"},
      {R"(The value (.*) is not an allowed value for (.+))", "$1 no es un valor permitido para $2"},
      {R"(Could not convert: (.+) = (.*))", "valor no válido para $1: $2"},
      {R"((.+): too many inputs for a flag)", "$1 no lleva valor"},
      {R"((.+): Should be true/false or a number)", "$1 debe ser true, false o un número"},
      {R"((.+): Value (.*) not in range (.+) to (.+))", "$1: el valor $2 debe estar entre $3 y $4"},
      {R"((.+): (.*) not in \{(.*)\})", "$1: el valor $2 no es uno de $3"},
      {R"(Expected exactly (\d+) arguments to (.+), got (\d+))", "$2 lleva $1 valores y se dieron $3"},
      {R"(Expected at least (\d+) arguments to (.+), got (\d+))", "$2 lleva al menos $1 valores y se dieron $3"},
      {R"((.+): At least (\d+) required but received (\d+))", "$1 lleva al menos $2 valores y se dieron $3"},
      {R"((.+): At Most (\d+) required but received (\d+))", "$1 lleva a lo sumo $2 valores y se dieron $3"},
      {R"((.+): (\d+) required (.*) missing)", "falta el valor de $1"},
      {R"((.+) was given a disallowed flag override)", "$1 no admite un valor"},
      {R"((.+) requires (.+))", "$1 necesita también $2"},
      {R"((.+) excludes (.+))", "$1 no va junto con $2"},
      {R"(The following arguments? (?:was|were) not expected: (.*))", "argumento no esperado: $1"},
      {R"((.+): Too many positional arguments with unlimited expected args)", "demasiados argumentos para $1"},
      {R"((.+) was not readable \(missing\?\))", "no se puede leer $1 (¿existe?)"},
  };
  for (const Sentence& s : kSentences) {
    const std::regex pattern(s.english);
    if (std::regex_match(what, pattern)) return std::regex_replace(what, pattern, s.spanish);
  }
  return "argumentos no válidos (" + what + ")";
}

void spanishLabels(CLI::App& cli) {
  auto f = cli.get_formatter();
  f->label("Usage", "Uso");
  f->label("OPTIONS", "OPCIONES");
  f->label("Options", "Opciones");
  f->label("Positionals", "Argumentos");
  f->label("SUBCOMMAND", "ORDEN");
  f->label("SUBCOMMANDS", "ORDENES");
  f->label("Subcommands", "Ordenes");
  f->label("REQUIRED", "OBLIGATORIO");
  f->label("TEXT", "TEXTO");
}

// What every command runs with: the options it was given, the message
// channel, and the installation held as it needs it.
struct Values {
  std::string data, settings, openWork;
  std::string dir;  // demo, check: the installation; screenshots: the pictures
  std::string account, zone = "1";
  bool json = false;
  std::string workCode;
  std::string reportName;
  bool listReports = false;
  app::ReportTarget target;
  app::ReportFlags reportFlags;
  velmora::services::BackupRequest backupRequest;
  std::string destination;
  bool withoutWorks = false, withoutSystem = false;
  std::string restoreFrom, restoreWork;
  std::string migrateFrom, migrateTo;
  std::string linkedServer;
  app::ServerOptions server;
  app::UpdateOptions update;
  int mergeList = 0;
  app::PriceImportOptions priceImport;
  app::Bc3Options bc3Import, bc3Export;
  app::CatalogueImportOptions catalogueImport, catalogueExport;
  app::NewWorkOptions newWork;
  bool dryRun = false;
};

// Thrown by a headless run's fatal handler, caught in main.
struct FatalMessageMet {};

class Run {
 public:
  Run(int count, char** args, Values& values) : argc(count), argv(args), v(values) {
    errors.setPresenter(&presenter);
    // A headless run that meets a fatal message stops there: the message
    // was its one line, and the failure unwinds to main, which ends the run
    // with status 1 (the tables it held roll back as they close).
    errors.setFatalHandler([this](const std::string&) {
      fatalMet = true;
      throw FatalMessageMet{};
    });
  }
  // The installation in --data (or `dir`), held while the command runs:
  // shared, after a restore cut short is undone (a restore takes it alone
  // by itself). A command that only reads works on a folder it cannot
  // write (a read-only copy) without complaints; one that only reads never
  // creates a table. False when it cannot be held (already said).
  std::optional<velmora::tables::Installation> hold(bool writes, bool createMissing, const std::string& dir = {}) {
    auto inst = app::installationAt(dir.empty() ? v.data : dir, v.settings);
    inst.createMissing = createMissing;
    if (!writes && !velmora::tables::canWriteIn(inst.dataDir)) inst.readingOnly = true;
    if (!app::useInstallation(inst, use, writes, std::cerr)) return std::nullopt;
    return inst;
  }

  int argc;
  char** argv;
  Values& v;
  ErrorReporter errors;
  bool fatalMet = false;  // a fatal message was shown: the run failed, whatever it says

 private:
  velmora::StderrPresenter presenter;
  velmora::services::InstallationUse use;
};

// A subcommand: its name and help, whether it needs --data, its own
// options, and what it does.
struct Command {
  const char* name;
  const char* help;
  bool needsData;
  std::function<void(CLI::App&, Values&)> options;
  std::function<int(Run&)> run;
};

void dataOptions(CLI::App& sub, Values& v) {
  sub.add_option("--data", v.data, "directorio de la instalación (obligatorio)");
  sub.add_option("--settings", v.settings, "directorio de la configuración");
}

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"demo", "crea (o completa) una instalación de demostración", false,
       [](CLI::App& sub, Values& v) {
         sub.add_option("DIR", v.dir, "directorio de la instalación")->required();
         sub.add_option("--settings", v.settings, "directorio de la configuración");
       },
       [](Run& r) {
         // A folder is made for a new installation in files; a server's
         // address is no folder (its station's folder is made where it belongs).
         std::error_code ec;
         if (!velmora::tables::isServerAddress(r.v.dir)) std::filesystem::create_directories(r.v.dir, ec);
         auto inst = r.hold(true, true, r.v.dir);
         return inst ? app::runDemo(*inst, r.errors, std::cout, std::cerr) : kFailed;
       }},
      {"check", "revisa todas las tablas, reconstruye sus claves e informa", false,
       [](CLI::App& sub, Values& v) {
         sub.add_option("DIR", v.dir, "directorio de la instalación")->required();
         sub.add_option("--settings", v.settings, "directorio de la configuración");
       },
       [](Run& r) {
         auto inst = r.hold(false, true, r.v.dir);
         return inst ? app::runCheck(*inst, r.errors, std::cout, std::cerr) : kFailed;
       }},
      {"screenshots", "guarda imágenes PNG de las pantallas principales", true,
       [](CLI::App& sub, Values& v) {
         sub.add_option("OUTDIR", v.dir, "directorio de las imágenes")->required();
         dataOptions(sub, v);
       },
       [](Run& r) { return app::saveScreenshots(r.argc, r.argv, r.v.data, r.v.settings, r.v.dir); }},
      {"analisis", "análisis de precio unitario de un concepto", true,
       [](CLI::App& sub, Values& v) {
         sub.add_option("CTA", v.account, "cuenta del concepto")->required();
         dataOptions(sub, v);
         sub.add_option("--zona", v.zone, "zona de salario, 1 a 5 (por omisión 1)");
         sub.add_flag("--json", v.json, "un objeto JSON en lugar de la tabla");
       },
       [](Run& r) {
         // Numbers are read whole or refused.
         const auto cta = velmora::text::parseInteger(r.v.account);
         if (!cta || *cta <= 0 || *cta > INT32_MAX) {
           std::cerr << "velmora: la cuenta del concepto debe ser un número entero positivo: " << r.v.account << "\n";
           return kWrongUsage;
         }
         const auto zone = velmora::text::parseInteger(r.v.zone);
         if (!zone || *zone < 1 || *zone > 5) {
           std::cerr << "velmora: la zona debe ser un número entero del 1 al 5: " << r.v.zone << "\n";
           return kWrongUsage;
         }
         auto inst = r.hold(false, false);
         return inst ? app::runAnalysis(*inst, r.errors, static_cast<int32_t>(*cta), r.v.json, static_cast<int>(*zone),
                                        std::cout, std::cerr)
                     : kFailed;
       }},
      {"obras", "el registro de obras con sus totales", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_flag("--json", v.json, "una lista JSON en lugar de la tabla");
       },
       [](Run& r) {
         auto inst = r.hold(false, false);
         return inst ? app::runWorks(*inst, r.errors, r.v.json, std::cout, std::cerr) : kFailed;
       }},
      {"calcula", "recalcula el presupuesto de una obra y lo muestra", true,
       [](CLI::App& sub, Values& v) {
         sub.add_option("--obra", v.workCode, "cuenta de la obra")->required();
         dataOptions(sub, v);
         sub.add_flag("--json", v.json, "un objeto JSON en lugar de la tabla");
       },
       [](Run& r) {
         // It writes, and may make again a work's missing input table.
         auto inst = r.hold(true, true);
         return inst ? app::runBudget(*inst, r.errors, r.v.workCode, true, r.v.json, std::cout, std::cerr) : kFailed;
       }},
      {"alta-obra", "registra una obra nueva como el formulario de obras, con su directorio y su presupuesto vacío",
       true,
       [](CLI::App& sub, Values& v) {
         app::NewWorkOptions& w = v.newWork;
         sub.add_option("--obra", w.code, "cuenta de la obra (hasta 8 caracteres; nombra su directorio)")->required();
         sub.add_option("--nombre", w.name, "nombre de la obra (hasta 50 caracteres)")->required();
         sub.add_option("--zona", w.zone, "zona de salario, 1 a 5")->required();
         dataOptions(sub, v);
         sub.add_option("--direccion", w.address, "dirección de la obra");
         sub.add_option("--directorio", w.directory, "texto del directorio (por omisión, la cuenta)");
         sub.add_option("--admon-obra", w.siteOverhead, "% de administración de obra");
         sub.add_option("--admon-central", w.centralOverhead, "% de administración central");
         sub.add_option("--utilidad", w.profit, "% de utilidad");
         sub.add_option("--cargos", w.otherCharges, "% de cargos indirectos");
         sub.add_option("--iva", w.vat, "% de IVA");
         sub.add_option("--oculto-mano-obra", w.hiddenLabour, "% oculto en la mano de obra");
         sub.add_option("--oculto-materiales", w.hiddenMaterials, "% oculto en los materiales");
       },
       [](Run& r) {
         auto inst = r.hold(true, true);
         return inst ? app::runNewWork(*inst, r.errors, r.v.newWork, std::cout, std::cerr) : kFailed;
       }},
      {"actualiza-obra",
       "lleva los insumos copiados de la base a una obra a sus últimos valores y la recalcula (Actualiza a Últimos "
       "Valores)",
       true,
       [](CLI::App& sub, Values& v) {
         sub.add_option("--obra", v.workCode, "cuenta de la obra")->required();
         dataOptions(sub, v);
         sub.add_flag("--prueba", v.dryRun, "sólo muestra lo que cambiaría; no escribe nada");
       },
       [](Run& r) {
         // --prueba runs the same transaction and rolls it back: it writes too.
         auto inst = r.hold(true, false);
         return inst ? app::runLatestValues(*inst, r.errors, r.v.workCode, r.v.dryRun, std::cout, std::cerr) : kFailed;
       }},
      {"presupuesto", "muestra el presupuesto de una obra sin recalcularlo", true,
       [](CLI::App& sub, Values& v) {
         sub.add_option("--obra", v.workCode, "cuenta de la obra")->required();
         dataOptions(sub, v);
         sub.add_flag("--json", v.json, "un objeto JSON en lugar de la tabla");
       },
       [](Run& r) {
         auto inst = r.hold(false, false);
         return inst ? app::runBudget(*inst, r.errors, r.v.workCode, false, r.v.json, std::cout, std::cerr) : kFailed;
       }},
      {"report", "un reporte sin pantalla, a PDF, texto o imágenes", false,
       [](CLI::App& sub, Values& v) {
         app::ReportFlags& f = v.reportFlags;
         sub.add_option("NOMBRE", v.reportName, "el reporte (velmora report --list los nombra)");
         sub.add_flag("--list", v.listReports, "nombra los reportes");
         sub.add_option("--obra", f.work, "la obra de los reportes de obra");
         sub.add_option("--desde", f.first, "renglón o cuenta inicial (0: desde el primero)");
         sub.add_option("--hasta", f.last, "renglón o cuenta final (0: hasta el último)");
         sub.add_option("--completa", f.fullDescription, "S: la descripción completa; N: su primera línea")
             ->check(CLI::IsMember({"S", "N"}));
         sub.add_option("--resumen", f.closingSummary, "S: indirectos, utilidad e IVA al final; N: sin ellos")
             ->check(CLI::IsMember({"S", "N"}));
         sub.add_option("--titulo", f.title, "título principal del reporte");
         sub.add_option("--generico", f.genericKey, "insumos: sólo los de esta clave genérica");
         sub.add_option("--orden", f.order, "insumos: C cuenta, G clave, A alfabético")
             ->check(CLI::IsMember({"C", "G", "A"}));
         sub.add_option("--fecha-desde", f.firstDate, "insumos: precios desde esta fecha (dd/mm/aaaa)");
         sub.add_option("--fecha-hasta", f.lastDate, "insumos: precios hasta esta fecha (dd/mm/aaaa)");
         sub.add_option("--zona", f.zone, "insumos y salarios: la zona, 1 a 5")->check(CLI::Range(1, 5));
         dataOptions(sub, v);
         sub.add_option("--pdf", v.target.pdf, "escribe el reporte en este archivo PDF");
         sub.add_option("--txt", v.target.txt, "escribe el reporte en este archivo de texto");
         sub.add_option("--png", v.target.png, "escribe cada hoja como imagen PNG en este directorio");
         sub.add_option("--xlsx", v.target.xlsx,
                        "presupuesto, detalle, concentrado, explosion e insumos: hoja de cálculo");
       },
       [](Run& r) {
         if (r.v.listReports) {
           app::listReports(std::cout);
           return kDone;
         }
         if (r.v.reportName.empty()) {
           std::cerr << "velmora: falta el nombre del reporte (velmora report --list los nombra)\n";
           return kWrongUsage;
         }
         if (r.v.data.empty()) {
           std::cerr << "velmora: falta --data DIR, el directorio de la instalación\n";
           return kWrongUsage;
         }
         auto inst = r.hold(false, false);  // a report only reads
         return inst ? app::runReport(r.argc, r.argv, *inst, r.errors, r.v.reportName, r.v.reportFlags, r.v.target,
                                      std::cout, std::cerr)
                     : kFailed;
       }},
      {"respalda", "respalda los archivos del sistema y cada obra en archivos zip", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--destino", v.destination, "directorio donde quedan los respaldos")->required();
         sub.add_flag("--sin-obras", v.withoutWorks, "no respalda las obras");
         sub.add_flag("--sin-sistema", v.withoutSystem, "no respalda los archivos del sistema");
       },
       [](Run& r) {
         velmora::services::BackupRequest request = r.v.backupRequest;
         request.destination = r.v.destination;
         request.system = !r.v.withoutSystem;
         auto inst = r.hold(false, false);  // a backup only reads
         if (!inst) return kFailed;
         if (!r.v.withoutWorks) {
           if (velmora::Status s = velmora::services::registeredWorks(*inst, r.errors, &request.works); !s) {
             std::cerr << "velmora: no se pudo leer el registro de obras: " << s.text() << "; no se respaldó nada\n";
             return kFailed;
           }
         }
         return app::runBackupCommand(*inst, request, std::cout, std::cerr);
       }},
      {"migra", "copia una instalación con sus obras entre archivos y un servidor PostgreSQL, y la compara", false,
       [](CLI::App& sub, Values& v) {
         sub.add_option("--desde", v.migrateFrom, "la instalación de origen: directorio o postgresql://...")
             ->required();
         sub.add_option("--hacia", v.migrateTo, "la instalación de destino, vacía: directorio o postgresql://...")
             ->required();
         sub.add_option("--settings", v.settings, "directorio de la configuración del origen");
       },
       [](Run& r) {
         auto from = r.hold(false, false, r.v.migrateFrom);
         if (!from) return kFailed;
         return app::runMigrateCommand(*from, app::installationAt(r.v.migrateTo), r.errors, std::cout, std::cerr);
       }},
      {"enlaza", "hace que una carpeta use las tablas de un servidor PostgreSQL (o dice cuál usa)", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--servidor", v.linkedServer,
                        "postgresql://usuario@servidor:puerto/base?schema=nombre; se guarda en SERVIDOR, sólo para "
                        "usted");
       },
       [](Run& r) { return app::runLinkCommand(r.v.data, r.v.settings, r.v.linkedServer, std::cout, std::cerr); }},
      {"restaura", "pone de vuelta un respaldo: los archivos del sistema o una obra", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--desde", v.restoreFrom, "el archivo zip del respaldo")->required();
         sub.add_option("--obra", v.restoreWork, "la obra que debe contener el respaldo");
       },
       [](Run& r) {
         // A restore takes the installation alone, by itself.
         return app::runRestoreCommand(app::installationAt(r.v.data, r.v.settings), r.v.restoreFrom, r.v.restoreWork,
                                       std::cout, std::cerr);
       }},
      {"servidor", "muestra o cambia el servidor de actualizaciones", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--host", v.server.host, "HOST o HOST:PUERTO del servidor FTP");
         sub.add_option("--usuario", v.server.user, "cuenta en el servidor");
         sub.add_option("--clave", v.server.password, "clave de la cuenta");
         sub.add_option("--directorio", v.server.directory, "directorio de las actualizaciones (vacío: /)");
       },
       [](Run& r) {
         auto inst = r.hold(r.v.server.changes(), true);
         return inst ? app::runServerCommand(*inst, r.errors, r.v.server, std::cout, std::cerr) : kFailed;
       }},
      {"actualiza", "baja del servidor los archivos nuevos de la actualización", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--espera-respuesta", v.update.replySeconds,
                        "segundos de espera de cada respuesta del servidor (por omisión 30)")
             ->check(CLI::Range(1, 3600));
         sub.add_option(
                "--cierre-datos", v.update.dataCloseSeconds,
                "segundos que se espera el cierre de los datos tras el fin de una transferencia (por omisión 5)")
             ->check(CLI::Range(1, 600));
         sub.add_option("--limite", v.update.runSeconds,
                        "segundos que puede durar toda la actualización (por omisión 3600)")
             ->check(CLI::Range(1, 86400));
       },
       [](Run& r) {
         auto inst = r.hold(true, false);
         return inst ? app::runUpdateCommand(r.argc, r.argv, *inst, r.errors, r.v.update, std::cout, std::cerr)
                     : kFailed;
       }},
      {"coloca", "coloca los precios bajados en una lista de precios de los insumos", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--lista", v.mergeList, "la lista de precios (zona), 1 a 5")->required();
       },
       [](Run& r) {
         auto inst = r.hold(true, false);
         return inst ? app::runMergeCommand(*inst, r.errors, r.v.mergeList, std::cout, std::cerr) : kFailed;
       }},
      {"importa-precios", "importa la lista de precios de un proveedor (xlsx o CSV)", true,
       [](CLI::App& sub, Values& v) {
         app::PriceImportOptions& o = v.priceImport;
         dataOptions(sub, v);
         sub.add_option("--lista", o.list, "la lista de precios (zona), 1 a 5")->required();
         sub.add_option("--xlsx", o.xlsx, "el libro de la lista");
         sub.add_option("--hoja", o.sheet, "la hoja del libro (por omisión, la primera)");
         sub.add_option("--csv", o.csv, "la lista en CSV");
         sub.add_option("--columnas", o.columns,
                        "cuenta=A,generico=B,clave=C,precio=D,fecha=E (por omisión, según los títulos)");
         sub.add_option("--fecha", o.date, "fecha de los precios sin fecha (dd/mm/aaaa; hoy)");
         sub.add_flag("--prueba", o.dryRun, "muestra los cambios sin escribir nada");
       },
       [](Run& r) {
         auto inst = r.hold(!r.v.priceImport.dryRun, false);
         return inst ? app::runPriceImportCommand(*inst, r.errors, r.v.priceImport, std::cout, std::cerr) : kFailed;
       }},
      {"importa-bc3", "importa un catálogo FIEBDC-3 (BC3) a una lista de precios", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--lista", v.bc3Import.list, "la lista de precios (zona), 1 a 5")->required();
         sub.add_option("archivo", v.bc3Import.file, "el archivo BC3")->required();
         sub.add_flag("--prueba", v.bc3Import.dryRun, "revisa el archivo y cuenta lo que haría, sin escribir nada");
       },
       [](Run& r) {
         // A catalogue may be read into a new installation: an empty folder,
         // or a server's schema.
         const bool mayCreate = velmora::tables::isServerAddress(r.v.data) || std::filesystem::is_directory(r.v.data);
         auto inst = r.hold(!r.v.bc3Import.dryRun, mayCreate);
         return inst ? app::runBc3ImportCommand(*inst, r.errors, r.v.bc3Import, std::cout, std::cerr) : kFailed;
       }},
      {"exporta-bc3", "escribe el catálogo en FIEBDC-3 (BC3) con una lista de precios", true,
       [](CLI::App& sub, Values& v) {
         dataOptions(sub, v);
         sub.add_option("--lista", v.bc3Export.list, "la lista de precios (zona), 1 a 5")->required();
         sub.add_option("--salida", v.bc3Export.file, "el archivo BC3 que se escribe")->required();
       },
       [](Run& r) {
         auto inst = r.hold(false, false);
         return inst ? app::runBc3ExportCommand(*inst, r.errors, r.v.bc3Export, std::cout, std::cerr) : kFailed;
       }},
      {"importa-catalogo", "importa el catálogo de conceptos del cliente (xlsx) al presupuesto de una obra", true,
       [](CLI::App& sub, Values& v) {
         app::CatalogueImportOptions& o = v.catalogueImport;
         dataOptions(sub, v);
         sub.add_option("--obra", o.work, "la obra")->required();
         sub.add_option("--xlsx", o.xlsx, "el libro del cliente")->required();
         sub.add_option("--hoja", o.sheet, "la hoja del libro (por omisión, la primera)");
         sub.add_option("--columnas", o.columns,
                        "clave=A,descripcion=B,unidad=C,cantidad=D (por omisión, según los títulos)");
         sub.add_flag("--prueba", o.dryRun, "muestra lo que se importaría sin escribir nada");
       },
       [](Run& r) {
         auto inst = r.hold(!r.v.catalogueImport.dryRun, false);
         return inst ? app::runCatalogueImportCommand(*inst, r.errors, r.v.catalogueImport, std::cout, std::cerr)
                     : kFailed;
       }},
      {"exporta-catalogo", "escribe los precios de la obra en el libro del cliente (un libro nuevo)", true,
       [](CLI::App& sub, Values& v) {
         app::CatalogueImportOptions& o = v.catalogueExport;
         dataOptions(sub, v);
         sub.add_option("--obra", o.work, "la obra")->required();
         sub.add_option("--xlsx", o.xlsx, "el libro del cliente")->required();
         sub.add_option("--salida", o.output, "el libro con los precios")->required();
         sub.add_option("--hoja", o.sheet, "la hoja del libro (por omisión, la primera)");
         sub.add_option("--columnas", o.columns,
                        "clave=A,descripcion=B,unidad=C,cantidad=D,precio=E,importe=F,letra=G "
                        "(por omisión, según los títulos)");
       },
       [](Run& r) {
         auto inst = r.hold(false, false);
         return inst ? app::runCatalogueExportCommand(*inst, r.errors, r.v.catalogueExport, std::cout, std::cerr)
                     : kFailed;
       }},
  };
  return table;
}

}  // namespace

int main(int argc, char** argv) try {
  Values v;
  CLI::App cli{"Velmora: presupuestos de obra por precios unitarios.", "velmora"};
  spanishLabels(cli);
  cli.option_defaults()->group("Opciones");  // the headings of the help, subcommands' too
  cli.set_help_flag("-h,--help", "muestra esta ayuda");
  cli.set_version_flag("--version", std::string("velmora ") + VELMORA_VERSION, "muestra la versión");
  cli.allow_extras();  // the /net... switches of the desktop program, checked below
  cli.add_option("--data", v.data, "directorio de datos (por omisión, el actual)");
  cli.add_option("--settings", v.settings, "directorio de la configuración (por omisión, DIR/.settings)");
  cli.add_option("--obra", v.openWork, "abre el presupuesto de esa obra al entrar");

  std::vector<std::pair<CLI::App*, const Command*>> subs;
  for (const Command& c : commands()) {
    CLI::App* sub = cli.add_subcommand(c.name, c.help);
    c.options(*sub, v);
    sub->group("Órdenes");
    sub->set_help_flag("-h,--help", "muestra esta ayuda");
    sub->get_formatter()->label("Usage", "Uso");
    subs.push_back({sub, &c});
  }
  cli.require_subcommand(0, 1);

  try {
    cli.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << cli.help();
    return kDone;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << "\n";
    return kDone;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {  // --help of a subcommand
      std::cout << (cli.get_subcommands().empty() ? cli.help() : cli.get_subcommands().front()->help());
      return kDone;
    }
    std::cerr << "velmora: " << usageError(e) << "\n";
    return kWrongUsage;
  }

  const Command* chosen = nullptr;
  for (const auto& [sub, command] : subs) {
    if (!sub->parsed()) continue;
    chosen = command;
    if (!sub->remaining().empty()) {
      std::cerr << "velmora: argumento no esperado: " << sub->remaining().front() << "\n";
      return kWrongUsage;
    }
  }
  if (!chosen) {
    // The desktop program: the only other arguments are the /net... switches.
    for (const std::string& extra : cli.remaining()) {
      if (!isNetSwitch(extra)) {
        std::cerr << "velmora: argumento no esperado: " << extra << " (velmora --help)\n";
        return kWrongUsage;
      }
    }
    return app::runGui(argc, argv, v.data, v.settings, v.openWork);
  }
  if (!cli.remaining().empty()) {
    std::cerr << "velmora: argumento no esperado: " << cli.remaining().front() << "\n";
    return kWrongUsage;
  }
  if (v.data.empty()) {
    if (const char* env = std::getenv("VELMORA_DATA"); env && *env) v.data = env;
  }
  if (chosen->needsData && v.data.empty()) {
    std::cerr << "velmora: falta --data DIR, el directorio de la instalación\n";
    return kWrongUsage;
  }
  Run run(argc, argv, v);
  try {
    const int status = chosen->run(run);
    return run.fatalMet && status == kDone ? kFailed : status;
  } catch (const FatalMessageMet&) {
    return kFailed;  // its message said why
  }
} catch (const std::exception& e) {
  // Memory, a path the system refuses, a name the code does not know: one
  // line in Spanish, never a stack trace.
  std::cerr << "velmora: " << velmora::text::exceptionText(e) << "\n";
  return kFailed;
}
