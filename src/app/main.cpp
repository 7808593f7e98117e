// velmora: the desktop application, or a headless subcommand.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/analysis_command.h"
#include "app/commands.h"
#include "app/demo_data.h"
#include "app/gui.h"
#include "framework/error_reporter.h"

namespace {

void usage(std::ostream& out) {
  out << "Uso:\n"
         "  velmora [--data DIR] [--settings DIR]  abre el sistema sobre el directorio de datos\n"
         "  velmora screenshots OUTDIR --data DIR  guarda imágenes de las pantallas principales\n"
         "  velmora analisis --data DIR CTA [--json] [--zona N]  análisis de precio unitario de un concepto\n"
         "  velmora demo DIR [--settings DIR]    crea una instalación de demostración\n"
         "  velmora check DIR [--settings DIR]   revisa todas las tablas y repara sus claves\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string settings, data, zone = "1";
  bool json = false;
  for (size_t i = 0; i < args.size();) {
    if (i + 1 < args.size() && (args[i] == "--settings" || args[i] == "--data" || args[i] == "--zona")) {
      (args[i] == "--data" ? data : args[i] == "--zona" ? zone : settings) = args[i + 1];
      args.erase(args.begin() + i, args.begin() + i + 2);
    } else if (args[i] == "--json") {
      json = true;
      args.erase(args.begin() + i);
    } else {
      ++i;
    }
  }
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    usage(std::cout);
    return 0;
  }
  // No subcommand (the network-trace switches may follow): the desktop program.
  if (args.empty() || args[0][0] == '/') return velmora::app::runGui(argc, argv, data, settings);
  if (args[0] == "screenshots" && args.size() == 2) {
    return velmora::app::saveScreenshots(argc, argv, data.empty() ? "." : data, settings, args[1]);
  }

  velmora::ErrorReporter errors;
  velmora::StderrPresenter presenter;
  errors.setPresenter(&presenter);
  // A headless run that meets a fatal message ends with a failure status.
  errors.setFatalHandler([](const std::string&) { std::exit(1); });

  const std::string& command = args[0];
  if ((command == "demo" || command == "check") && args.size() == 2) {
    const auto inst = velmora::app::installationAt(args[1], settings);
    return command == "demo" ? velmora::app::runDemo(inst, errors, std::cout, std::cerr)
                             : velmora::app::runCheck(inst, errors, std::cout, std::cerr);
  }
  if (command == "analisis" && args.size() == 2) {
    if (data.empty()) {
      std::cerr << "velmora: falta --data DIR\n";
      return 2;
    }
    const auto inst = velmora::app::installationAt(data, settings);
    return velmora::app::runAnalysis(inst, errors, args[1], json, std::atoi(zone.c_str()), std::cout, std::cerr);
  }
  std::cerr << "velmora: orden desconocida o incompleta: " << command << "\n";
  usage(std::cerr);
  return 2;
}
