#include "ui/catalog/concept_screens.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "tables/relations.h"
#include "ui/catalog/analysis_editor.h"
#include "ui/catalog/input_screens.h"
#include "ui/catalog/machine_screens.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

const ColumnSpec kCta{"CTA", "CTA", "n_6"}, kGen{"GEN", "GENE", "s3"}, kKey{"CLAVE", "LLAV", "s9"},
    kDesc{"DESCRIPCION", "TEXT", "s50"}, kUnit{"UNIDAD", "UNID", "s4"};

QString money(double v, const char* pic = "n14.2") { return QString::fromStdString(picture::formatNumber(v, pic)); }

catalog::MachineRates pricingRates(Context& ctx) {
  auto control = ctx.session.installation.table("CONTROL", ctx.errors);
  // A failure was shown by the table layer; the form then prices machines
  // without interest or working days, as with no zone at all.
  catalog::MachineRates rates;
  if (control->open()) (void)catalog::firstZoneRates(*control, &rates);
  return rates;
}

}  // namespace

BrowseSpec conceptListSpec() {
  BrowseSpec s;
  s.procedure = "CAP_CON";
  s.title = "Catálogo de Conceptos de Obra";
  s.table = "COBA";
  const std::vector<ColumnSpec> columns = {kCta, kGen, kKey, kDesc, kUnit};
  s.tabs = {{"x CUENTA", "CTA_KEY", columns, "CTA INICIAL:"},
            {"x CLAVE", "CLA_KEY", columns, "CLAVE GENERICA:"},
            {"x DESCRIPCION", "DES_KEY", {kDesc, kCta, kGen, kKey, kUnit}, "DESCRIPCION:"},
            {"x PALABRA", "DES_KEY", {}, "-"}};
  s.buttons = kSelect | kInsert | kChange | kDelete | kQuery | kClose;
  s.captions = {
      {kSelect, "&Selecciona"}, {kInsert, "&Alta"}, {kChange, "&Cambia"}, {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.textColour = [](const tables::Record& r) { return r.text("MIAS") == "1" ? QColor(255, 0, 0) : QColor(); };
  s.form = runConceptForm;
  return s;
}

BrowseWindow* makeConceptList(Context& ctx, bool picking) {
  auto* list = new BrowseWindow(ctx, picking ? conceptPickerSpec() : conceptListSpec(), picking);
  addKeysButton(list, 1, "Ver Claves", "C");
  addWordFilter(list, 3, "TEXT", "TEX1")->addStretch();
  return list;
}

BrowseSpec conceptPickerSpec() {
  BrowseSpec s;
  s.procedure = "BUSCA_CON";
  s.title = "Seleccionando Conceptos de Obra";
  s.table = "COBT";
  const ColumnSpec cta{"CTA", "CTA", "n_7"}, gen{"GEN", "GENE", "s3"}, key{"CLAVE", "LLAV", "s9"},
      desc{"DESCRIPCION", "TEXT", "s35"}, unit{"UNID", "UNID", "s4"};
  s.tabs = {{"x CUENTA", "CTA_KEY", {cta, gen, key, desc, unit}, "CTA INICIAL:"},
            {"x CLAVE", "CLA_KEY", {cta, gen, key, desc, unit}, "CLAVE GENERICA:"},
            {"x DESCRIPCION", "DES_KEY", {desc, cta, gen, key, unit}, "DESCRIPCION:"},
            {"x PALABRA", "DES_KEY", {}, "-"}};
  s.buttons = kSelect | kQuery;
  s.captions = {{kSelect, "&Selecciona"}};
  return s;
}

AccountPicker modalAccountPicker(Context& ctx, QWidget* parent) {
  return [&ctx, parent](char type) -> std::optional<int32_t> {
    BrowseWindow* list = type == 'B'   ? makeConceptList(ctx, true)
                         : type == 'C' ? makeMachineList(ctx, true)
                                       : makeInputList(ctx, true);
    const auto chosen = pickFromList(list, parent, QSize(760, 480));
    if (!chosen) return std::nullopt;
    return static_cast<int32_t>(chosen->integer("CTA"));
  };
}

// ---- CAP_DET ----------------------------------------------------------------------------

LineEditor::LineEditor(catalog::PricingEngine& engine, Prompter& prompter, const catalog::EditedLine* line,
                       QWidget* parent)
    : QDialog(parent), engine_(engine), prompter_(prompter) {
  setObjectName("CAP_DET");
  setWindowTitle("Línea del Análisis");
  auto* layout = new QVBoxLayout(this);
  auto* types = new QHBoxLayout;
  type_ = new QButtonGroup(this);
  const std::pair<const char*, char> kinds[] = {{"INSUMO", 'I'}, {"BASICO", 'B'}, {"COSTO HORARIO", 'C'}};
  for (const auto& [caption, code] : kinds) {
    auto* radio = new QRadioButton(caption);
    radio->setObjectName(QString("type_%1").arg(code));
    type_->addButton(radio, code);
    types->addWidget(radio);
  }
  layout->addLayout(types);
  auto* form = new QFormLayout;
  auto* accountRow = new QHBoxLayout;
  account_ = new QLineEdit;
  account_->setObjectName("account");
  auto* lookup = new QPushButton("...");
  lookup->setObjectName("lookup");
  auto* work = new QPushButton("OBRA");
  work->setObjectName("workLookup");
  work->setEnabled(false);  // no work is open in the base catalogue
  accountRow->addWidget(account_);
  accountRow->addWidget(lookup);
  accountRow->addWidget(work);
  form->addRow("No de Cuenta:", accountRow);
  description_ = new QLabel;
  unit_ = new QLabel;
  quantity_ = new QLineEdit;
  quantity_->setObjectName("quantity");
  quantity_->setAlignment(Qt::AlignRight);
  price_ = new QLabel;
  amount_ = new QLabel;
  form->addRow("Descripción:", description_);
  form->addRow("Unidad:", unit_);
  form->addRow("Cantidad:", quantity_);
  form->addRow("Precio:", price_);
  form->addRow("Importe:", amount_);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancela");
  connect(buttons, &QDialogButtonBox::accepted, this, &LineEditor::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(account_, &QLineEdit::editingFinished, this, &LineEditor::refresh);
  connect(quantity_, &QLineEdit::editingFinished, this, &LineEditor::refresh);
  connect(type_, &QButtonGroup::idClicked, this, &LineEditor::refresh);
  connect(lookup, &QPushButton::clicked, this, [this] {
    if (!picker) return;
    if (auto account = picker(static_cast<char>(type_->checkedId()))) setAccount(*account);
  });

  const char type = line ? line->type : 'I';
  type_->button(type)->setChecked(true);
  if (line) {
    account_->setText(QString::number(line->account));
    quantity_->setText(QString::fromStdString(picture::formatNumber(line->quantity, "n15.4")));
  } else {
    account_->setText("0");
    quantity_->setText("0");
  }
  refresh();
}

void LineEditor::setType(char type) {
  type_->button(type)->setChecked(true);
  refresh();
}
void LineEditor::setAccount(int32_t account) {
  account_->setText(QString::number(account));
  refresh();
}
void LineEditor::setQuantity(double quantity) {
  quantity_->setText(QString::number(quantity));
  refresh();
}

void LineEditor::refresh() {
  const auto qty = picture::parseNumber(quantity_->text().toStdString()).value_or(0);
  line_ = catalog::completeLine(engine_, static_cast<char>(type_->checkedId()), account_->text().toInt(), qty);
  description_->setText(line_ ? QString::fromStdString(line_->description) : QString());
  unit_->setText(line_ ? QString::fromStdString(line_->unit) : QString());
  price_->setText(line_ ? money(line_->price) : QString());
  amount_->setText(line_ ? money(line_->amount) : QString());  // Importe = precio x cantidad
}

void LineEditor::accept() {
  refresh();
  if (!line_ && picker) {
    if (auto account = picker(static_cast<char>(type_->checkedId()))) setAccount(*account);
  }
  if (!line_) {
    prompter_.warn({"LA CUENTA NO EXISTE", "ELIJALA DE LA LISTA", "CON Ok CONTINUA..."});
    account_->setFocus();
    return;
  }
  QDialog::accept();
}

// ---- UpdateCOBA --------------------------------------------------------------------------

namespace {

std::vector<FieldSpec> conceptFields() {
  FieldSpec own{"CONC/PROPIO", "MIAS", "s1", 0, 1, FieldSpec::Kind::kCheck};
  FieldSpec memo{"DESCRIPCION COMPLETA", "TEX1", "s700", 0, 1, FieldSpec::Kind::kMemo};
  return {{"CTA:", "CTA", "n_7"},
          {"GENERICO:", "GENE", "s3"},
          {"CLAVE:", "LLAV", "s9"},
          {"UNIDAD:", "UNID", "s4"},
          own,
          {"DESCRIPCION:", "TEXT", "s50"},
          memo};
}

}  // namespace

ConceptForm::ConceptForm(Context& ctx, tables::Table& coba, FormRequest request, QWidget* parent)
    : RecordForm(ctx, coba, request, "Actualizando Conceptos de Base de Datos", {"General"}, conceptFields(), {},
                 parent),
      prices_(ctx.session.installation, ctx.errors, ctx.session.currentZone()) {
  setObjectName("UpdateCOBA");
  engine_ = std::make_unique<catalog::PricingEngine>(ctx.session.installation, ctx.errors, prices_, ctx.session.zone,
                                                     pricingRates(ctx));
  keyPicker = modalGenericKeyPicker(ctx, this);
  accountPicker = modalAccountPicker(ctx, this);
  conceptPicker = [this, &ctx]() { return modalAccountPicker(ctx, this)('B'); };
  editLine = [this](const catalog::EditedLine* line) -> std::optional<catalog::EditedLine> {
    LineEditor editor(*engine_, ctx_.prompter, line, this);
    editor.picker = accountPicker;
    if (editor.exec() != QDialog::Accepted) return std::nullopt;
    return editor.line();
  };

  const bool editable = request == FormRequest::kInsert || request == FormRequest::kChange;
  auto* importButton = new QPushButton("IMPORTA");
  importButton->setObjectName("import");
  importButton->setEnabled(editable);
  addBesideField("GENE", importButton);
  connect(importButton, &QPushButton::clicked, this, [this] {
    if (auto account = conceptPicker()) importConcept(*account);
  });

  editor_ = new AnalysisEditor(ctx.prompter);
  editor_->setEditable(editable);
  editor_->editLine = editLine;
  editor_->refuses = [this](const catalog::EditedLine& line) { return refusesLoop(line); };
  addRow(0, "", editor_);
  resize(820, 700);
}

ConceptForm::~ConceptForm() = default;

void ConceptForm::afterLoad() {
  const auto account = static_cast<int32_t>(table_.rec().integer("CTA"));
  editor_->setLines(request_ == FormRequest::kInsert ? std::vector<catalog::EditedLine>{}
                                                     : catalog::loadConceptLines(*engine_, account));
}

bool ConceptForm::otherChanges() const { return editor_->changed(); }

bool ConceptForm::refusesLoop(const catalog::EditedLine& line) {
  if (line.category != catalog::category::kBasic) return false;
  const int32_t account = fieldText("CTA").toInt();
  if (!catalog::closesLoop(*engine_, account, line.account)) return false;
  ctx_.prompter.warn({"EL BASICO " + std::to_string(line.account) + " CONTIENE A ESTE",
                      "CONCEPTO: NO PUEDE SER SU LINEA", "CON Ok CONTINUA..."});
  return true;
}

void ConceptForm::importConcept(int32_t account) {
  auto cobt = ctx_.session.installation.table("COBT", ctx_.errors);
  if (!cobt->open()) return;
  cobt->rec().setInteger("CTA", account);
  if (!cobt->fetch(cobt->keyIndex("CTA_KEY")).found()) return;
  const catalog::Concept imported = catalog::conceptOf(cobt->rec());
  setFieldText("TEXT", QString::fromStdString(imported.text));
  setFieldText("TEX1", QString::fromStdString(imported.longText));
  setFieldText("UNID", QString::fromStdString(imported.unit));
  setFieldText("GENE", QString::fromStdString(imported.gene));
  editor_->replaceLines(catalog::loadConceptLines(*engine_, account));  // written only when the form is saved
}

void ConceptForm::fieldAccepted(const FieldSpec& field) {
  if (field.field != "GENE") return;
  if (auto code = checkGenericKey(ctx_, "C", fieldText("GENE").toStdString(), keyPicker)) {
    setFieldText("GENE", QString::fromStdString(*code));
  }
}

bool ConceptForm::validate() { return acceptGenericKey(ctx_, "C", table_.rec(), fieldWidget("GENE"), keyPicker); }

Status ConceptForm::writeRecord(bool inserting) {
  auto inco = ctx_.session.installation.table("INCO", ctx_.errors);
  if (Status s = inco->open(); !s) return s;
  inco->setAuditUser(ctx_.login().user);
  // Written over is the account the form loaded (or last saved).
  const auto previous = static_cast<int32_t>(loadedRecord().integer("CTA"));
  Status s = catalog::saveAnalysis(table_, inserting, previous, *inco, editor_->lines());
  if (s) editor_->markSaved();
  return s;
}

bool runConceptForm(BrowseWindow& list, tables::Table& coba, FormRequest request) {
  Context& ctx = list.context();
  if (request == FormRequest::kDelete) {
    // The concept is shown and the question window asks; its lines go with it.
    if (!ctx.prompter.ask({"DESEA DAR DE BAJA EL CONCEPTO", "SELECCIONADO ???", ""})) return false;
    tables::RelationManager relations(ctx.session.installation, ctx.errors);
    return relations.remove(coba).isOk();
  }
  if (request != FormRequest::kInsert) coba.rec().setText("MIAS", "1");  // an edited analysis is the user's own
  ConceptForm form(ctx, coba, request, &list);
  return form.run();
}

}  // namespace velmora::ui
