#include "ui/browse/browse_window.h"

#include <QScrollBar>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

#include "framework/text.h"
#include "ui/browse/query_dialog.h"

namespace velmora::ui {

using namespace browse_button;

bool formAccessAllowed(Context& ctx, int element, FormRequest request, std::optional<int32_t> owner) {
  const auto warnings = shell::formOpeningCheck(ctx.login(), element, request, owner);
  for (const auto& w : warnings) ctx.prompter.warn(w);
  return warnings.empty();
}

void warnIfUnexplained(Context& ctx, const Status& status, uint64_t shownBefore, const std::string& what) {
  if (status || ctx.errors.messagesShown() != shownBefore) return;
  ctx.prompter.warn({what, text::truncateChars(status.text(), 40), "CON Ok CONTINUA..."});
}

bool deleteAllowed(Context& ctx, int element) {
  if (auto w = shell::deleteCheck(ctx.login(), element)) {
    ctx.prompter.warn(*w);
    return false;
  }
  return true;
}

BrowseWindow::BrowseWindow(Context& ctx, BrowseSpec declaration, bool picking, QWidget* parent)
    : QWidget(parent), ctx_(ctx), declaration_(std::move(declaration)), picking_(picking) {
  setObjectName(QString::fromStdString(declaration_.procedure));
  setWindowTitle(declaration_.title);
  setAttribute(Qt::WA_DeleteOnClose);
  ctx_.errors.setProcedureName(declaration_.procedure);

  auto listTable = ctx_.session.installation.table(declaration_.table, ctx_.errors);
  (void)listTable->open();  // a failure was shown; the list then stays empty
  formTable_ = ctx_.session.installation.table(declaration_.table, ctx_.errors);
  (void)formTable_->open();
  formTable_->setAuditUser(ctx_.login().user);
  model_ = new TableListModel(std::move(listTable), this);
  model_->setRowColour(declaration_.rowColour);
  model_->setTextColour(declaration_.textColour);

  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabBar;
  tabs_->setObjectName("tabs");
  for (const auto& tab : declaration_.tabs) tabs_->addTab(tab.caption);
  layout->addWidget(tabs_);
  extra_ = new QVBoxLayout;
  layout->addLayout(extra_);

  locatorRow_ = new QHBoxLayout;
  locatorLabel_ = new QLabel("&Buscar:");
  locator_ = new QLineEdit;
  locator_->setObjectName("locator");
  locatorLabel_->setBuddy(locator_);
  locatorRow_->addWidget(locatorLabel_);
  locatorRow_->addWidget(locator_);
  layout->addLayout(locatorRow_);

  view_ = new QTableView;
  view_->setObjectName("list");
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(view_);
  footer_ = new QVBoxLayout;
  layout->addLayout(footer_);

  auto* buttonRow = buttonRow_ = new QHBoxLayout;
  layout->addLayout(buttonRow);
  const auto add = [&](unsigned which, const QString& caption, void (BrowseWindow::*slot)()) {
    if (!(declaration_.buttons & which) && !(which == kSelect && picking_)) return;
    QString text = caption;
    for (const auto& [code, custom] : declaration_.captions) {
      if (code == which) text = custom;
    }
    auto* b = new QPushButton(text);
    b->setObjectName(QString("button%1").arg(which));
    connect(b, &QPushButton::clicked, this, slot);
    buttons_[which] = b;
    buttonRow->addWidget(b);
  };
  add(kSelect, "&Elegir", &BrowseWindow::select);
  add(kView, "&Ver", &BrowseWindow::viewRecord);
  add(kInsert, "&Agregar", &BrowseWindow::insertRecord);
  add(kChange, "&Cambiar", &BrowseWindow::changeRecord);
  add(kDelete, "&Borrar", &BrowseWindow::deleteRecord);
  add(kQuery, "&Consulta", &BrowseWindow::query);
  add(kClose, "&Cerrar", &BrowseWindow::closeList);
  buttonRow->addStretch();

  connect(tabs_, &QTabBar::currentChanged, this, &BrowseWindow::setTab);
  connect(view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popupMenu()->popup(view_->viewport()->mapToGlobal(at)); });
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { emit rowChanged(); });
  connect(view_, &QAbstractItemView::doubleClicked, this, [this] {
    if (picking_) select();
    else if (declaration_.buttons & kChange) changeRecord();
    else if (declaration_.buttons & kView) viewRecord();
  });
  connect(locator_, &QLineEdit::textEdited, this, [this](const QString& text) {
    const int row = model_->locate(text);
    if (row >= 0) selectRow(row);
  });

  // Keys of the list.
  const auto shortcut = [this](QKeySequence keys, unsigned which, void (BrowseWindow::*slot)()) {
    if (!(declaration_.buttons & which)) return;
    auto* s = new QShortcut(keys, view_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence(Qt::Key_Insert), kInsert, &BrowseWindow::insertRecord);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), kChange, &BrowseWindow::changeRecord);
  shortcut(QKeySequence(Qt::Key_Delete), kDelete, &BrowseWindow::deleteRecord);
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_Return), kView, &BrowseWindow::viewRecord);
  auto* menuKey = new QShortcut(QKeySequence(Qt::Key_Menu), view_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(menuKey, &QShortcut::activated, this, [this] {
    const QRect r = view_->visualRect(view_->currentIndex());
    popupMenu()->popup(view_->viewport()->mapToGlobal(r.center()));
  });

  setTab(0);
  // Wide enough for every column of the first tab, without a scroll bar.
  int columnsWidth = view_->verticalScrollBar()->sizeHint().width() + 2 * view_->frameWidth() + 40;
  for (int c = 0; c < model_->columnCount(); ++c) columnsWidth += view_->columnWidth(c);
  resize(std::max(640, columnsWidth), 420);
}

