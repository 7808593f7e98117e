#include "ui/catalog/generic_keys.h"

#include "catalog/generic_keys.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "catalog/inputs.h"
#include "framework/text.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

const std::vector<std::pair<QString, std::string>> kTypes = {
    {" Insumo", "I"}, {" Concepto", "C"}, {" Costo Horario", "H"}};

}  // namespace

BrowseSpec genericKeysSpec() {
  BrowseSpec s;
  s.procedure = "CAP_GEN";
  s.title = "Catálogo de Claves Genéricas";
  s.table = "CLAG";
  const std::vector<ColumnSpec> columns = {
      {"CTA", "CTA", "s3"}, {"DESCRIPCION", "TEXT", "s30"}, {"TIPO", "TIPO", "s1"}};
  s.tabs = {{"x CUENTA", "CTA_KEY", columns}, {"x DESCRIPCION", "DES_KEY", columns}};
  s.buttons = kSelect | kView | kInsert | kChange | kDelete | kQuery | kClose;
  s.captions = {{kSelect, "&Selecciona"}, {kView, "&Ver"},     {kInsert, "&Alta"},
                {kChange, "&Cambia"},     {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.deleteElement = shell::element::kGenericKeys;
  s.textColour = [](const tables::Record& r) {
    const std::string type = r.text("TIPO");
    if (type == "I") return QColor(255, 0, 0);
    if (type == "C") return QColor(0, 0, 255);
    if (type == "H") return QColor(0, 128, 128);
    return QColor();
  };
  s.form = runGenericKeyForm;
  return s;
}

BrowseSpec genericKeyLookupSpec() {
  BrowseSpec s;
  s.procedure = "BUSCA_GENI";
  s.title = "Catálogo de Claves Genéricas";
  s.table = "CLAG";
  s.tabs = {{"x CUENTA",
             "TIP_KEY",  // by code: the list is already one type
             {{"CTA", "CTA", "s3"}, {"D E S C R I P C I O N", "TEXT", "s30"}, {"TIPO", "TIPO", "s1"}}}};
  s.buttons = kSelect | kInsert | kChange | kDelete | kClose;
  s.captions = {
      {kSelect, "&Selecciona"}, {kInsert, "&Alta"}, {kChange, "&Cambia"}, {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.deleteElement = shell::element::kGenericKeys;
  s.rowColour = [](const tables::Record&, int row) {
    return row % 2 == 0 ? QColor(193, 255, 193) : QColor();  // odd rows, counting from 1
  };
  s.form = runGenericKeyForm;
  return s;
}

namespace {

// UpdateCLAG: a key needs a code and one of the three types.
class GenericKeyForm : public RecordForm {
 public:
  GenericKeyForm(Context& ctx, tables::Table& clag, FormRequest request, const std::vector<FieldSpec>& fields,
                 QWidget* parent)
      : RecordForm(ctx, clag, request, "Actualizando Claves Genéricas", {"General"}, fields, {}, parent) {
    setObjectName("UpdateCLAG");
  }

 protected:
  bool validate() override {
    const auto problem = catalog::genericKeyProblem(table_.rec());
    if (!problem) return true;
    ctx_.prompter.warn(*problem);
    fieldWidget(table_.rec().text("CTA").empty() ? "CTA" : "TIPO")->setFocus();
    return false;
  }
};

}  // namespace

bool runGenericKeyForm(BrowseWindow& list, tables::Table& clag, FormRequest request) {
  Context& ctx = list.context();
  if (!formAccessAllowed(ctx, shell::element::kGenericKeys, request)) return false;
  FieldSpec type{"TIPO:", "TIPO", "s1", 0, 1, FieldSpec::Kind::kRadio};
  type.options = kTypes;
  GenericKeyForm form(ctx, clag, request, {{"CTA:", "CTA", "s3"}, {"DESCRIPCION:", "TEXT", "s30"}, type}, &list);
  return form.run();
}

std::optional<tables::Record> pickFromList(BrowseWindow* list, QWidget* parent, QSize size) {
  QDialog dialog(parent);
  dialog.setWindowTitle(list->windowTitle());
  auto* layout = new QVBoxLayout(&dialog);
  list->setAttribute(Qt::WA_DeleteOnClose, false);  // the window owns it
  layout->addWidget(list);
  std::optional<tables::Record> chosen;
  QObject::connect(list, &BrowseWindow::selected, &dialog, [&](const tables::Record& r) {
    chosen = r;
    dialog.accept();
  });
  dialog.resize(size);
  dialog.exec();
  return chosen;
}

GenericKeyPicker modalGenericKeyPicker(Context& ctx, QWidget* parent) {
  return [&ctx, parent](const std::string& type, const std::string& typed) -> std::optional<std::string> {
    auto* list = new BrowseWindow(ctx, genericKeyLookupSpec(), true);
    list->setQuery({{"TIPO", 1, tables::Condition::Op::kEquals, type}});
    const int row = list->model().locate(QString::fromStdString(typed));
    list->selectRow(row >= 0 ? row : 0);
    const auto chosen = pickFromList(list, parent, QSize(560, 420));
    if (!chosen) return std::nullopt;
    return chosen->text("CTA");
  };
}

void addKeysButton(BrowseWindow* list, int tab, const QString& caption, const std::string& type) {
  QPushButton* b = list->addTabButton(tab, caption);
  QObject::connect(b, &QPushButton::clicked, list, [list, type] {
    const auto code = modalGenericKeyPicker(list->context(), list)(type, list->locator()->text().toStdString());
    if (code) {
      list->locator()->setText(QString::fromStdString(*code));
      const int row = list->model().locate(QString::fromStdString(*code));
      if (row >= 0) list->selectRow(row);
    }
    list->locator()->setFocus();
  });
}

std::optional<std::string> checkGenericKey(Context& ctx, const std::string& type, const std::string& typed,
                                           const GenericKeyPicker& pick, bool forceLookup) {
  auto clag = ctx.session.installation.table("CLAG", ctx.errors);
  if (!clag->open()) return std::nullopt;
  const tables::Found known = catalog::genericKeyExists(*clag, type, typed);
  if (known.failed()) return std::nullopt;  // the table layer said why
  if (!forceLookup && known.found()) return text::clip(typed);
  return pick(type, typed);
}

bool acceptGenericKey(Context& ctx, const std::string& type, tables::Record& record, QWidget* entry,
                      const GenericKeyPicker& pick) {
  const auto code = checkGenericKey(ctx, type, record.text("GENE"), pick);
  if (!code) {
    if (entry) entry->setFocus();
    return false;
  }
  record.setText("GENE", *code);
  return true;
}

}  // namespace velmora::ui
