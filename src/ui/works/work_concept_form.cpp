#include "ui/works/work_concept_form.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "framework/text.h"
#include "ui/catalog/generic_keys.h"

namespace velmora::ui {

namespace {

QString money(double v) { return QString::fromStdString(picture::formatNumber(v, "n14.2")); }

std::vector<FieldSpec> rowFields() {
  FieldSpec memo{"DESCRIPCION COMPLETA", "TEX1", "s700", 0, 1, FieldSpec::Kind::kMemo};
  return {{"CTA:", "CTA", "n_6"},
          {"DESCRIPCION:", "TEXT", "s50"},
          {"CLAVE:", "LLAV", "s9"},
          {"UNIDAD:", "UNID", "s4"},
          {"CANTIDAD:", "CANT", "n10.2"},
          {"GENERICA:", "GENE", "s3"},
          memo};
}

}  // namespace

AdjustDialog::AdjustDialog(double current, QWidget* parent) : QDialog(parent) {
  setObjectName("AJU_MAT");
  setWindowTitle("Ajustando el Precio de un Concepto");
  auto* form = new QFormLayout;
  auto* now = new QLabel(money(current));
  now->setObjectName("current");
  form->addRow("VALOR ACTUAL DEL CONCEPTO:", now);
  entry_ = new QLineEdit;
  entry_->setObjectName("wanted");
  entry_->setAlignment(Qt::AlignRight);
  form->addRow("NUEVO VALOR PARA EL CONCEPTO:", entry_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Cancel)->setText("Cancela");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

std::optional<double> AdjustDialog::wanted() const { return picture::parseNumber(entry_->text().toStdString()); }

WorkConceptForm::WorkConceptForm(Context& ctx, tables::Table& cobr, const works::WorkHeader& obra, FormRequest request,
                                 QWidget* parent)
    : RecordForm(ctx, cobr, request, "Actualizando Conceptos de Obra", {"General"}, rowFields(), {}, parent),
      pricing_(ctx.session.installation, ctx.errors, obra, ctx.session.zone, ctx.login().user) {
  setObjectName("UpdatePresu");
  const bool editable = request == FormRequest::kInsert || request == FormRequest::kChange;
  auto* work = new QLabel(QString::fromStdString(obra.name));
  work->setObjectName("work");
  addRow(0, "OBRA:", work);

  accountPicker = modalAccountPicker(ctx, this);
  conceptPicker = [this, &ctx]() { return modalAccountPicker(ctx, this)('B'); };
  askValue = [this](double current) -> std::optional<double> {
    AdjustDialog dialog(current, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.wanted();
  };
  auto* lookup = new QPushButton("...");
  lookup->setObjectName("import");
  lookup->setToolTip("Importa un concepto del catálogo");
  lookup->setEnabled(editable);
  addBesideField("TEXT", lookup);
  connect(lookup, &QPushButton::clicked, this, [this] {
    if (auto account = conceptPicker()) importConcept(*account);
  });

  auto* kinds = new QHBoxLayout;
  for (auto [caption, code] : {std::pair{"Título", 'T'}, std::pair{"SubTotal", 'S'}, std::pair{"Concepto", 'C'}}) {
    auto* b = new QPushButton(caption);
    b->setObjectName(QString("kind_%1").arg(code));
    b->setEnabled(editable);
    kinds->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this, code = code] { setKind(code); });
  }
  kinds->addStretch();
  auto* kindRow = new QWidget;
  kindRow->setLayout(kinds);
  addRow(0, "", kindRow);

  editor_ = new AnalysisEditor(ctx.prompter);
  editor_->editLine = [this](const catalog::EditedLine* line) -> std::optional<catalog::EditedLine> {
    LineEditor editor(pricing_.engine(), ctx_.prompter, line, this);
    editor.picker = accountPicker;
    if (editor.exec() != QDialog::Accepted) return std::nullopt;
    return editor.line();
  };
  auto* adjust = new QPushButton("A&justa");
  adjust->setObjectName("adjust");
  adjust->setToolTip("Ajusta el Valor del Concepto");
  adjust->setEnabled(editable);
  editor_->buttonRow()->insertWidget(0, adjust);
  connect(adjust, &QPushButton::clicked, this, [this] {
    if (auto wanted = askValue(editor_->totals().directCost)) adjustTo(*wanted);
  });
  editor_->setEditable(editable);
  addRow(0, "", editor_);
  resize(860, 720);
}

WorkConceptForm::~WorkConceptForm() = default;

void WorkConceptForm::prime(tables::Record& r) {
  // When the highest row cannot be read (the table layer said why), no
  // number is offered: the user types one, and a taken one is refused.
  if (int32_t number = 0; works::newRowNumber(table_, &number)) r.setInteger("CTA", number);
  r.setText("TIPO", "C");
}

void WorkConceptForm::afterLoad() {
  const std::string t = text::clip(table_.rec().text("TIPO"));
  kind_ = loadedKind_ = t.empty() ? 'C' : t[0];
  const auto row = static_cast<int32_t>(table_.rec().integer("CTA"));
  editor_->setLines(request_ == FormRequest::kInsert
                        ? std::vector<catalog::EditedLine>{}
                        : catalog::loadLines(pricing_.engine(), pricing_.engine().workRowLines(row)));
  editor_->setEditable(kind_ == works::row_kind::kConcept &&
                       (request_ == FormRequest::kInsert || request_ == FormRequest::kChange));
}

void WorkConceptForm::setKind(char kind) {
  kind_ = kind;
  const bool isConcept = kind == works::row_kind::kConcept;
  if (!isConcept) {
    // A title or a subtotal carries no key, unit, quantity, long text or lines.
    for (const char* field : {"GENE", "LLAV", "UNID", "TEX1"}) setFieldText(field, {});
    setFieldText("CANT", "0.00");
    if (!editor_->lines().empty()) editor_->replaceLines({});
  }
  editor_->setEditable(isConcept);
}

void WorkConceptForm::importConcept(int32_t account) {
  auto cobt = ctx_.session.installation.table("COBT", ctx_.errors);
  if (!cobt->open()) return;
  std::optional<works::ImportedConcept> imported;
  // A failed read was shown by the table layer; the form stays as it was.
  if (!works::importConcept(pricing_.engine(), *cobt, account, &imported) || !imported) return;
  setFieldText("TEXT", QString::fromStdString(imported->text));
  setFieldText("GENE", QString::fromStdString(imported->gene));
  setFieldText("LLAV", QString::fromStdString(imported->key));
  setFieldText("UNID", QString::fromStdString(imported->unit));
  setFieldText("TEX1", QString::fromStdString(imported->longText));
  setKind(works::row_kind::kConcept);
  editor_->replaceLines(std::move(imported->lines));  // written only when the form is saved
}

bool WorkConceptForm::adjustTo(double wanted) {
  std::vector<catalog::EditedLine> lines = editor_->lines();
  if (Status s = works::adjustLines(lines, wanted); !s) {
    ctx_.prompter.warn({"EL CONCEPTO VALE 0: NO HAY", "CANTIDADES QUE AJUSTAR", "CON Ok CONTINUA..."});
    return false;
  }
  editor_->replaceLines(std::move(lines));
  return true;
}

bool WorkConceptForm::validate() {
  if (kind_ != works::row_kind::kConcept || text::clip(table_.rec().text("GENE")).empty()) return true;
  return acceptGenericKey(ctx_, "C", table_.rec(), fieldWidget("GENE"), modalGenericKeyPicker(ctx_, this));
}

void WorkConceptForm::beforeSave(tables::Record& r) {
  r.setText("TIPO", std::string(1, kind_));
  table_.setAuditUser(ctx_.login().user);
}

Status WorkConceptForm::writeRecord(bool inserting) {
  auto inob = ctx_.session.installation.table("INOB", ctx_.errors);
  if (Status s = inob->open(); !s) return s;
  inob->setAuditUser(ctx_.login().user);
  const auto previous = static_cast<int32_t>(loadedRecord().integer("CTA"));
  Status s = works::saveBudgetRow(table_, inserting, previous, *inob, editor_->lines());
  if (!s) return s;
  // The work inputs an import created; a failure leaves them to the next
  // pricing, which creates them again.
  (void)pricing_.prices().saveCopies();
  editor_->markSaved();
  loadedKind_ = kind_;
  return s;
}

bool WorkConceptForm::otherChanges() const { return editor_->changed() || kind_ != loadedKind_; }

bool runWorkConceptForm(Context& ctx, tables::Table& cobr, const works::WorkHeader& obra, FormRequest request,
                        QWidget* parent) {
  if (!formAccessAllowed(ctx, shell::element::kWorkConcepts, request)) return false;
  WorkConceptForm form(ctx, cobr, obra, request, parent);
  return form.run();
}

}  // namespace velmora::ui