BrowseWindow::~BrowseWindow() { ctx_.errors.removeProcedureName(declaration_.procedure); }

QPushButton* BrowseWindow::button(unsigned which) const {
  auto it = buttons_.find(which);
  return it == buttons_.end() ? nullptr : it->second;
}

int BrowseWindow::currentTab() const { return tabs_->currentIndex(); }

void BrowseWindow::setTab(int index) {
  if (index < 0 || index >= static_cast<int>(declaration_.tabs.size())) return;
  const TabSpec& tab = declaration_.tabs[index];
  model_->setOrder(tab.key, tab.columns);
  const auto& columns = model_->columns();
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    const auto& col = columns[c];
    int chars = col.width;
    if (chars == 0) {
      int digits = 0;
      for (char ch : col.picture) {
        if (ch >= '0' && ch <= '9') digits = digits * 10 + (ch - '0');
        else if (ch == '.') break;
      }
      chars = std::max(digits, static_cast<int>(col.header.size()));
    }
    // Upper-case texts are wide: measure with capitals.
    const int text = view_->fontMetrics().horizontalAdvance(QString(std::min(chars, 50), 'X'));
    view_->setColumnWidth(c, std::min(400, text * 9 / 10 + 16));
  }
  if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);
  // The locator of this order, and the buttons that belong to this tab.
  const bool hasLocator = tab.locator != "-";
  locatorLabel_->setText(tab.locator.isEmpty() || !hasLocator ? QString("&Buscar:") : tab.locator);
  locatorLabel_->setVisible(hasLocator);
  locator_->setVisible(hasLocator);
  locator_->clear();
  for (auto& [owner, b] : tabButtons_) b->setVisible(owner == index);
  selectRow(0);
  emit tabChanged(index);
}

QPushButton* BrowseWindow::addTabButton(int tab, const QString& caption) {
  auto* b = new QPushButton(caption);
  b->setObjectName(QString("tabButton%1").arg(tab));
  b->setVisible(tab == currentTab());
  locatorRow_->addWidget(b);
  tabButtons_.push_back({tab, b});
  return b;
}

QPushButton* BrowseWindow::addButtonAfter(unsigned after, const QString& caption, const QString& objectName) {
  auto* b = new QPushButton(caption);
  b->setObjectName(objectName);
  int at = buttonRow_->count() - 1;  // before the closing stretch
  if (QPushButton* previous = button(after)) {
    // After `after` and the buttons of the screen already put after it.
    at = buttonRow_->indexOf(previous) + 1;
    while (at < buttonRow_->count() - 1 && buttonRow_->itemAt(at)->widget() &&
           buttonRow_->itemAt(at)->widget()->property("ownButton").toBool())
      ++at;
  }
  b->setProperty("ownButton", true);
  buttonRow_->insertWidget(at, b);
  return b;
}

