#include "app/demo_data.h"

#include <ostream>

#include "app/commands.h"
#include "app/demo_catalogue.h"
#include "estimate/zones.h"
#include "shell/login.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

struct DemoZone {
  const char* name;
  double minimumSalary;
  double payrollTax;
};

// Minimum daily salaries of 2026: the northern border free zone and the rest.
constexpr DemoZone kZones[5] = {
    {"ZONA LIBRE FRONTERA NORTE", 440.87, 3.0},
    {"CIUDAD DE MEXICO", 315.04, 4.0},
    {"GUADALAJARA", 315.04, 2.0},
    {"MONTERREY", 315.04, 3.0},
    {"PUEBLA", 315.04, 3.0},
};

Status fillZones(tables::Table& control) {
  for (int z = 1; z <= 5; ++z) {
    control.rec().clear();
    control.rec().setInteger("CTA", z);
    if (control.fetch(control.keyIndex("KEYCTA"))) continue;
    auto& r = control.rec();
    r.clear();
    r.setInteger("CTA", z);
    r.setText("ZONA", kZones[z - 1].name);
    r.setReal("SUEL", kZones[z - 1].minimumSalary);
    r.setReal("PORC", 11.0);   // annual interest for the machinery hourly cost
    r.setReal("VACA", 3.0);    // vacation premium: 25 % of 12 days
    r.setReal("DIVA", 12.0);
    r.setReal("GRAT", 15.0);   // aguinaldo
    r.setReal("IINF", 5.0);
    r.setReal("ISAR", 2.0);
    r.setReal("IISN", kZones[z - 1].payrollTax);
    // IMSS quotas in percent (construction, work-risk class V).
    r.setReal("PIMS", 20.40);
    r.setReal("EIMS", 0.0);
    r.setReal("PDPR", 0.70);
    r.setReal("PDEM", 0.25);
    r.setReal("GMPA", 1.05);
    r.setReal("GMEM", 0.375);
    r.setReal("RIPA", 7.58875);
    r.setReal("RIEM", 0.0);
    r.setReal("INPA", 1.75);
    r.setReal("INEM", 0.625);
    r.setReal("GUPA", 1.0);
    r.setReal("GUEM", 0.0);   // retirement is charged as SAR above
    r.setReal("EXPA", 1.10);
    r.setReal("EXEM", 0.40);
    r.setReal("CEPA", 3.150);
    r.setReal("CEEM", 1.125);
    const char* days[] = {"DIAS FESTIVOS", "VACACIONES", "PERMISOS", "LLUVIAS"};
    const double counts[] = {7, 12, 2, 3};
    for (int i = 0; i < 4; ++i) {
      r.setText("DIAS", days[i], i + 1);
      r.setReal("SUDI", counts[i], i + 1);
    }
    r.setReal("SUDI", 52, 14);  // Sundays
    r.setReal("DHAB", estimate::workingDays(r));
    if (Status s = control.insert(); !s) return s;
  }
  return Status::ok();
}

Status addUser(tables::Table& pers, const char* name, const char* login, const char* password,
               std::initializer_list<int> levels) {
  pers.rec().clear();
  pers.rec().setText("NOMB", name);
  if (pers.fetch(pers.keyIndex("NOM_KEY"))) return Status::ok();
  pers.rec().clear();
  pers.rec().setText("NOMB", name);
  pers.rec().setText("LOGIN", login);
  pers.rec().setText("PASS", shell::storedUserPassword(password));
  int element = 1;
  for (int level : levels) pers.rec().setInteger("PRES", level, element++);
  return pers.insert();
}

}  // namespace

Status createDemoInstallation(const tables::Installation& inst, ErrorReporter& errors) {
  if (Status s = createDemoInstallationWithoutCatalogue(inst, errors); !s) return s;
  return fillDemoCatalogue(inst, errors);
}

Status createDemoInstallationWithoutCatalogue(const tables::Installation& inst, ErrorReporter& errors) {
  std::error_code ec;
  fs::create_directories(inst.dataDir, ec);
  fs::create_directories(inst.settingsDir, ec);
  if (!fs::is_directory(inst.dataDir) || !fs::is_directory(inst.settingsDir)) {
    return Status::error(Status::Code::kIoError,
                         "no se pudo crear el directorio " + inst.dataDir.string());
  }
  fs::create_directories(inst.dataDir / "ACTUALIZACION", ec);
  for (const auto* def : installationTables()) {
    auto t = inst.table(def->label, errors);
    if (Status s = t->open(); !s) return s;
  }

  auto vga = inst.table("VGA", errors);
  if (Status s = vga->open(); !s) return s;
  vga->rec().setInteger("CTA", 1);
  if (!vga->fetch(vga->keyIndex("CTA_KEY"))) {
    vga->rec().clear();
    vga->rec().setInteger("CTA", 1);
    vga->rec().setText("CIA", "CONSTRUCTORA DEMOSTRACION S.A. DE C.V.");
    vga->rec().setText("LOGIN", kDemoMasterLogin);
    vga->rec().setText("CLAV", shell::storedMasterPassword(kDemoMasterPassword));
    if (Status s = vga->insert(); !s) return s;
  }

  auto control = inst.table("CONTROL", errors);
  if (Status s = control->open(); !s) return s;
  if (Status s = fillZones(*control); !s) return s;

  auto pers = inst.table("PERS", errors);
  if (Status s = pers->open(); !s) return s;
  if (Status s = addUser(*pers, "JUAN PEREZ GARCIA", "JPEREZ", "obra2026",
                         {5, 5, 5, 5, 5, 5, 5, 5, 5});
      !s) {
    return s;
  }
  return addUser(*pers, "MARIA LOPEZ RUIZ", "mlopez", "captura", {0, 2, 2, 2, 1, 1, 2, 2, 2});
}

int runDemo(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out,
            std::ostream& err) {
  if (Status s = createDemoInstallation(inst, errors); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  out << "Instalación de demostración lista en " << inst.dataDir.string() << "\n"
      << "Acceso maestro: " << kDemoMasterLogin << " / " << kDemoMasterPassword << "\n";
  return 0;
}

}  // namespace velmora::app
