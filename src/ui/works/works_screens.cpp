#include "ui/works/works_screens.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "framework/text.h"
#include "ui/catalog/generic_keys.h"
#include "works/work.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

QString money(double v, const char* pic = "n14.2") { return QString::fromStdString(picture::formatNumber(v, pic)); }

// The captions and percentages of the five lines of the totals.
struct PercentLine {
  const char* label;
  const char* percent;
  const char* caption;
};
constexpr PercentLine kPercentLines[] = {{"% ADMINISTRACION DE OBRAS", "INDO", "AOBR"},
                                         {"% ADMON CENTRAL", "INDC", "ACEN"},
                                         {"% UTILIDAD", "GANA", "TUTI"},
                                         {"% CARGOS INDIRECTOS", "CARI", "TEXT"},
                                         {"% IVA", "IMPV", "TIVA"}};

std::vector<FieldSpec> workFields() {
  std::vector<FieldSpec> f = {{"CUENTA:", "CTA", "s8"},
                              {"DIRECTORIO:", "DICO", "s80"},
                              {"OBRA:", "OBRA", "s50"},
                              {"DIRECCION:", "DIRE", "s50"}};
  for (const PercentLine& p : kPercentLines) {
    f.push_back({p.label, p.percent, "n10.2"});
    FieldSpec caption{"", p.caption, "s30"};
    caption.sameRow = true;
    f.push_back(caption);
  }
  f.push_back({"% OCULTO EN MANO DE OBRA:", "POMO", "n10.2"});
  f.push_back({"% OCULTO EN MATERIALES:", "POMA", "n10.2"});
  return f;
}

}  // namespace

