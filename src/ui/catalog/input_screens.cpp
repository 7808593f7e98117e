#include "ui/catalog/input_screens.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "catalog/inputs.h"
#include "framework/dates.h"
#include "framework/text.h"

namespace velmora::ui {

using namespace browse_button;

BrowseSpec inputListSpec(std::function<int()> currentZone) {
  const ColumnSpec cta{"CTA", "CTA", "n_6"}, gen{"GEN", "GENE", "s3"}, key{"CLAVE", "LLAV", "s9"},
      desc{"DESCRIPCION", "TEXT", "s35"}, unit{"UNIDAD", "UNID", "s4"},
      price{"PRECIO", "COST", "n14.2", 1, 0, currentZone}, date{"ULTIMO $", "FECH", "d6", 1, 0, currentZone};
  BrowseSpec s;
  s.procedure = "CAP_INS";
  s.title = "Catálogo de Insumos de Base de Datos";
  s.table = "INBA";
  s.tabs = {{"x CUENTA", "CTA_KEY", {cta, gen, key, desc, unit, price, date}, "No CTA:"},
            {"x CLAVE", "CLA_KEY", {gen, key, desc, unit, price, cta, date}, "CLAVE:"},
            {"x DESCRIPCION", "DES_KEY", {desc, cta, gen, key, unit, price, date}, "DESC:"},
            {"x PALABRA", "DES_KEY", {}, "-"}};
  s.buttons = kSelect | kView | kInsert | kChange | kDelete | kQuery | kClose;
  s.captions = {{kSelect, "&Selecciona"}, {kView, "&Ver"},     {kInsert, "&Alta"},
                {kChange, "&Cambia"},     {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.deleteElement = shell::element::kBaseInputs;
  s.form = runInputForm;
  return s;
}

QHBoxLayout* addWordFilter(BrowseWindow* list, int wordTab, const std::string& first, const std::string& second) {
  auto* row = new QHBoxLayout;
  auto* wordLabel = new QLabel("TEXTO:");
  auto* word = new QLineEdit;
  word->setObjectName("word");
  word->setMaxLength(20);
  wordLabel->setBuddy(word);
  row->addWidget(wordLabel);
  row->addWidget(word);
  list->extraArea()->addLayout(row);
  const auto filter = [word, first, second] { return catalog::wordFilter(word->text().toStdString(), first, second); };
  QObject::connect(word, &QLineEdit::editingFinished, list, [list, wordTab, filter] {
    if (list->currentTab() == wordTab) list->setQuery(filter());
  });
  QObject::connect(list, &BrowseWindow::tabChanged, list, [list, word, wordTab, filter](int tab) {
    word->setEnabled(tab == wordTab);
    list->setQuery(tab == wordTab ? filter() : std::vector<tables::Condition>{});
  });
  word->setEnabled(false);
  return row;
}

BrowseWindow* makeInputList(Context& ctx, bool picking) {
  auto* list =
      new BrowseWindow(ctx, inputListSpec([&session = ctx.session] { return session.currentZone(); }), picking);
  auto* countLabel = new QLabel("INSUMOS EN BASE");
  auto* count = new QLabel;
  count->setObjectName("count");
  addKeysButton(list, 1, "Muestra Claves", "I");
  QHBoxLayout* row = addWordFilter(list, 3, "TEXT", "TEX1");
  row->addStretch();
  row->addWidget(countLabel);
  row->addWidget(count);

  // The count of the table, read once when the list opens.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int64_t records = 0;
  // A failed count was shown by the table layer; no figure is guessed.
  count->setText(list->model().table().count(&records) ? QString::number(records) : QStringLiteral("?"));
  QApplication::restoreOverrideCursor();

  // Both description lines of the highlighted input.
  auto* first = new QLabel;
  auto* second = new QLabel;
  first->setObjectName("line1");
  second->setObjectName("line2");
  list->footerArea()->addWidget(first);
  list->footerArea()->addWidget(second);
  QObject::connect(list, &BrowseWindow::rowChanged, list, [list, first, second] {
    const auto r = list->currentRecord();
    first->setText(r ? QString::fromStdString(r->text("TEXT")) : QString());
    second->setText(r ? QString::fromStdString(r->text("TEX1")) : QString());
  });
  emit list->rowChanged();
  return list;
}

namespace {

std::vector<FieldSpec> inputFields(const std::array<std::string, 5>& zoneNames) {
  FieldSpec kind{"TIPO", "TIPO", "n1", 0, 1, FieldSpec::Kind::kRadio};
  for (const auto& k : catalog::kInputKinds)
    kind.options.push_back({QString::fromUtf8(k.label), std::to_string(k.kind)});
  std::vector<FieldSpec> f = {
      {"No de Cuenta:", "CTA", "n_6"},
      {"Clave Genérica:", "GENE", "s3"},
      {"Clave de Insumo:", "LLAV", "s9"},
      {"Descripción:", "TEXT", "s35"},
      {"", "TEX1", "s35"},
      {"Unidad:", "UNID", "s4"},
      kind,
  };
  for (int z = 1; z <= 5; ++z) {
    FieldSpec date{QString::fromStdString(zoneNames[z - 1].empty() ? "ZONA " + std::to_string(z) : zoneNames[z - 1]),
                   "FECH",
                   "d6B",
                   0,
                   z,
                   FieldSpec::Kind::kEdit,
                   true};
    FieldSpec cost{"COSTO:", "COST", "n14.2B", 0, z};
    cost.sameRow = true;
    cost.price = true;
    f.push_back(date);
    f.push_back(cost);
  }
  return f;
}

}  // namespace

InputForm::InputForm(Context& ctx, tables::Table& inba, FormRequest request, QWidget* parent)
    : RecordForm(ctx, inba, request, "Actualizando Insumos", {"General"}, inputFields(ctx.session.zoneNames), {},
                 parent) {
  setObjectName("UpdateINBA");
  picker = modalGenericKeyPicker(ctx, this);
  auto* lookup = new QPushButton("...");
  lookup->setObjectName("geneLookup");
  lookup->setFixedWidth(32);
  lookup->setEnabled(request == FormRequest::kInsert || request == FormRequest::kChange);
  addBesideField("GENE", lookup);
  connect(lookup, &QPushButton::clicked, this, [this] {
    if (auto code = checkGenericKey(ctx_, "I", fieldText("GENE").toStdString(), picker, true)) {
      setFieldText("GENE", QString::fromStdString(*code));
    }
  });
}

void InputForm::prime(tables::Record& r) { r.setInteger("TIPO", 3); }

void InputForm::fieldAccepted(const FieldSpec& field) {
  tables::Record r = table_.rec();
  if (!currentRecord(r)) return;
  if (field.field == "COST") {
    // A newly accepted price is dated today (the buffer holds the accepted prices).
    const int z = field.element;
    catalog::acceptZonePrice(table_.rec(), z, r.real("COST", z),
                             ctx_.session.today ? ctx_.session.today : dates::today());
    setFieldText("FECH", formatField(table_.rec(), "FECH", z, "d6B"), z);
  } else if (field.field == "TIPO" && r.integer("TIPO") > 4) {
    catalog::clearPercentageKinds(r);
    for (int z = 1; z <= 5; ++z) {
      table_.rec().setReal("COST", 0, z);
      table_.rec().setInteger("FECH", 0, z);
      setFieldText("COST", "", z);
      setFieldText("FECH", "", z);
    }
  } else if (field.field == "GENE") {
    if (auto code = checkGenericKey(ctx_, "I", fieldText("GENE").toStdString(), picker)) {
      setFieldText("GENE", QString::fromStdString(*code));
    }
  }
}

bool InputForm::validate() {
  // The generic key must exist among the input keys.
  if (!acceptGenericKey(ctx_, "I", table_.rec(), fieldWidget("GENE"), picker)) return false;
  setFieldText("GENE", QString::fromStdString(table_.rec().text("GENE")));
  return true;
}

void InputForm::beforeSave(tables::Record& r) {
  // The dates stay as the price entries set them; the typed record holds them.
  for (int z = 1; z <= 5; ++z) r.setInteger("FECH", table_.rec().integer("FECH", z), z);
  catalog::clearPercentageKinds(r);
  table_.setAuditUser(ctx_.login().user);
}

bool runInputForm(BrowseWindow& list, tables::Table& inba, FormRequest request) {
  Context& ctx = list.context();
  if (!formAccessAllowed(ctx, shell::element::kBaseInputs, request)) return false;
  InputForm form(ctx, inba, request, &list);
  return form.run();
}

}  // namespace velmora::ui
