#include "ui/works/budget_window.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QVBoxLayout>

#include <climits>

#include "framework/picture.h"
#include "framework/text.h"
#include "tables/relations.h"
#include "ui/browse/live_changes.h"
#include "ui/catalog/generic_keys.h"
#include "ui/exchange/catalogue_windows.h"
#include "ui/reports/report_menus.h"
#include "ui/worker_run.h"
#include "ui/works/work_concept_form.h"
#include "ui/works/work_inputs.h"
#include "ui/works/works_screens.h"
#include "works/work.h"

namespace velmora::ui {

namespace {

constexpr const char* kHeaders[] = {"CTA", "DESCRIPCION", "UNID", "CANTIDAD", "UNITARIO", "IMPORTE"};

QString number(double v, const char* pic) { return QString::fromStdString(picture::formatNumber(v, pic)); }

// A progress window over a long run, with the work, the row being priced and
// the fraction done; the window stays responsive and "Cancela" stops the run.
// The dialog's text while a work is priced.
std::function<QString(const std::string&)> pricingLabel(const QString& work) {
  return [work](const std::string& description) {
    return work + "\nCon los nuevos valores de Insumos\n" + QString::fromStdString(description);
  };
}

}  // namespace

// ---- the model -----------------------------------------------------------------------

void BudgetModel::load(tables::Table* cobr) {
  beginResetModel();
  cobr_ = cobr;
  rows_.clear();
  shown_.clear();
  running_ = {};
  atEnd_ = !cobr_ || !cobr_->isOpen();
  directCost_ = 0;
  if (!atEnd_) (void)works::budgetDirectCost(*cobr_, &directCost_);  // a failure shows 0
  endResetModel();
  fetchMore({});
}

bool BudgetModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !atEnd_; }

void BudgetModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || atEnd_) return;
  std::vector<works::BudgetRow> page;
  const int32_t after = rows_.empty() ? INT32_MIN : rows_.back().account;
  if (!works::readBudgetPage(*cobr_, after, kPage, &page) || page.size() < kPage) atEnd_ = true;
  if (page.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
  for (works::BudgetRow& r : page) {
    shown_.push_back(running_.next(r));  // pages come in order: the running subtotal carries over
    rows_.push_back(std::move(r));
  }
  endInsertRows();
}

int BudgetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}
int BudgetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 6; }

QVariant BudgetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const works::BudgetRow& r = rows_[index.row()];
  const works::ShownRow& shown = shown_[index.row()];
  const int c = index.column();
  if (role == Qt::BackgroundRole) {
    if (r.kind == works::row_kind::kTitle) return QColor(196, 194, 145);
    if (r.kind == works::row_kind::kSubtotal) return QColor(245, 222, 195);
    return {};
  }
  if (role == Qt::ForegroundRole && r.kind != works::row_kind::kConcept) return QColor(Qt::black);
  if (role == Qt::TextAlignmentRole) {
    return c == 0 || c >= 3 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  const bool isConcept = r.kind == works::row_kind::kConcept;
  switch (c) {
    case 0: return QString::number(r.account);
    case 1: return QString::fromStdString(text::truncateChars(r.text, 35));
    case 2: return QString::fromStdString(r.unit);
    case 3: return isConcept ? number(r.quantity, "n12.2B") : QString();
    case 4: return isConcept ? number(shown.unitPrice, "n14.2B") : QString();
    default: return r.kind == works::row_kind::kTitle ? QString() : number(shown.amount, "n14.2B");
  }
}

QVariant BudgetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 6) return {};
  return QString(kHeaders[section]);
}

// ---- the window ------------------------------------------------------------------------

