#include "tender/build_up.h"

#include <array>
#include <cmath>

namespace velmora::tender {

namespace {

struct GroupNames {
  IndirectGroup group;
  const char* name;
  const char* heading;
};
constexpr std::array<GroupNames, kIndirectGroupCount> kGroups{{
    {IndirectGroup::kFeesAndSalaries, "honorarios", "HONORARIOS, SUELDOS Y PRESTACIONES"},
    {IndirectGroup::kDepreciation, "depreciacion", "DEPRECIACIÓN, MANTENIMIENTO Y RENTAS"},
    {IndirectGroup::kServices, "servicios", "SERVICIOS"},
    {IndirectGroup::kFreight, "fletes", "FLETES Y ACARREOS"},
    {IndirectGroup::kOfficeExpenses, "gastos_oficina", "GASTOS DE OFICINA"},
    {IndirectGroup::kTraining, "capacitacion", "CAPACITACIÓN Y PROMOCIÓN"},
    {IndirectGroup::kInsuranceAndBonds, "seguros_fianzas", "SEGUROS Y FIANZAS"},
    {IndirectGroup::kPreliminaryWorks, "trabajos_previos", "TRABAJOS PREVIOS Y AUXILIARES"},
}};

const GroupNames& namesOf(IndirectGroup group) {
  for (const GroupNames& g : kGroups)
    if (g.group == group) return g;
  return kGroups[0];
}

Status refused(const std::string& field, const std::string& cause) {
  return Status::error(Status::Code::kInvalid, field + ": " + cause);
}

// A money amount or a percentage: finite and not negative.
Status checkQuantity(const std::string& field, double value) {
  if (!std::isfinite(value)) return refused(field, "el valor no es un número finito");
  if (value < 0) return refused(field, "el valor no puede ser negativo");
  return Status::ok();
}

}  // namespace

const char* modeName(Mode mode) { return mode == Mode::kPublicWorks ? "obra_publica" : "costo_directo"; }

std::optional<Mode> modeFromName(std::string_view name) {
  if (name == "costo_directo") return Mode::kDirectCost;
  if (name == "obra_publica") return Mode::kPublicWorks;
  return std::nullopt;
}

const char* groupName(IndirectGroup group) { return namesOf(group).name; }
const char* groupHeading(IndirectGroup group) { return namesOf(group).heading; }

std::optional<IndirectGroup> groupFromName(std::string_view name) {
  for (const GroupNames& g : kGroups)
    if (name == g.name) return g.group;
  return std::nullopt;
}

double chargesPercent(const std::vector<AdditionalCharge>& charges) {
  double sum = 0;
  for (const AdditionalCharge& c : charges) sum += c.percent;
  return sum;
}

Status validateBuildUp(const BuildUp& b) {
  for (size_t i = 0; i < b.indirects.size(); ++i) {
    const IndirectItem& item = b.indirects[i];
    const std::string field = "indirectos[" + std::to_string(i + 1) + "].";
    const std::pair<const char*, double> amounts[] = {{"oficina_central", item.centralOffice},
                                                      {"obra", item.site},
                                                      {"sueldo_mensual", item.monthlySalary},
                                                      {"meses", item.months}};
    for (const auto& [name, value] : amounts)
      if (Status s = checkQuantity(field + name, value); !s) return s;
  }

  const Financing& f = b.financing;
  const std::pair<const char*, double> rates[] = {{"financiamiento.tasa_anual", f.indicatorRate},
                                                  {"financiamiento.puntos", f.points},
                                                  {"financiamiento.anticipo", f.advance}};
  for (const auto& [name, value] : rates)
    if (Status s = checkQuantity(name, value); !s) return s;
  if (f.advance > 100) return refused("financiamiento.anticipo", "el anticipo no puede pasar de 100 %");
  if (f.paymentDays < 0) return refused("financiamiento.dias_pago", "los días no pueden ser negativos");

  const Profit& p = b.profit;
  const std::pair<const char*, double> profit[] = {
      {"utilidad.neta", p.net}, {"utilidad.isr", p.incomeTax}, {"utilidad.ptu", p.profitSharing}};
  for (const auto& [name, value] : profit)
    if (Status s = checkQuantity(name, value); !s) return s;
  if (p.incomeTax + p.profitSharing >= 100)
    return refused("utilidad.isr", "el ISR y la PTU suman 100 % o más y la utilidad no tendría cargo posible");

  for (size_t i = 0; i < b.charges.size(); ++i) {
    const std::string field = "cargos_adicionales[" + std::to_string(i + 1) + "].porcentaje";
    if (Status s = checkQuantity(field, b.charges[i].percent); !s) return s;
  }
  const double charges = chargesPercent(b.charges);
  if (charges >= 100)
    return refused("cargos_adicionales", "los cargos suman 100 % o más y no dejarían nada de cada pago");
  // The advance's amortisation and the withholdings come out of every
  // estimate: together they cannot take more than the whole of it.
  if (f.advance + charges > 100)
    return refused("financiamiento.anticipo",
                   "el anticipo y los cargos adicionales suman más de 100 % de cada estimación");
  return Status::ok();
}

}  // namespace velmora::tender
