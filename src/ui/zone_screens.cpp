#include "ui/zone_screens.h"

#include <QLineEdit>
#include <QTabWidget>

#include "estimate/zones.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

std::vector<FieldSpec> zoneFields() {
  std::vector<FieldSpec> f = {
      {"No Zona:", "CTA", "n_1", 0},
      {"Nombre de la Zona:", "ZONA", "s30", 0},
      {"Sueldo Mínimo en Zona:", "SUEL", "n10.2", 0},
      {"Días Hábiles:", "DHAB", "n6.2", 0, 1, FieldSpec::Kind::kEdit, true},
      {"% Interes en la Zona:", "PORC", "n6.2", 0},
      {"% Prima Vacacional:", "VACA", "n6.2", 0},
      {"Días de Vacación:", "DIVA", "n6.2", 0},
      {"Días de Gratificación Anual:", "GRAT", "n6.2", 0},
      {"% Infonavit:", "IINF", "n6.2", 0},
      {"% Sar:", "ISAR", "n6.2", 0},
      {"% Impuesto sobre Nómina:", "IISN", "n6.2", 0},
      {"Factor de Salario fijo < 3 S.M.:", "MINI", "n8.4", 0},
      {"Factor de Salario fijo > 3 S.M.:", "MAXI", "n8.4", 0},
      {"Sábados:", "SUDI", "n6.2", 1, 15},
      {"Domingos:", "SUDI", "n6.2", 1, 14},
  };
  for (int i = 1; i <= 13; ++i) {
    f.push_back({"Descripción:", "DIAS", "s20", 1, i});
    FieldSpec days{"Días:", "SUDI", "n6.2", 1, i};
    days.sameRow = true;
    f.push_back(days);
  }
  const std::pair<const char*, const char*> quotas[] = {
      {"% CUOTA FIJA PATRON:", "PIMS"},
      {"% CUOTA FIJA EMPLEADO:", "EIMS"},
      {"% PRESTACIONES EN DINERO PATRON:", "PDPR"},
      {"% PRESTACIONES EN DINERO EMPLEADO:", "PDEM"},
      {"% PRESTACIONES EN ESPECIE PATRON:", "GMPA"},
      {"% PRESTACIONES EN ESPECIE EMPLEADO:", "GMEM"},
      {"% RIESGOS DEL TRABAJO PATRON:", "RIPA"},
      {"% RIESGOS DEL TRABAJO EMPLEADO:", "RIEM"},
      {"% INVALIDEZ Y VIDA PATRON:", "INPA"},
      {"% INVALIDEZ Y VIDA EMPLEADO:", "INEM"},
      {"% GUARDERIAS Y P. SOCIALES PATRON:", "GUPA"},
      {"% RETIRO PATRON:", "GUEM"},
      {"% CESANTIA Y VEJEZ PATRON:", "CEPA"},
      {"% CESANTIA Y VEJEZ EMPLEADO:", "CEEM"},
      {"% EXCEDENTE 3 SAL MINIMOS PATRON:", "EXPA"},
      {"% EXCEDENTE 3 SAL MINIMOS EMPLEADO:", "EXEM"},
  };
  for (const auto& [label, field] : quotas) f.push_back({label, field, "n10.6", 2});
  return f;
}

}  // namespace

void chooseZone(Context& ctx, int zone) {
  auto control = ctx.session.installation.table("CONTROL", ctx.errors);
  if (!control->open()) return;
  estimate::ZoneFactors chosen;
  if (!estimate::loadZoneFactors(*control, zone, &chosen)) return;  // shown; the zone stays as it was
  ctx.session.zone = chosen;
  if (!ctx.session.zone.complete) {
    ctx.prompter.warn({"LA ZONA DE SALARIO " + std::to_string(zone) + " ESTA INCOMPLETA",
                       "SUS FACTORES DE SALARIO REAL", "SE TOMAN COMO 1.0000"});
  }
}

ZoneForm::ZoneForm(Context& ctx, tables::Table& control, FormRequest request, QWidget* parent)
    : RecordForm(ctx, control, request, "Actualizando Estudio de Salarios", {"General", "Días no Hábiles", "I.M.S.S."},
                 zoneFields(), {}, parent) {
  setObjectName("UpdateCONTROL");
}

bool ZoneForm::validate() {
  if (auto w = estimate::zoneNumberWarning(static_cast<int>(table_.rec().integer("CTA")))) {
    ctx_.prompter.warn(*w);
    tabs()->setCurrentIndex(0);
    fieldWidget("CTA")->setFocus();
    return false;
  }
  return true;
}

void ZoneForm::beforeSave(tables::Record& r) {
  r.setReal("DHAB", estimate::workingDays(r));
  table_.setAuditUser(ctx_.login().user);
}

bool runZoneForm(BrowseWindow& list, tables::Table& control, FormRequest request) {
  Context& ctx = list.context();
  if (!formAccessAllowed(ctx, shell::element::kZones, request)) return false;
  ZoneForm form(ctx, control, request, &list);
  return form.run();
}

BrowseSpec zoneListSpec() {
  BrowseSpec s;
  s.procedure = "CAP_EST";
  s.title = "Mostrando Zonas de Salario";
  s.table = "CONTROL";
  s.tabs = {{"Seleccione", "KEYCTA", {{"ZONA", "CTA", "n1"}, {"D E S C R I P C I O N", "ZONA", "s30"}}}};
  s.buttons = kSelect | kChange | kClose;
  s.captions = {{kSelect, "&Selecciona"}, {kChange, "&Cambia"}, {kClose, "C&ierra"}};
  s.form = runZoneForm;
  return s;
}

BrowseWindow* openZoneList(Context& ctx) {
  auto* list = new BrowseWindow(ctx, zoneListSpec());
  QObject::connect(list, &BrowseWindow::selected, list,
                   [&ctx](const tables::Record& r) { chooseZone(ctx, static_cast<int>(r.integer("CTA"))); });
  ctx.openWindow(list);
  return list;
}

}  // namespace velmora::ui
