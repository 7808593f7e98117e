#include "ui/catalog/machine_screens.h"

#include <QLabel>
#include <QPushButton>

#include "catalog/prices.h"
#include "framework/picture.h"
#include "ui/catalog/concept_screens.h"

namespace velmora::ui {

using namespace browse_button;

BrowseSpec machineListSpec() {
  const ColumnSpec cta{"CTA", "CTA", "n_6"}, gen{"GEN", "GENE", "s3"}, key{"CLAVE", "LLAV", "s9"},
      desc{"DESCRIPCION", "TEXT", "s50"}, desc2{"DESCRIPCION(2)", "TEX1", "s50"};
  BrowseSpec s;
  s.procedure = "CAP_COS";
  s.title = "MOSTRANDO COSTOS HORARIOS";
  s.table = "MABA";
  s.tabs = {{"x DESCRIPCION", "DES_KEY", {cta, gen, key, desc, desc2}, "DESCRIPCION:"},
            {"x CUENTA", "CTA_KEY", {cta, gen, key, desc, desc2}, "CTA:"},
            {"x CLAVE", "CLA_KEY", {cta, gen, key, desc, desc2}, "GENERICO:"}};
  s.buttons = kSelect | kInsert | kChange | kDelete | kQuery | kClose;
  s.captions = {
      {kSelect, "&Selecciona"}, {kInsert, "&Alta"}, {kChange, "&Cambiar"}, {kDelete, "&Borrar"}, {kClose, "C&ierra"}};
  s.deleteElement = shell::element::kMachinery;
  s.form = runMachineForm;
  return s;
}

BrowseWindow* makeMachineList(Context& ctx, bool picking) {
  auto* list = new BrowseWindow(ctx, machineListSpec(), picking);
  addKeysButton(list, 2, "Ver Claves", "H");
  return list;
}

namespace {

std::vector<FieldSpec> machineFields() {
  return {
      {"No Cuenta:", "CTA", "n-14"},
      {"Clave Genérica:", "GENE", "s3"},
      {"Clave:", "LLAV", "s9"},
      {"Descripción:", "TEXT", "s50"},
      {"", "TEX1", "s50"},
      {"Cta Equipo:", "EQUI", "n_6"},
      {"% Valor Rescate:", "FINA", "n6.2"},
      {"Vida Economica Hrs:", "HORV", "n-7"},
      {"Cta Llantas:", "NEUM", "n_6"},
      {"Número Llantas:", "NNEU", "n_3"},
      {"Vida Economica Llantas:", "HORL", "n_6"},
      {"Capacidad Carter:", "CACE", "n7.2"},
      {"Horas Cambio Lubricante:", "HACE", "n_6"},
      {"Consumo Lubricante x Hr:", "COLU", "n7.4"},
      {"Cuenta Lubricante:", "ACEI", "n_6"},
      {"Cta Fluido Hidráulico:", "FLHI", "n_6"},
      {"Fluido x Hr:", "FLHR", "n_6"},
      {"% Prima Seguro:", "SEGU", "n6.2"},
      {"Factor Mantenimiento:", "FACT", "n7.4"},
      {"Horas Anuales Trabajadas:", "ANUA", "n_6"},
      {"Cta Cuadrilla de Operacion:", "SUEL", "n_6"},
      {"Cta Combustible:", "COMB", "n_6"},
      {"Consumo x Hr.", "CONS", "n7.4"},
  };
}

constexpr const char* kTotalLabels[4] = {"CONSUMOS:", "COSTOS FIJOS:", "COSTO DE OPERACION:", "COSTO HORARIO:"};

}  // namespace

MachineForm::MachineForm(Context& ctx, tables::Table& maba, FormRequest request, QWidget* parent)
    : RecordForm(ctx, maba, request, "Actualizando Archivo de Costos Horarios", {"General"}, machineFields(), {},
                 parent),
      prices_(ctx.session.installation, ctx.errors, ctx.session.currentZone()) {
  setObjectName("UpdateMABA");
  // The form uses the interest and working days of the current zone.
  auto control = ctx.session.installation.table("CONTROL", ctx.errors);
  if (control->open()) {
    control->rec().setInteger("CTA", ctx.session.currentZone());
    if (control->fetch(control->keyIndex("KEYCTA")).found()) rates_ = catalog::machineRates(control->rec());
  }
  engine_ =
      std::make_unique<catalog::PricingEngine>(ctx.session.installation, ctx.errors, prices_, ctx.session.zone, rates_);
  picker = modalGenericKeyPicker(ctx, this);
  accountPicker = modalAccountPicker(ctx, this);
  // Each account entry has a lookup: the input list, or the basics for the crew.
  const std::pair<const char*, char> accounts[] = {{"EQUI", 'I'}, {"NEUM", 'I'}, {"ACEI", 'I'},
                                                   {"FLHI", 'I'}, {"SUEL", 'B'}, {"COMB", 'I'}};
  const bool editable = request == FormRequest::kInsert || request == FormRequest::kChange;
  for (const auto& [field, type] : accounts) {
    auto* lookup = new QPushButton("...");
    lookup->setObjectName(QString("lookup_") + field);
    lookup->setFixedWidth(32);
    lookup->setEnabled(editable);
    addBesideField(field, lookup);
    const std::string name = field;
    const char kind = type;
    connect(lookup, &QPushButton::clicked, this, [this, name, kind] {
      if (auto account = accountPicker(kind)) {
        setFieldText(name, QString::number(*account));
        recompute();
      }
    });
  }
  for (int i = 0; i < 4; ++i) {
    totals_[i] = new QLabel;
    totals_[i]->setObjectName(QString("total%1").arg(i));
    totals_[i]->setAlignment(Qt::AlignRight);
    addRow(0, kTotalLabels[i], totals_[i]);
  }
  resize(620, height());
}

void MachineForm::recompute() {
  tables::Record m = table_.rec();
  if (!currentRecord(m)) return;
  const catalog::Machine machine = catalog::machineOf(m);
  shown_ = catalog::hourlyCostTerms(machine, engine_->machineInputs(machine), rates_);
  const double values[4] = {shown_.consumptions, shown_.fixed, shown_.operation, shown_.total};
  for (int i = 0; i < 4; ++i) totals_[i]->setText(QString::fromStdString(picture::formatNumber(values[i], "n15.2")));
}

void MachineForm::fieldAccepted(const FieldSpec& field) {
  if (field.field == "GENE") {
    if (auto code = checkGenericKey(ctx_, "H", fieldText("GENE").toStdString(), picker)) {
      setFieldText("GENE", QString::fromStdString(*code));
    }
  }
  recompute();
}

bool MachineForm::validate() {
  if (table_.rec().integer("CTA") <= 0) {
    ctx_.prompter.warn({"DEBE DARLE UN NUMERO DE CUENTA", "A LA MAQUINA", "CON Ok CONTINUA..."});
    fieldWidget("CTA")->setFocus();
    return false;
  }
  return acceptGenericKey(ctx_, "H", table_.rec(), fieldWidget("GENE"), picker);
}

bool runMachineForm(BrowseWindow& list, tables::Table& maba, FormRequest request) {
  Context& ctx = list.context();
  if (!formAccessAllowed(ctx, shell::element::kMachinery, request)) return false;
  MachineForm form(ctx, maba, request, &list);
  return form.run();
}

}  // namespace velmora::ui
