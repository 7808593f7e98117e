#include "ui/works/work_inputs.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "framework/text.h"
#include "ui/catalog/generic_keys.h"
#include "works/budget.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

std::vector<FieldSpec> inputFields() {
  FieldSpec kind{"TIPO", "TIPO", "n_1", 0, 1, FieldSpec::Kind::kRadio};
  kind.options = {{"Material", "3"}, {"Mano de obra", "4"}, {"% sobre Material", "5"}, {"% sobre Mano de Obra", "6"}};
  FieldSpec second{"", "TEX1", "s35"};
  FieldSpec cost{"COSTO:", "COST", "n10.2"};
  cost.price = true;
  return {{"CTA:", "CTA", "n_8"},
          {"DESCRIPCION:", "TEXT", "s35"},
          second,
          {"GENERICO:", "GENE", "s3"},
          {"CLAVE:", "LLAV", "s9"},
          {"UNIDAD:", "UNID", "s4"},
          cost,
          {"FECHA:", "FECH", "d6"},
          kind};
}

}  // namespace

WorkInputForm::WorkInputForm(Context& ctx, tables::Table& iobr, FormRequest request, QWidget* parent)
    : RecordForm(ctx, iobr, request, "Actualizando Insumos de Obra", {"General"}, inputFields(), {}, parent) {
  setObjectName("UpdateIobr");
}

void WorkInputForm::prime(tables::Record& r) {
  // The work's own inputs are numbered from 1,000,000.
  table_.setOrder(table_.keyIndex("CTA_KEY"));
  const int64_t offered = table_.previous().found() ? table_.rec().integer("CTA") + 1 : 1;
  r.clear();
  r.setInteger("CTA", std::max<int64_t>(offered, works::kFirstOwnInput));
  r.setInteger("TIPO", 3);
}

void WorkInputForm::afterLoad() {
  if (request_ != FormRequest::kInsert && request_ != FormRequest::kChange) return;
  // The price date is today's whenever the form opens to edit.
  setFieldText("FECH", QString::fromStdString(picture::formatDate(ctx_.session.today)));
}

bool WorkInputForm::validate() {
  return acceptGenericKey(ctx_, "I", table_.rec(), fieldWidget("GENE"), modalGenericKeyPicker(ctx_, this));
}

void WorkInputForm::beforeSave(tables::Record& r) {
  if (r.integer("TIPO") == 0) r.setInteger("TIPO", 3);
  table_.setAuditUser(ctx_.login().user);
}

BrowseWindow* makeWorkInputList(Context& ctx, const works::WorkHeader& obra, std::shared_ptr<bool> changed,
                                std::function<void()> updateToLatest) {
  BrowseSpec s;
  s.procedure = "CAP_IOBR";
  s.title = "Catálogo de Insumos de Obra";
  s.table = "IOBR";
  const std::vector<ColumnSpec> columns = {{"CTA", "CTA", "n_8"},   {"GEN", "GENE", "s3"},
                                           {"CLAVE", "LLAV", "s9"}, {"D E S C R I P C I O N", "TEXT", "s35"},
                                           {"UNID", "UNID", "s4"},  {"COSTO", "COST", "n14.2"},
                                           {"FECHA", "FECH", "d6"}};
  s.tabs = {{"x CUENTA", "CTA_KEY", columns, "CTA:"},
            {"x CLAVE", "CLA_KEY", columns, "CLAVE:"},
            {"x DESCRIPCION", "DES_KEY", columns, "DESCRIPCION:"}};
  s.buttons = kSelect | kInsert | kChange | kDelete | kClose;
  s.captions = {
      {kSelect, "&Selecciona"}, {kInsert, "&Alta"}, {kChange, "&Cambia"}, {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.form = [changed](BrowseWindow& list, tables::Table& iobr, FormRequest request) {
    WorkInputForm form(list.context(), iobr, request, &list);
    const bool done = form.run();
    if (done && request != FormRequest::kView) *changed = true;
    return done;
  };
  auto* list = new BrowseWindow(ctx, s);
  list->setWindowTitle(s.title + " - " + QString::fromStdString(text::clip(obra.name)));
  auto* update = new QPushButton("Actualiza a Ultimos Valores");
  update->setObjectName("updateToLatest");
  list->footerArea()->addWidget(update);
  QObject::connect(update, &QPushButton::clicked, list, [list, updateToLatest] {
    if (updateToLatest) updateToLatest();
    list->setTab(list->currentTab());  // shows the copies made again
  });
  return list;
}

}  // namespace velmora::ui