BudgetWindow::BudgetWindow(Context& ctx, const works::WorkHeader& obra, QWidget* parent)
    : QWidget(parent), ctx_(ctx), obra_(obra), model_(this) {
  setObjectName("PRESUP");
  setWindowTitle("Presupuesto de Obra - " + QString::fromStdString(text::clip(obra.name)));
  setAttribute(Qt::WA_DeleteOnClose);
  // The list's own handle: only the list reads through it, so a reload
  // never moves the record a form is about to write over.
  cobr_ = ctx.session.installation.table("COBR", ctx.errors);
  (void)cobr_->open();  // a failure was shown; the list stays empty
  followChanges(*cobr_, this, [this] { reload(); });

  auto* layout = new QVBoxLayout(this);
  auto* work = new QLabel(QString::fromStdString(obra.name));
  work->setObjectName("work");
  layout->addWidget(work);
  view_ = new QTableView;
  view_->setObjectName("rows");
  view_->setModel(&model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  const int widths[6] = {70, 300, 50, 100, 110, 120};
  for (int c = 0; c < 6; ++c) view_->setColumnWidth(c, widths[c]);
  view_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  layout->addWidget(view_);
  connect(view_, &QTableView::doubleClicked, this, &BudgetWindow::changeRow);

  auto* totals = new QHBoxLayout;
  const auto button = [this](QHBoxLayout* row, const QString& caption, const QString& tip, const char* name,
                             void (BudgetWindow::*slot)()) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    if (!tip.isEmpty()) b->setToolTip(tip);
    connect(b, &QPushButton::clicked, this, slot);
    row->addWidget(b);
    return b;
  };
  button(totals, "&Alta", "", "insert", &BudgetWindow::insertRow);
  button(totals, "&Cambia", "", "change", &BudgetWindow::changeRow);
  button(totals, "&Borra", "", "delete", &BudgetWindow::deleteRow);
  totals->addStretch();
  totals->addWidget(new QLabel("COSTO DIRECTO:"));
  directCost_ = new QLabel;
  directCost_->setObjectName("directCost");
  directCost_->setMinimumWidth(120);
  directCost_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  totals->addWidget(directCost_);
  layout->addLayout(totals);

  auto* bar = new QHBoxLayout;
  button(bar, "CALCULA", "CALCULA EL PRESUPUESTO", "calcula", &BudgetWindow::recalculate);
  button(bar, "INSUMOS", "INSUMOS DE LA OBRA", "inputs", &BudgetWindow::openInputs);
  button(bar, "RENUMERA", "Renumera los Conceptos de Obra", "renumber", &BudgetWindow::renumberRows);
  button(bar, "INDIRECTOS", "TOTALES DEL PRESUPUESTO", "summary", &BudgetWindow::showSummary);
  button(bar, "REPORTES", "REPORTES DEL SISTEMA", "reports", &BudgetWindow::openReports);
  button(bar, "IMPORTA", "Importa el Catálogo del Cliente (xlsx)", "importCatalogue",
         &BudgetWindow::importClientCatalogue);
  button(bar, "EXPORTA", "Escribe los Precios en el Libro del Cliente", "exportCatalogue",
         &BudgetWindow::exportClientCatalogue);
  bar->addStretch();
  button(bar, "C&ierra", "", "close", &BudgetWindow::closeBudget);
  layout->addLayout(bar);
  resize(860, 560);
  reload();
}

works::OpenWork BudgetWindow::thisWork() { return {ctx_.session.installation, header(), ctx_.session.zone}; }

void BudgetWindow::importClientCatalogue() {
  CatalogueImportWindow window(ctx_, thisWork(), this);
  if (window.exec() == QDialog::Accepted) reload();
}

QString BudgetWindow::exportClientCatalogueTo(const QString& client, const QString& output, bool* ok) {
  return exportCatalogue(ctx_, thisWork(), client, output, ok);
}

void BudgetWindow::exportClientCatalogue() {
  const QString client = QFileDialog::getOpenFileName(this, "Libro del cliente", {}, "Libros (*.xlsx)");
  if (client.isEmpty()) return;
  QString suggested = client;
  suggested.replace(QRegularExpression("\\.xlsx$", QRegularExpression::CaseInsensitiveOption), "-precios.xlsx");
  const QString output = QFileDialog::getSaveFileName(this, "Libro con los precios", suggested, "Libros (*.xlsx)");
  if (output.isEmpty()) return;
  bool ok = false;
  const QString said = exportClientCatalogueTo(client, output, &ok);
  if (ok) QMessageBox::information(this, "Catálogo del cliente", said);
  else QMessageBox::warning(this, "Catálogo del cliente", said);
}

BudgetWindow::~BudgetWindow() {
  if (!closing_) closeBudget();
}

const works::WorkHeader& BudgetWindow::header() {
  // Read again: the work form may have changed percentages or names.
  auto obra = ctx_.session.installation.table("OBRA", ctx_.errors);
  works::WorkHeader fresh;
  if (obra->open() && works::readWorkHeader(*obra, obra_.code, &fresh)) obra_ = std::move(fresh);
  return obra_;
}

void BudgetWindow::reload() {
  ++reloads_;
  const int row = view_->currentIndex().row();
  model_.load(cobr_.get());
  while (row >= model_.rowCount() && model_.canFetchMore({})) model_.fetchMore({});
  directCost_->setText(number(model_.directCost(), "n14.2"));
  if (model_.rowCount() > 0) view_->selectRow(std::clamp(row, 0, model_.rowCount() - 1));
}

std::unique_ptr<tables::Table> BudgetWindow::rowHandle() {
  auto own = ctx_.session.installation.table("COBR", ctx_.errors);
  if (!own->open()) return nullptr;  // the failure was shown
  own->setAuditUser(ctx_.login().user);
  return own;
}