int BrowseWindow::currentRow() const {
  const QModelIndex i = view_->currentIndex();
  return i.isValid() ? i.row() : -1;
}

void BrowseWindow::selectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  view_->setCurrentIndex(model_->index(row, 0));  // rowChanged comes from the selection model
  view_->selectRow(row);
}

std::optional<tables::Record> BrowseWindow::currentRecord() const {
  const int row = currentRow();
  if (row < 0) return std::nullopt;
  return model_->recordAt(row);
}

// Loads the highlighted record into the form handle's buffer.
bool BrowseWindow::bufferCurrent() {
  const int row = currentRow();
  if (row < 0) return false;
  return formTable_->fetchById(model_->idAt(row)).found();
}

bool BrowseWindow::runForm(FormRequest request) {
  if (request == FormRequest::kInsert) {
    formTable_->rec().clear();
    formTable_->forgetRecord();
  } else if (!bufferCurrent()) {
    return false;
  }
  bool done = false;
  if (declaration_.form) {
    done = declaration_.form(*this, *formTable_, request);
  } else if (request == FormRequest::kDelete) {
    // Message 11 asks before anything is deleted; "No" deletes nothing.
    ctx_.errors.setFile(formTable_->def().label);
    if (ctx_.errors.raise(11) == result::kGoOn) {
      tables::RelationManager relations(ctx_.session.installation, ctx_.errors);
      done = relations.remove(*formTable_).isOk();
    }
  }
  if (done || request == FormRequest::kInsert) {
    const int64_t id = formTable_->recordId();
    const int keep = currentRow();
    model_->reload();
    const int row = id ? model_->rowOfId(id) : -1;
    selectRow(row >= 0 ? row : std::min(keep, model_->rowCount() - 1));
  }
  return done;
}

void BrowseWindow::insertRecord() { runForm(FormRequest::kInsert); }
void BrowseWindow::changeRecord() { runForm(FormRequest::kChange); }
void BrowseWindow::viewRecord() { runForm(FormRequest::kView); }

void BrowseWindow::deleteRecord() {
  if (currentRow() < 0) return;
  if (declaration_.deleteElement && !deleteAllowed(ctx_, declaration_.deleteElement)) return;
  runForm(FormRequest::kDelete);
}

void BrowseWindow::select() {
  if (auto r = currentRecord()) {
    emit selected(*r);
    closeList();
  }
}

void BrowseWindow::setQuery(std::vector<tables::Condition> conditions) {
  model_->setFilter(std::move(conditions));
  selectRow(0);
}

void BrowseWindow::query() {
  QueryDialog dialog(ctx_, model_->columns(), model_->table().def(), this);
  if (dialog.exec() == QDialog::Accepted) setQuery(dialog.conditions());
}

QMenu* BrowseWindow::popupMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName("popup");
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const auto entry = [&](unsigned which, const char* caption, void (BrowseWindow::*slot)()) {
    if (!button(which)) return;
    menu->addAction(QString::fromUtf8(caption), this, slot);
  };
  entry(kInsert, "&Agregar", &BrowseWindow::insertRecord);
  entry(kChange, "&Cambiar", &BrowseWindow::changeRecord);
  entry(kDelete, "&Borrar", &BrowseWindow::deleteRecord);
  entry(kView, "&Ver", &BrowseWindow::viewRecord);
  if (button(kPrint)) menu->addAction("&Imprime");
  menu->addSeparator();
  entry(kQuery, "&Consulta", &BrowseWindow::query);
  if (picking_) menu->addAction("&Elegir", this, &BrowseWindow::select);
  menu->addSeparator();
  menu->addAction("&Herramientas")->setEnabled(false);
  return menu;
}

void BrowseWindow::closeList() {
  // Hosted in a sub-window, the list closes with it.
  if (parentWidget() && parentWidget()->inherits("QMdiSubWindow")) parentWidget()->close();
  else close();
}

void BrowseWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    closeList();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace velmora::ui
