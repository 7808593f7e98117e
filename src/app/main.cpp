// velmora: the desktop application, or a headless subcommand.
//
// Exit status of every subcommand: 0 done, 1 failed, 2 wrong usage. Errors
// are one line on standard error.
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
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
std::string usageError(const CLI::ParseError& e) {
  const std::string name = e.get_name();
  std::string what = e.what();
  if (name == "RequiredError") return "falta un dato obligatorio: " + what;
  if (name == "ExtrasError") return "argumento no esperado: " + what;
  if (name == "ConversionError" || name == "ValidationError") return "valor no válido: " + what;
  if (name == "ArgumentMismatch") return "falta el valor de una opción: " + what;
  return what;
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

}  // namespace

int main(int argc, char** argv) try {
  CLI::App cli{"Velmora: presupuestos de obra por precios unitarios.", "velmora"};
  spanishLabels(cli);
  cli.option_defaults()->group("Opciones");  // the headings of the help, subcommands' too
  cli.set_help_flag("-h,--help", "muestra esta ayuda");
  cli.set_version_flag("--version", std::string("velmora ") + VELMORA_VERSION, "muestra la versión");
  cli.allow_extras();  // the /net... switches of the desktop program, checked below
  std::string data, settings;
  cli.add_option("--data", data, "directorio de datos (por omisión, el actual)");
  cli.add_option("--settings", settings, "directorio de la configuración (por omisión, DIR/.settings)");
  std::string openWork;
  cli.add_option("--obra", openWork, "abre el presupuesto de esa obra al entrar");

  auto* demo = cli.add_subcommand("demo", "crea (o completa) una instalación de demostración");
  std::string demoDir;
  demo->add_option("DIR", demoDir, "directorio de la instalación")->required();
  demo->add_option("--settings", settings, "directorio de la configuración");

  auto* check = cli.add_subcommand("check", "revisa todas las tablas, reconstruye sus claves e informa");
  std::string checkDir;
  check->add_option("DIR", checkDir, "directorio de la instalación")->required();
  check->add_option("--settings", settings, "directorio de la configuración");

  auto* shots = cli.add_subcommand("screenshots", "guarda imágenes PNG de las pantallas principales");
  std::string shotsDir;
  shots->add_option("OUTDIR", shotsDir, "directorio de las imágenes")->required();
  shots->add_option("--data", data, "directorio de la instalación (obligatorio)");
  shots->add_option("--settings", settings, "directorio de la configuración");

  auto* analysis = cli.add_subcommand("analisis", "análisis de precio unitario de un concepto");
  std::string account, zone = "1";
  bool json = false;
  analysis->add_option("CTA", account, "cuenta del concepto")->required();
  analysis->add_option("--data", data, "directorio de la instalación (obligatorio)");
  analysis->add_option("--settings", settings, "directorio de la configuración");
  analysis->add_option("--zona", zone, "zona de salario, 1 a 5 (por omisión 1)");
  analysis->add_flag("--json", json, "un objeto JSON en lugar de la tabla");

  auto* worksList = cli.add_subcommand("obras", "el registro de obras con sus totales");
  worksList->add_option("--data", data, "directorio de la instalación (obligatorio)");
  worksList->add_option("--settings", settings, "directorio de la configuración");
  worksList->add_flag("--json", json, "una lista JSON en lugar de la tabla");

  std::string workCode;
  auto* recalc = cli.add_subcommand("calcula", "recalcula el presupuesto de una obra y lo muestra");
  auto* budget = cli.add_subcommand("presupuesto", "muestra el presupuesto de una obra sin recalcularlo");
  for (auto* sub : {recalc, budget}) {
    sub->add_option("--obra", workCode, "cuenta de la obra")->required();
    sub->add_option("--data", data, "directorio de la instalación (obligatorio)");
    sub->add_option("--settings", settings, "directorio de la configuración");
    sub->add_flag("--json", json, "un objeto JSON en lugar de la tabla");
  }

  auto* report = cli.add_subcommand("report", "un reporte sin pantalla, a PDF, texto o imágenes");
  std::string reportName;
  app::ReportTarget target;
  app::ReportFlags reportFlags;
  bool listReports = false;
  report->add_option("NOMBRE", reportName, "el reporte (velmora report --list los nombra)");
  report->add_flag("--list", listReports, "nombra los reportes");
  report->add_option("--obra", reportFlags.work, "la obra de los reportes de obra");
  report->add_option("--desde", reportFlags.first, "renglón o cuenta inicial (0: desde el primero)");
  report->add_option("--hasta", reportFlags.last, "renglón o cuenta final (0: hasta el último)");
  report->add_option("--completa", reportFlags.fullDescription, "S: la descripción completa; N: su primera línea")
      ->check(CLI::IsMember({"S", "N"}));
  report->add_option("--resumen", reportFlags.closingSummary, "S: indirectos, utilidad e IVA al final; N: sin ellos")
      ->check(CLI::IsMember({"S", "N"}));
  report->add_option("--titulo", reportFlags.title, "título principal del reporte");
  report->add_option("--generico", reportFlags.genericKey, "insumos: sólo los de esta clave genérica");
  report->add_option("--orden", reportFlags.order, "insumos: C cuenta, G clave, A alfabético")
      ->check(CLI::IsMember({"C", "G", "A"}));
  report->add_option("--fecha-desde", reportFlags.firstDate, "insumos: precios desde esta fecha (dd/mm/aaaa)");
  report->add_option("--fecha-hasta", reportFlags.lastDate, "insumos: precios hasta esta fecha (dd/mm/aaaa)");
  report->add_option("--zona", reportFlags.zone, "insumos y salarios: la zona, 1 a 5")->check(CLI::Range(1, 5));
  report->add_option("--data", data, "directorio de la instalación (obligatorio)");
  report->add_option("--settings", settings, "directorio de la configuración");
  report->add_option("--pdf", target.pdf, "escribe el reporte en este archivo PDF");
  report->add_option("--txt", target.txt, "escribe el reporte en este archivo de texto");
  report->add_option("--png", target.png, "escribe cada hoja como imagen PNG en este directorio");
  report->add_option("--xlsx", target.xlsx, "presupuesto, detalle, concentrado, explosion e insumos: hoja de cálculo");

  auto* backup = cli.add_subcommand("respalda", "respalda los archivos del sistema y cada obra en archivos zip");
  velmora::services::BackupRequest backupRequest;
  std::string destination;
  bool withoutWorks = false, withoutSystem = false;
  backup->add_option("--data", data, "directorio de la instalación (obligatorio)");
  backup->add_option("--settings", settings, "directorio de la configuración");
  backup->add_option("--destino", destination, "directorio donde quedan los respaldos")->required();
  backup->add_flag("--sin-obras", withoutWorks, "no respalda las obras");
  backup->add_flag("--sin-sistema", withoutSystem, "no respalda los archivos del sistema");

  auto* restore = cli.add_subcommand("restaura", "pone de vuelta un respaldo: los archivos del sistema o una obra");
  std::string restoreFrom, restoreWork;
  restore->add_option("--data", data, "directorio de la instalación (obligatorio)");
  restore->add_option("--settings", settings, "directorio de la configuración");
  restore->add_option("--desde", restoreFrom, "el archivo zip del respaldo")->required();
  restore->add_option("--obra", restoreWork, "la obra que debe contener el respaldo");

  auto* server = cli.add_subcommand("servidor", "muestra o cambia el servidor de actualizaciones");
  app::ServerOptions serverOptions;
  server->add_option("--data", data, "directorio de la instalación (obligatorio)");
  server->add_option("--settings", settings, "directorio de la configuración");
  server->add_option("--host", serverOptions.host, "HOST o HOST:PUERTO del servidor FTP");
  server->add_option("--usuario", serverOptions.user, "cuenta en el servidor");
  server->add_option("--clave", serverOptions.password, "clave de la cuenta");
  server->add_option("--directorio", serverOptions.directory, "directorio de las actualizaciones (vacío: /)");

  auto* update = cli.add_subcommand("actualiza", "baja del servidor los archivos nuevos de la actualización");
  app::UpdateOptions updateOptions;
  update->add_option("--data", data, "directorio de la instalación (obligatorio)");
  update->add_option("--settings", settings, "directorio de la configuración");
  update
      ->add_option("--espera-respuesta", updateOptions.replySeconds,
                   "segundos de espera de cada respuesta del servidor (por omisión 30)")
      ->check(CLI::Range(1, 3600));
  update
      ->add_option("--cierre-datos", updateOptions.dataCloseSeconds,
                   "segundos que se espera el cierre de los datos tras el fin de una transferencia (por omisión 5)")
      ->check(CLI::Range(1, 600));
  update
      ->add_option("--limite", updateOptions.runSeconds,
                   "segundos que puede durar toda la actualización (por omisión 3600)")
      ->check(CLI::Range(1, 86400));

  auto* merge = cli.add_subcommand("coloca", "coloca los precios bajados en una lista de precios de los insumos");
  int mergeList = 0;
  merge->add_option("--data", data, "directorio de la instalación (obligatorio)");
  merge->add_option("--settings", settings, "directorio de la configuración");
  merge->add_option("--lista", mergeList, "la lista de precios (zona), 1 a 5")->required();

  auto* priceImport = cli.add_subcommand("importa-precios", "importa la lista de precios de un proveedor (xlsx o CSV)");
  app::PriceImportOptions priceImportOptions;
  priceImport->add_option("--data", data, "directorio de la instalación (obligatorio)");
  priceImport->add_option("--settings", settings, "directorio de la configuración");
  priceImport->add_option("--lista", priceImportOptions.list, "la lista de precios (zona), 1 a 5")->required();
  priceImport->add_option("--xlsx", priceImportOptions.xlsx, "el libro de la lista");
  priceImport->add_option("--hoja", priceImportOptions.sheet, "la hoja del libro (por omisión, la primera)");
  priceImport->add_option("--csv", priceImportOptions.csv, "la lista en CSV");
  priceImport->add_option("--columnas", priceImportOptions.columns,
                          "cuenta=A,generico=B,clave=C,precio=D,fecha=E (por omisión, según los títulos)");
  priceImport->add_option("--fecha", priceImportOptions.date, "fecha de los precios sin fecha (dd/mm/aaaa; hoy)");
  priceImport->add_flag("--prueba", priceImportOptions.dryRun, "muestra los cambios sin escribir nada");

  auto* bc3Import = cli.add_subcommand("importa-bc3", "importa un catálogo FIEBDC-3 (BC3) a una lista de precios");
  app::Bc3Options bc3ImportOptions;
  bc3Import->add_option("--data", data, "directorio de la instalación (obligatorio)");
  bc3Import->add_option("--settings", settings, "directorio de la configuración");
  bc3Import->add_option("--lista", bc3ImportOptions.list, "la lista de precios (zona), 1 a 5")->required();
  bc3Import->add_option("archivo", bc3ImportOptions.file, "el archivo BC3")->required();
  bc3Import->add_flag("--prueba", bc3ImportOptions.dryRun,
                      "revisa el archivo y cuenta lo que haría, sin escribir nada");

  auto* bc3Export = cli.add_subcommand("exporta-bc3", "escribe el catálogo en FIEBDC-3 (BC3) con una lista de precios");
  app::Bc3Options bc3ExportOptions;
  bc3Export->add_option("--data", data, "directorio de la instalación (obligatorio)");
  bc3Export->add_option("--settings", settings, "directorio de la configuración");
  bc3Export->add_option("--lista", bc3ExportOptions.list, "la lista de precios (zona), 1 a 5")->required();
  bc3Export->add_option("--salida", bc3ExportOptions.file, "el archivo BC3 que se escribe")->required();

  auto* catalogueImport = cli.add_subcommand(
      "importa-catalogo", "importa el catálogo de conceptos del cliente (xlsx) al presupuesto de una obra");
  app::CatalogueImportOptions catalogueImportOptions;
  catalogueImport->add_option("--data", data, "directorio de la instalación (obligatorio)");
  catalogueImport->add_option("--settings", settings, "directorio de la configuración");
  catalogueImport->add_option("--obra", catalogueImportOptions.work, "la obra")->required();
  catalogueImport->add_option("--xlsx", catalogueImportOptions.xlsx, "el libro del cliente")->required();
  catalogueImport->add_option("--hoja", catalogueImportOptions.sheet, "la hoja del libro (por omisión, la primera)");
  catalogueImport->add_option("--columnas", catalogueImportOptions.columns,
                              "clave=A,descripcion=B,unidad=C,cantidad=D (por omisión, según los títulos)");
  catalogueImport->add_flag("--prueba", catalogueImportOptions.dryRun,
                            "muestra lo que se importaría sin escribir nada");

  auto* catalogueExport =
      cli.add_subcommand("exporta-catalogo", "escribe los precios de la obra en el libro del cliente (un libro nuevo)");
  app::CatalogueImportOptions catalogueExportOptions;
  catalogueExport->add_option("--data", data, "directorio de la instalación (obligatorio)");
  catalogueExport->add_option("--settings", settings, "directorio de la configuración");
  catalogueExport->add_option("--obra", catalogueExportOptions.work, "la obra")->required();
  catalogueExport->add_option("--xlsx", catalogueExportOptions.xlsx, "el libro del cliente")->required();
  catalogueExport->add_option("--salida", catalogueExportOptions.output, "el libro con los precios")->required();
  catalogueExport->add_option("--hoja", catalogueExportOptions.sheet, "la hoja del libro (por omisión, la primera)");
  catalogueExport->add_option("--columnas", catalogueExportOptions.columns,
                              "clave=A,descripcion=B,unidad=C,cantidad=D,precio=E,importe=F,letra=G "
                              "(por omisión, según los títulos)");

  const auto all = {demo,   check,       shots,     analysis,  worksList,       recalc,
                    budget, report,      backup,    restore,   server,          update,
                    merge,  priceImport, bc3Import, bc3Export, catalogueImport, catalogueExport};
  for (auto* sub : all) {
    sub->group("Órdenes");
    sub->set_help_flag("-h,--help", "muestra esta ayuda");
    sub->get_formatter()->label("Usage", "Uso");
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

  if (cli.get_subcommands().empty()) {
    // The desktop program: the only other arguments are the /net... switches.
    for (const std::string& extra : cli.remaining()) {
      if (!isNetSwitch(extra)) {
        std::cerr << "velmora: argumento no esperado: " << extra << " (velmora --help)\n";
        return kWrongUsage;
      }
    }
    return app::runGui(argc, argv, data, settings, openWork);
  }
  for (auto* sub : all) {
    if (sub->parsed() && !sub->remaining().empty()) {
      std::cerr << "velmora: argumento no esperado: " << sub->remaining().front() << "\n";
      return kWrongUsage;
    }
  }
  if (!cli.remaining().empty()) {
    std::cerr << "velmora: argumento no esperado: " << cli.remaining().front() << "\n";
    return kWrongUsage;
  }

  const bool needsData = shots->parsed() || analysis->parsed() || worksList->parsed() || recalc->parsed() ||
                         budget->parsed() || report->parsed() || backup->parsed() || restore->parsed() ||
                         server->parsed() || update->parsed() || merge->parsed() || priceImport->parsed() ||
                         bc3Import->parsed() || bc3Export->parsed() || catalogueImport->parsed() ||
                         catalogueExport->parsed();
  if (report->parsed() && listReports) {
    app::listReports(std::cout);
    return kDone;
  }
  if (report->parsed() && reportName.empty()) {
    std::cerr << "velmora: falta el nombre del reporte (velmora report --list los nombra)\n";
    return kWrongUsage;
  }
  if (needsData && data.empty()) {
    std::cerr << "velmora: falta --data DIR, el directorio de la instalación\n";
    return kWrongUsage;
  }
  if (shots->parsed()) return app::saveScreenshots(argc, argv, data, settings, shotsDir);

  ErrorReporter errors;
  velmora::StderrPresenter presenter;
  errors.setPresenter(&presenter);
  // A headless run that meets a fatal message ends with a failure status.
  errors.setFatalHandler([](const std::string&) { std::exit(kFailed); });

  // Every command holds the installation (shared) while it runs, after a
  // restore cut short is undone; a restore takes it alone by itself.
  velmora::services::InstallationUse use;
  const auto hold = [&](velmora::tables::Installation& inst, bool writes) {
    // A command that only reads works on a folder it cannot write (a
    // read-only copy of an installation) without complaints.
    if (!writes && !velmora::tables::canWriteIn(inst.dataDir)) inst.readingOnly = true;
    return app::useInstallation(inst, use, writes, std::cerr);
  };
  if (demo->parsed()) {
    std::error_code ec;
    std::filesystem::create_directories(demoDir, ec);
    auto inst = app::installationAt(demoDir, settings);
    if (!hold(inst, true)) return kFailed;
    return app::runDemo(inst, errors, std::cout, std::cerr);
  }
  if (check->parsed()) {
    auto inst = app::installationAt(checkDir, settings);
    if (!hold(inst, false)) return kFailed;
    return app::runCheck(inst, errors, std::cout, std::cerr);
  }

  if (backup->parsed()) {
    backupRequest.destination = destination;
    backupRequest.system = !withoutSystem;
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;  // a backup only reads
    if (!hold(inst, false)) return kFailed;
    if (!withoutWorks) backupRequest.works = velmora::services::registeredWorks(inst, errors);
    return app::runBackupCommand(inst, backupRequest, std::cout, std::cerr);
  }
  if (server->parsed()) {
    auto inst = app::installationAt(data, settings);
    if (!hold(inst, serverOptions.changes())) return kFailed;
    return app::runServerCommand(inst, errors, serverOptions, std::cout, std::cerr);
  }
  if (update->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;
    if (!hold(inst, true)) return kFailed;
    return app::runUpdateCommand(argc, argv, inst, errors, updateOptions, std::cout, std::cerr);
  }
  if (merge->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;
    if (!hold(inst, true)) return kFailed;
    return app::runMergeCommand(inst, errors, mergeList, std::cout, std::cerr);
  }
  if (priceImport->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;
    if (!hold(inst, !priceImportOptions.dryRun)) return kFailed;
    return app::runPriceImportCommand(inst, errors, priceImportOptions, std::cout, std::cerr);
  }
  if (bc3Import->parsed()) {
    // A catalogue may be read into a new installation: an empty folder.
    auto inst = app::installationAt(data, settings);
    inst.createMissing = std::filesystem::is_directory(data);
    if (!hold(inst, !bc3ImportOptions.dryRun)) return kFailed;
    return app::runBc3ImportCommand(inst, errors, bc3ImportOptions, std::cout, std::cerr);
  }
  if (catalogueImport->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;
    if (!hold(inst, !catalogueImportOptions.dryRun)) return kFailed;
    return app::runCatalogueImportCommand(inst, errors, catalogueImportOptions, std::cout, std::cerr);
  }
  if (catalogueExport->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;
    if (!hold(inst, false)) return kFailed;
    return app::runCatalogueExportCommand(inst, errors, catalogueExportOptions, std::cout, std::cerr);
  }
  if (bc3Export->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;
    if (!hold(inst, false)) return kFailed;
    return app::runBc3ExportCommand(inst, errors, bc3ExportOptions, std::cout, std::cerr);
  }
  if (restore->parsed()) {
    return app::runRestoreCommand(app::installationAt(data, settings), restoreFrom, restoreWork, std::cout, std::cerr);
  }
  if (report->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = false;  // a report only reads
    if (!hold(inst, false)) return kFailed;
    return app::runReport(argc, argv, inst, errors, reportName, reportFlags, target, std::cout, std::cerr);
  }
  if (worksList->parsed() || recalc->parsed() || budget->parsed()) {
    auto inst = app::installationAt(data, settings);
    inst.createMissing = recalc->parsed();  // only calcula writes (and may create a work's input table)
    if (!hold(inst, recalc->parsed())) return kFailed;
    if (worksList->parsed()) return app::runWorks(inst, errors, json, std::cout, std::cerr);
    return app::runBudget(inst, errors, workCode, recalc->parsed(), json, std::cout, std::cerr);
  }

  // analisis: numbers are read whole or refused.
  const auto cta = velmora::text::parseInteger(account);
  if (!cta || *cta <= 0 || *cta > INT32_MAX) {
    std::cerr << "velmora: la cuenta del concepto debe ser un número entero positivo: " << account << "\n";
    return kWrongUsage;
  }
  const auto zoneNumber = velmora::text::parseInteger(zone);
  if (!zoneNumber || *zoneNumber < 1 || *zoneNumber > 5) {
    std::cerr << "velmora: la zona debe ser un número entero del 1 al 5: " << zone << "\n";
    return kWrongUsage;
  }
  auto inst = app::installationAt(data, settings);
  inst.createMissing = false;  // a reading command never creates a table
  if (!hold(inst, false)) return kFailed;
  return app::runAnalysis(inst, errors, static_cast<int32_t>(*cta), json, static_cast<int>(*zoneNumber), std::cout,
                          std::cerr);
} catch (const std::exception& e) {
  // A path the system refuses, memory: one line, never a stack trace.
  std::cerr << "velmora: " << e.what() << "\n";
  return kFailed;
}