BrowseSpec worksListSpec() {
  BrowseSpec s;
  s.procedure = "CAP_PRES";
  s.title = "Mostrando Archivo de Obras";
  s.table = "OBRA";
  s.tabs = {
      {"x CUENTA", "CTA_KEY", {{"CTA", "CTA", "s8"}, {"OBRA", "OBRA", "s30"}, {"DIRECCION", "DIRE", "s30"}}, "CTA:"}};
  s.buttons = kSelect | kInsert | kChange | kDelete | kClose;
  s.captions = {
      {kSelect, "&Selecciona"}, {kInsert, "&Alta"}, {kChange, "&Cambia"}, {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.deleteElement = shell::element::kWorks;
  s.rowColour = [](const tables::Record&, int row) {
    return row % 2 == 0 ? QColor(193, 255, 193) : QColor();  // odd rows, counting from 1
  };
  s.form = runWorkForm;
  return s;
}

BrowseWindow* makeWorksList(Context& ctx) {
  ctx.session.currentWorkCode.clear();
  ctx.session.currentWorkName.clear();
  auto* list = new BrowseWindow(ctx, worksListSpec());
  // The highlighted work's totals.
  auto* grid = new QGridLayout;
  const char* captions[] = {"M/OBRA:", "M/EQUIPO:", "MATERIAL:", "PROCENTALES:", "COSTO DIRECTO:"};
  QLabel* values[5];
  for (int i = 0; i < 5; ++i) {
    grid->addWidget(new QLabel(captions[i]), i / 3, (i % 3) * 2);
    values[i] = new QLabel;
    values[i]->setObjectName(QString("total%1").arg(i));
    values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    values[i]->setMinimumWidth(110);
    grid->addWidget(values[i], i / 3, (i % 3) * 2 + 1);
  }
  list->footerArea()->addLayout(grid);
  const auto show = [list, values] {
    const auto r = list->currentRecord();
    const catalog::CostSplit totals = r ? works::workHeader(*r).totals : catalog::CostSplit{};
    const double shown[4] = {totals.labour, totals.equipment, totals.materials, totals.percentages};
    for (int i = 0; i < 4; ++i) values[i]->setText(money(shown[i]));
    values[4]->setText(money(totals.unitPrice()));
  };
  QObject::connect(list, &BrowseWindow::rowChanged, list, show);
  show();
  QObject::connect(list, &QObject::destroyed, [&session = ctx.session] {
    if (session.currentWorkCode.empty()) session.currentWorkCode = works::kNoWork;
  });
  return list;
}

std::optional<works::WorkHeader> pickWork(Context& ctx, QWidget* parent) {
  BrowseWindow* list = makeWorksList(ctx);
  auto chosen = pickFromList(list, parent, QSize(760, 480));
  if (!chosen) {
    ctx.session.currentWorkCode = works::kNoWork;
    return std::nullopt;
  }
  return works::workHeader(*chosen);
}

WorkForm::WorkForm(Context& ctx, tables::Table& obra, FormRequest request, QWidget* parent)
    : RecordForm(ctx, obra, request, "Actualizando el Archivo de Obras", {"General"}, workFields(), {}, parent) {
  setObjectName("UP_OBRA");
  zones_ = new QComboBox;
  zones_->setObjectName("zone");
  for (int z = 1; z <= 5; ++z) {
    const std::string& name = ctx.session.zoneNames[z - 1];
    zones_->addItem(QString("%1   %2").arg(z).arg(QString::fromStdString(name)), z);
  }
  zones_->setEnabled(request == FormRequest::kInsert || request == FormRequest::kChange);
  addRow(0, "ZONA:", zones_);
}

void WorkForm::afterLoad() {
  tables::Record r = table_.rec();
  works::fillDefaultCaptions(r);
  for (const PercentLine& p : kPercentLines) setFieldText(p.caption, QString::fromStdString(r.text(p.caption)));
  loadedZone_ = works::workHeader(table_.rec()).zone;
  zones_->setCurrentIndex(loadedZone_ - 1);
}

bool WorkForm::otherChanges() const { return zones_->currentIndex() + 1 != loadedZone_; }

void WorkForm::fieldAccepted(const FieldSpec& field) {
  if (field.field == "CTA" && fieldText("DICO").trimmed().isEmpty()) setFieldText("DICO", fieldText("CTA").trimmed());
}

bool WorkForm::validate() {
  if (auto problem = works::workNameProblem(table_.rec())) {
    ctx_.prompter.warn(*problem);
    done(QDialog::Rejected);  // a work without a name is not saved, and the form closes
    return false;
  }
  if (auto problem = works::workCodeProblem(table_.rec())) {
    ctx_.prompter.warn(*problem);
    fieldWidget("CTA")->setFocus();
    return false;
  }
  return true;
}

void WorkForm::beforeSave(tables::Record& r) {
  works::fillWorkFormDefaults(r);
  r.setInteger("LIST", zones_->currentIndex() + 1);
  table_.setAuditUser(ctx_.login().user);
}

bool WorkForm::afterSave() {
  if (Status s = works::prepareWorkDirectory(ctx_.session.installation.dataDir, table_.rec().text("CTA")); !s) {
    ctx_.prompter.warn(
        {"NO SE PUDO CREAR EL DIRECTORIO", "DE LA OBRA " + text::clip(table_.rec().text("CTA")), "CON Ok CONTINUA..."});
  }
  loadedZone_ = zones_->currentIndex() + 1;
  return true;
}

bool runWorkForm(BrowseWindow& list, tables::Table& obra, FormRequest request) {
  Context& ctx = list.context();
  if (!formAccessAllowed(ctx, shell::element::kWorks, request)) return false;
  WorkForm form(ctx, obra, request, &list);
  return form.run();
}

SummaryWindow::SummaryWindow(const works::WorkHeader& obra, double directCost, QWidget* parent) : QDialog(parent) {
  setObjectName("SUM_PRE");
  setWindowTitle("TOTALES EN PRESUPUESTO");
  const works::Summary s = works::summarize(obra, directCost);
  works::WorkHeader captions = obra;
  works::fillDefaultCaptions(captions);
  auto* grid = new QGridLayout;
  int row = 0;
  const auto line = [&](const QString& caption, std::optional<double> percent, double amount, const char* name) {
    grid->addWidget(new QLabel(caption), row, 0);
    if (percent) {
      auto* p = new QLabel(money(*percent, "n6.2") + " %");
      p->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      grid->addWidget(p, row, 1);
    }
    auto* a = new QLabel(money(amount));
    a->setObjectName(name);
    a->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(a, row, 2);
    ++row;
  };
  const auto caption = [](const works::Charge& c) { return QString::fromStdString(c.caption); };
  line("COSTO DIRECTO:", std::nullopt, s.directCost, "directCost");
  line(caption(captions.siteOverhead), obra.siteOverhead.percent, s.siteOverhead, "siteOverhead");
  line(caption(captions.centralOverhead), obra.centralOverhead.percent, s.centralOverhead, "centralOverhead");
  line(caption(captions.profit), obra.profit.percent, s.profit, "profit");
  line(caption(captions.otherCharges), obra.otherCharges.percent, s.otherCharges, "otherCharges");
  line("SUMA:", std::nullopt, s.subtotal, "subtotal");
  line(caption(captions.vat), obra.vat.percent, s.vat, "vat");
  line("COSTO TOTAL:", std::nullopt, s.total, "total");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(ok);
}

}  // namespace velmora::ui
