#include "app/demo_data.h"

#include <fstream>
#include <ostream>

#include "app/commands.h"
#include "app/demo_catalogue.h"
#include "app/demo_suppliers.h"
#include "app/demo_works.h"
#include "estimate/zones.h"
#include "shell/login.h"
#include "shell/records.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

// Minimum daily salaries of 2026: the northern border free zone and the rest.
const std::array<estimate::ZoneDefaults, 5> kDemoZones = {{
    {"ZONA LIBRE FRONTERA NORTE", 440.87, 3.0},
    {"CIUDAD DE MEXICO", 315.04, 4.0},
    {"GUADALAJARA", 315.04, 2.0},
    {"MONTERREY", 315.04, 3.0},
    {"PUEBLA", 315.04, 3.0},
}};

Status addUser(tables::Table& pers, const char* name, const char* login, const char* password,
               std::initializer_list<int> levels) {
  pers.rec().clear();
  pers.rec().setText("NOMB", name);
  if (const tables::Found known = pers.fetch(pers.keyIndex("NOM_KEY")); !known.absent()) return known.status();
  shell::User user{0, name, login, shell::storedUserPassword(password), {}};
  size_t element = 0;
  for (int level : levels) user.levels[element++] = static_cast<uint8_t>(level);
  pers.rec() = shell::userRecord(user);
  return pers.insert();
}

}  // namespace

Status createDemoInstallation(const tables::Installation& inst, ErrorReporter& errors) {
  if (Status s = createDemoInstallationWithoutCatalogue(inst, errors); !s) return s;
  if (Status s = fillDemoCatalogue(inst, errors); !s) return s;
  if (Status s = fillDemoSuppliers(inst, errors); !s) return s;
  return fillDemoWorks(inst, errors);
}

Status createDemoInstallationWithoutCatalogue(const tables::Installation& inst, ErrorReporter& errors) {
  std::error_code ec;
  fs::create_directories(inst.dataDir, ec);
  fs::create_directories(inst.settingsDir, ec);
  if (!fs::is_directory(inst.dataDir) || !fs::is_directory(inst.settingsDir)) {
    return Status::error(Status::Code::kIoError, "no se pudo crear el directorio " + inst.dataDir.string());
  }
  fs::create_directories(inst.dataDir / "ACTUALIZACION", ec);
  for (const auto* def : installationTables()) {
    auto t = inst.table(def->label, errors);
    if (Status s = t->open(); !s) return s;
  }

  auto vga = inst.table("VGA", errors);
  if (Status s = vga->open(); !s) return s;
  shell::InstallationSettings settings;
  if (!shell::readSettings(*vga, &settings)) {
    vga->rec() = shell::settingsRecord(
        {"CONSTRUCTORA DEMOSTRACION S.A. DE C.V.", kDemoMasterLogin, shell::storedMasterPassword(kDemoMasterPassword)});
    if (Status s = vga->insert(); !s) return s;
  }

  auto control = inst.table("CONTROL", errors);
  if (Status s = control->open(); !s) return s;
  if (Status s = estimate::addMissingZones(*control, kDemoZones); !s) return s;

  auto pers = inst.table("PERS", errors);
  if (Status s = pers->open(); !s) return s;
  if (Status s = addUser(*pers, "JUAN PEREZ GARCIA", "JPEREZ", "obra2026", {5, 5, 5, 5, 5, 5, 5, 5, 5}); !s) {
    return s;
  }
  return addUser(*pers, "MARIA LOPEZ RUIZ", "mlopez", "captura", {0, 2, 2, 2, 1, 1, 2, 2, 2});
}

int runDemo(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out, std::ostream& err) {
  if (Status s = createDemoInstallation(inst, errors); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  // Every step above completes what a killed run left half-made; only a run
  // that got here marks the installation complete.
  std::ofstream(inst.dataDir / kDemoCompleteMark) << "completa\n";
  out << "Instalación de demostración lista en " << inst.dataDir.string() << "\n"
      << "Acceso maestro: " << kDemoMasterLogin << " / " << kDemoMasterPassword << "\n";
  return 0;
}

}  // namespace velmora::app