std::unique_ptr<tables::Table> BudgetWindow::fetchRow(int row) {
  if (row < 0 || row >= model_.rowCount()) return nullptr;
  auto own = rowHandle();
  if (!own) return nullptr;
  own->rec().clear();
  own->rec().setInteger("CTA", model_.rows()[row].account);
  if (!own->fetch(own->keyIndex("CTA_KEY")).found()) return nullptr;
  return own;
}

void BudgetWindow::insertRow() {
  auto own = rowHandle();
  if (!own) return;
  runWorkConceptForm(ctx_, *own, header(), FormRequest::kInsert, this);
  refreshFigures();
}

void BudgetWindow::changeRow() {
  auto own = fetchRow(view_->currentIndex().row());
  if (!own) return;
  runWorkConceptForm(ctx_, *own, header(), FormRequest::kChange, this);
  refreshFigures();
}

void BudgetWindow::deleteRow() {
  const int row = view_->currentIndex().row();
  if (row < 0 || row >= model_.rowCount()) return;
  if (!ctx_.login().isMaster() && ctx_.login().level(shell::element::kWorkConcepts) <= 2) {
    ctx_.prompter.warn({"NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA", "CON Ok CONTINUA..."});
    return;
  }
  if (!ctx_.prompter.ask({"DESEA DAR DE BAJA", "LA CUENTA SELECCIONADA", ""})) return;
  auto own = fetchRow(row);
  if (!own) return;
  tables::RelationManager relations(ctx_.session.installation, ctx_.errors);
  const uint64_t shown = ctx_.errors.messagesShown();
  const Status removed = relations.remove(*own);  // row and lines, or none
  warnIfUnexplained(ctx_, removed, shown, "NO SE PUDO DAR DE BAJA LA CUENTA");
  refreshFigures();
}

bool BudgetWindow::runCalcula() {
  const tables::Installation inst = ctx_.session.installation;
  const works::WorkHeader work = header();
  const estimate::ZoneFactors zone = ctx_.session.zone;
  const int32_t user = ctx_.login().user;
  const Status s =
      runOffTheWindowThread(this, ctx_.errors, "Calculando el Presupuesto",
                            pricingLabel("Calculando la Obra: " + QString::fromStdString(text::clip(obra_.name))),
                            [&](ErrorReporter& errors, const RunProgressCallback& progress) {
                              return works::calcula(inst, errors, work, zone, user, progress);
                            });
  if (!s && !s.is(Status::Code::kCancelled)) {
    ctx_.prompter.warn({"NO SE PUDO CALCULAR EL PRESUPUESTO", text::truncateChars(s.text(), 40), "CON Ok CONTINUA..."});
  }
  return s.isOk();
}

bool BudgetWindow::runLatestValues() {
  const tables::Installation inst = ctx_.session.installation;
  const works::WorkHeader work = header();
  const estimate::ZoneFactors zone = ctx_.session.zone;
  const int32_t user = ctx_.login().user;
  works::LatestValuesReport report;
  const Status s = runOffTheWindowThread(
      this, ctx_.errors, "Calculando el Presupuesto",
      pricingLabel("Calculando la Obra: " + QString::fromStdString(text::clip(obra_.name))),
      [&](ErrorReporter& errors, const RunProgressCallback& progress) {
        return works::updateToLatestValues(inst, errors, work, zone, user, false, &report, progress);
      });
  if (!s && !s.is(Status::Code::kCancelled)) {
    ctx_.prompter.warn(
        {"NO SE PUDIERON ACTUALIZAR LOS", "INSUMOS A SUS ULTIMOS VALORES", text::truncateChars(s.text(), 40)});
  }
  return s.isOk();
}

void BudgetWindow::refreshFigures() {
  const uint64_t shown = ctx_.errors.messagesShown();
  const Status s = works::refreshBudget(ctx_.session.installation, ctx_.errors, ctx_.login().user);
  warnIfUnexplained(ctx_, s, shown, "NO SE PUDO ACTUALIZAR EL PRESUPUESTO");
  reload();
}

void BudgetWindow::storeTotals() {
  const uint64_t shown = ctx_.errors.messagesShown();
  const Status s =
      works::writeCategoryTotals(ctx_.session.installation, ctx_.errors, text::clip(obra_.code), ctx_.login().user);
  warnIfUnexplained(ctx_, s, shown, "NO SE GUARDARON LOS TOTALES");
}

void BudgetWindow::recalculate() {
  runCalcula();
  refreshFigures();
}

void BudgetWindow::openInputs() {
  auto changed = std::make_shared<bool>(false);
  BrowseWindow* list = makeWorkInputList(ctx_, header(), changed, [this] { runLatestValues(); });
  QDialog dialog(this);
  dialog.setWindowTitle(list->windowTitle());
  auto* layout = new QVBoxLayout(&dialog);
  list->setAttribute(Qt::WA_DeleteOnClose, false);
  layout->addWidget(list);
  connect(list, &BrowseWindow::destroyed, &dialog, &QDialog::accept);
  QObject::connect(list->button(browse_button::kClose), &QPushButton::clicked, &dialog, &QDialog::accept);
  dialog.resize(list->size() + QSize(24, 24));
  dialog.exec();
  if (*changed) {
    const tables::Installation inst = ctx_.session.installation;
    const works::WorkHeader work = header();
    const estimate::ZoneFactors zone = ctx_.session.zone;
    const int32_t user = ctx_.login().user;
    const Status repriced = runOffTheWindowThread(this, ctx_.errors, "Calculando el Presupuesto",
                                                  pricingLabel(QString::fromStdString(obra_.name)),
                                                  [&](ErrorReporter& errors, const RunProgressCallback& progress) {
                                                    return works::repriceRows(inst, errors, work, zone, user, progress);
                                                  });
    if (!repriced && !repriced.is(Status::Code::kCancelled))
      ctx_.prompter.warn(
          {"NO SE PUDO CALCULAR EL PRESUPUESTO", text::truncateChars(repriced.text(), 40), "CON Ok CONTINUA..."});
  }
  refreshFigures();
}

void BudgetWindow::renumberRows() {
  // RENUM: nothing happens until OK is pressed.
  QDialog window(this);
  window.setObjectName("RENUM");
  window.setWindowTitle("Renumerando Los Conceptos de Obra");
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(new QLabel("RENUMERANDO LOS CONCEPTOS DE OBRA"));
  layout->addWidget(new QLabel("CON Ok CONTINUA ..."));
  auto* display = new QLabel;
  display->setObjectName("display");
  display->setMinimumWidth(360);
  layout->addWidget(display);
  auto* ok = new QPushButton("OK");
  layout->addWidget(ok);
  connect(ok, &QPushButton::clicked, &window, &QDialog::accept);
  if (window.exec() != QDialog::Accepted) return;
  const Status s = works::renumber(ctx_.session.installation, ctx_.errors, ctx_.login().user);
  if (!s) {
    ctx_.prompter.warn({"NO SE PUDO RENUMERAR LA OBRA", "NADA CAMBIO", "CON Ok CONTINUA..."});
    return;
  }
  recalculate();
}

void BudgetWindow::openReports() {
  storeTotals();  // the reports print the work's totals: written first
  WorkReportsMenu menu(ctx_, header(), this);
  menu.exec();
  refreshFigures();
}

void BudgetWindow::showSummary() {
  SummaryWindow summary(header(), model_.directCost(), this);
  summary.exec();
}

void BudgetWindow::closeBudget() {
  if (closing_) return;
  closing_ = true;
  storeTotals();
  cobr_->close();
  works::closeWork(ctx_.session);
  if (parentWidget() && parentWidget()->inherits("QMdiSubWindow")) parentWidget()->close();
  else close();
}

// ---- SISTEMAS --------------------------------------------------------------------------

SystemsMenu::SystemsMenu(Context& ctx, QWidget* parent) : QWidget(parent) {
  setObjectName("SISTEMAS");
  setWindowTitle("Menú de Sistemas");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* budgets = new QPushButton("Sistema de Presupuestos");
  budgets->setObjectName("budgets");
  budgets->setToolTip("Sistema de Presupuestos");
  budgets->setMinimumHeight(48);
  layout->addWidget(budgets);
  auto* close = new QPushButton("&Cierra");
  close->setObjectName("close");
  layout->addWidget(close);
  const auto closeMenu = [this] {
    if (parentWidget() && parentWidget()->inherits("QMdiSubWindow")) parentWidget()->close();
    else this->close();
  };
  connect(close, &QPushButton::clicked, this, closeMenu);
  connect(budgets, &QPushButton::clicked, this, [this, &ctx, closeMenu] {
    openBudget(ctx, this);
    closeMenu();
  });
}

BudgetWindow* openBudget(Context& ctx, QWidget* parent) {
  static QPointer<BudgetWindow> open;
  const auto chosen = pickWork(ctx, parent);
  if (!chosen) return nullptr;
  if (open) open->closeBudget();  // the previous work's window never outlives its work
  auto control = ctx.session.installation.table("CONTROL", ctx.errors);
  if (!control->open()) return nullptr;
  if (Status s = works::chooseWork(ctx.session, *chosen, *control); !s) {
    ctx.prompter.warn(
        {"NO SE ENCONTRO EL DIRECTORIO", "DE LA OBRA " + text::clip(chosen->code), "VERIFIQUE SU INSTALACION"});
    return nullptr;
  }
  auto* window = new BudgetWindow(ctx, *chosen);
  open = window;
  ctx.openWindow(window);
  return window;
}

}  // namespace velmora::ui
