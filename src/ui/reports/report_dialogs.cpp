#include "ui/reports/report_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "framework/text.h"

namespace velmora::ui {

namespace {

QString defaultPrinter() {
  const QString name = QPrinterInfo::defaultPrinterName();
  return name.isEmpty() ? QString("(ninguna: se imprime a PDF)") : name;
}

int readCount(const QLineEdit* e, int fallback) {
  const auto v = text::parseInteger(e->text().trimmed().toStdString());
  return v && *v > 0 && *v < 1000 ? static_cast<int>(*v) : fallback;
}

QPushButton* choosePrinterButton(QWidget* parent, QLabel* shown, const QString& caption) {
  auto* b = new QPushButton(caption);
  QObject::connect(b, &QPushButton::clicked, parent, [parent, shown] {
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle("Seleccione la Impresora");
    if (dialog.exec() == QDialog::Accepted) shown->setText(printer.printerName());
  });
  return b;
}

}  // namespace

// ---- Destino del Reporte --------------------------------------------------------------

DestinationDialog::DestinationDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("DESTINO");
  setWindowTitle("Destino del Reporte");
  auto* layout = new QVBoxLayout(this);
  view_ = new QRadioButton(" Ve el Reporte");
  view_->setObjectName("view");
  auto* print = new QRadioButton(" Imprime");
  print->setObjectName("print");
  view_->setChecked(true);
  layout->addWidget(view_);
  layout->addWidget(print);
  auto* form = new QFormLayout;
  copies_ = new QLineEdit("1");
  copies_->setObjectName("copies");
  form->addRow("Copias:", copies_);
  layout->addLayout(form);
  collate_ = new QCheckBox(" Acomoda Copias por Juegos");
  collate_->setObjectName("collate");
  reverse_ = new QCheckBox(" Imprime Hojas Hacia Arriba");
  reverse_->setObjectName("reverse");
  layout->addWidget(collate_);
  layout->addWidget(reverse_);
  layout->addWidget(new QLabel("Impresora Predeterminada"));
  printer_ = new QLabel(defaultPrinter());
  printer_->setObjectName("printer");
  layout->addWidget(printer_);
  layout->addWidget(choosePrinterButton(this, printer_, "Seleccione Impresora"));
  auto* buttons = new QDialogButtonBox;
  auto* run = buttons->addButton("Ejecuta", QDialogButtonBox::AcceptRole);
  run->setObjectName("run");
  buttons->addButton("Cancela", QDialogButtonBox::RejectRole)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

Destination DestinationDialog::destination() const {
  return {view_->isChecked(), readCount(copies_, 1), collate_->isChecked(), reverse_->isChecked(), printer_->text()};
}

// ---- Opciones de Impresión / Grabando en Archivo ----------------------------------------------

OutputDialog::OutputDialog(Kind kind, size_t pageCount, size_t markedCount, OutputChoice initial, QWidget* parent)
    : QDialog(parent), kind_(kind), count_(pageCount) {
  const bool print = kind == Kind::kPrint;
  setObjectName(print ? "OPCIONES_IMPRESION" : "GRABA_ARCHIVO");
  setWindowTitle(print ? "Opciones de Impresión" : "Grabando en Archivo");
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(print ? "Rango de Impresión" : "Rangos");
  auto* g = new QVBoxLayout(group);
  sets_ = new QButtonGroup(this);
  const char* captions[] = {print ? "Todo" : "Todo", print ? "Solo Hojas Marcadas" : "Solo Marcado",
                            print ? "Hojas sin Marcar" : "Sin Marcar", "Rango de Hojas"};
  for (int i = 0; i < 4; ++i) {
    auto* r = new QRadioButton(captions[i]);
    r->setObjectName(QString("set%1").arg(i + 1));
    sets_->addButton(r, i + 1);
    g->addWidget(r);
  }
  // The marked sets only while a page is marked.
  sets_->button(2)->setEnabled(markedCount > 0);
  sets_->button(3)->setEnabled(markedCount > 0);
  auto* range = new QFormLayout;
  from_ = new QLineEdit(QString::number(initial.from));
  from_->setObjectName("from");
  to_ = new QLineEdit(QString::number(initial.to));
  to_->setObjectName("to");
  range->addRow("Desde:", from_);
  range->addRow("Hasta:", to_);
  g->addLayout(range);
  layout->addWidget(group);
  const int set = static_cast<int>(initial.set);
  (sets_->button(set)->isEnabled() ? sets_->button(set) : sets_->button(1))->setChecked(true);
  connect(sets_, &QButtonGroup::idClicked, this, [this] { enableRange(); });
  enableRange();

  if (print) {
    auto* copiesGroup = new QGroupBox("Número de Copias");
    auto* c = new QFormLayout(copiesGroup);
    copies_ = new QLineEdit(QString::number(initial.copies));
    copies_->setObjectName("copies");
    c->addRow("Copias:", copies_);
    collate_ = new QCheckBox("Acomoda");
    collate_->setObjectName("collate");
    collate_->setToolTip("(Copias x Juegos)");
    collate_->setChecked(initial.collate);
    c->addRow(collate_);
    reverse_ = new QCheckBox(" De hoja No 1 en adelante");
    reverse_->setObjectName("reverse");
    reverse_->setToolTip("(O de última hoja a primera)");
    reverse_->setChecked(initial.reverse);
    c->addRow(reverse_);
    layout->addWidget(copiesGroup);
    printer_ = new QLabel(initial.printer.isEmpty() ? defaultPrinter() : initial.printer);
    printer_->setObjectName("printer");
    layout->addWidget(printer_);
    layout->addWidget(choosePrinterButton(this, printer_, "Selecciona Impresora"));
  } else {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Archivo:"));
    file_ = new QLineEdit(initial.file.isEmpty() ? QString("reporte.txt") : initial.file);
    file_->setObjectName("file");
    row->addWidget(file_);
    auto* browse = new QPushButton("...");
    connect(browse, &QPushButton::clicked, this, [this] {
      const QString f = QFileDialog::getSaveFileName(this, "Graba reporte al archivo...", file_->text(),
                                                     "Text File (*.txt *.TXT);;PDF (*.pdf);;All Files (*)");
      if (!f.isEmpty()) file_->setText(f);
    });
    row->addWidget(browse);
    layout->addLayout(row);
  }
  auto* buttons = new QDialogButtonBox;
  buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setObjectName("ok");
  buttons->addButton("Cancela", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QRadioButton* OutputDialog::setButton(reports::PageSet set) const {
  return static_cast<QRadioButton*>(sets_->button(static_cast<int>(set)));
}

void OutputDialog::enableRange() {
  const bool range = sets_->checkedId() == static_cast<int>(reports::PageSet::kRange);
  from_->setEnabled(range);
  to_->setEnabled(range);
}

OutputChoice OutputDialog::choice() const {
  OutputChoice c;
  c.set = static_cast<reports::PageSet>(sets_->checkedId());
  const auto page = [this](const QLineEdit* e) {
    const auto v = text::parseInteger(e->text().trimmed().toStdString());
    return static_cast<size_t>(
        std::clamp<int64_t>(v.value_or(1), 1, static_cast<int64_t>(std::max<size_t>(count_, 1))));
  };
  c.from = page(from_);
  c.to = page(to_);
  if (copies_) c.copies = readCount(copies_, 1);
  if (collate_) c.collate = collate_->isChecked();
  if (reverse_) c.reverse = reverse_->isChecked();
  if (printer_) c.printer = printer_->text();
  if (file_) c.file = file_->text();
  return c;
}

// ---- Avance ... -----------------------------------------------------------------------

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("AVANCE");
  setWindowTitle("Avance ...");
  auto* layout = new QVBoxLayout(this);
  bar_ = new QProgressBar;
  bar_->setObjectName("bar");
  bar_->setRange(0, 100);
  layout->addWidget(bar_);
  auto* cancel = new QPushButton("Cancela");
  cancel->setObjectName("cancel");
  connect(cancel, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  layout->addWidget(cancel);
}

bool ProgressWindow::advance(size_t done, size_t total) {
  bar_->setValue(total == 0 ? 100 : static_cast<int>(done * 100 / total));
  QCoreApplication::processEvents();
  return !cancelled_;
}

// ---- Opciones del Reporte ---------------------------------------------------------------

std::string rangeText(int32_t firstDate, int32_t lastDate, const std::string& previous) {
  if (firstDate == 0 && lastDate == 0) return previous;
  std::string out;
  if (firstDate != 0) out = " DESDE EL " + picture::formatDate(firstDate);
  if (lastDate != 0) out = text::clip(out) + " AL " + picture::formatDate(lastDate);
  return out;
}

OptionsDialog::OptionsDialog(Kind kind, ReportOptions& options, std::function<bool(int32_t)> exists, Lookup lookup,
                             QWidget* parent)
    : QDialog(parent), kind_(kind), options_(options), exists_(std::move(exists)), lookup_(std::move(lookup)) {
  setObjectName(kind == Kind::kInputs     ? "REDIR"
                : kind == Kind::kConcepts ? "REDIR2"
                : kind == Kind::kMachines ? "REDIR3"
                                          : "REDIR4");
  setWindowTitle("Opciones del Reporte");
  // Defaults each dialog sets on opening.
  options_.order = 'C';
  options_.genericKey.clear();
  options_.keyType = kind == Kind::kInputs ? 'I' : 'C';
  if (kind == Kind::kInputs) options_.firstDate = 0;
  if (kind != Kind::kInputs) options_.fullDescription = 'S';
  if (kind == Kind::kConcepts) options_.firstAccount = 10;
  if (kind == Kind::kWork) options_.closingSummary = 'S';

  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  const auto account = [&](const char* name, const QString& label, int32_t value) {
    auto* row = new QHBoxLayout;
    auto* e = new QLineEdit(QString::number(value));
    e->setObjectName(name);
    row->addWidget(e);
    auto* b = new QPushButton("...");
    b->setObjectName(QString(name) + "Lookup");
    connect(b, &QPushButton::clicked, this, [this, e] {
      if (!lookup_) return;
      if (auto picked = lookup_()) e->setText(QString::number(*picked));
    });
    connect(e, &QLineEdit::editingFinished, this, [this, e] { checkAccount(e); });
    row->addWidget(b);
    form->addRow(label, row);
  };
  const auto yesNo = [&](const char* name, const QString& label, char value, const QString& tip = {}) {
    auto* box = new QWidget;
    box->setObjectName(name);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* group = new QButtonGroup(box);
    for (auto [caption, code] : {std::pair{"Si", 'S'}, std::pair{"No", 'N'}}) {
      auto* r = new QRadioButton(caption);
      r->setObjectName(QString(name) + caption);
      r->setChecked(value == code);
      group->addButton(r, code);
      row->addWidget(r);
    }
    if (!tip.isEmpty()) box->setToolTip(tip);
    form->addRow(label, box);
  };
  switch (kind) {
    case Kind::kInputs: {
      account("first", "No de Cta Inicial:", options_.firstAccount);
      account("last", "No de Cta Final:", options_.lastAccount);
      auto* firstDate = new QLineEdit(QString::fromStdString(picture::formatDate(options_.firstDate)));
      firstDate->setObjectName("firstDate");
      auto* lastDate = new QLineEdit(QString::fromStdString(picture::formatDate(options_.lastDate)));
      lastDate->setObjectName("lastDate");
      form->addRow("Fecha Actualización Inicial:", firstDate);
      form->addRow("Fecha Actualizacion Final:", lastDate);
      auto* key = new QLineEdit(QString::fromStdString(options_.genericKey));
      key->setObjectName("genericKey");
      form->addRow("Genérico:", key);
      auto* orders = new QWidget;
      orders->setObjectName("order");
      auto* row = new QHBoxLayout(orders);
      row->setContentsMargins(0, 0, 0, 0);
      auto* group = new QButtonGroup(orders);
      for (auto [caption, code] : {std::pair{"Cuenta", 'C'}, std::pair{"Clave", 'G'}, std::pair{"Alfabético", 'A'}}) {
        auto* r = new QRadioButton(caption);
        r->setObjectName(QString("order") + code);
        r->setChecked(options_.order == code);
        group->addButton(r, code);
        row->addWidget(r);
      }
      form->addRow("Orden de Reporte", orders);
      break;
    }
    case Kind::kConcepts:
      account("first", "No de Cta Inicial:", options_.firstAccount);
      yesNo("full", "Descripción Completa", options_.fullDescription);
      break;
    case Kind::kMachines: account("first", "No de Cta Inicial:", options_.firstAccount); break;
    case Kind::kWork: {
      account("first", "Renglón Inicial:", options_.firstAccount);
      account("last", "Renglón Final:", options_.lastAccount);
      yesNo("full", "Descripción Completa", options_.fullDescription);
      yesNo("summary", "Porcentajes Finales", options_.closingSummary, "DESGLOSE INDIRECTOS");
      auto* title = new QLineEdit(QString::fromStdString(options_.title));
      title->setObjectName("title");
      title->setMaxLength(40);
      form->addRow("Título:", title);
      break;
    }
  }
  layout->addLayout(form);
  auto* ok = new QPushButton("OK");
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok);
}

QLineEdit* OptionsDialog::entry(const char* name) const { return findChild<QLineEdit*>(name); }

bool OptionsDialog::checkAccount(QLineEdit* e) {
  const auto v = text::parseInteger(e->text().trimmed().toStdString());
  if (v && (*v == 0 || !exists_ || exists_(static_cast<int32_t>(*v)))) return true;
  // Not found: the list of the table opens to pick one.
  if (lookup_) {
    if (auto picked = lookup_()) {
      e->setText(QString::number(*picked));
      return true;
    }
  }
  e->setFocus();
  return false;
}

void OptionsDialog::accept() {
  for (const char* name : {"first", "last"}) {
    if (QLineEdit* e = entry(name); e && !checkAccount(e)) return;
  }
  const auto number = [this](const char* name) {
    QLineEdit* e = entry(name);
    return e ? static_cast<int32_t>(text::parseInteger(e->text().trimmed().toStdString()).value_or(0)) : 0;
  };
  options_.firstAccount = number("first");
  if (entry("last")) options_.lastAccount = number("last");
  const auto choice = [this](const char* name, char fallback) {
    for (char code : {'S', 'N', 'C', 'G', 'A'}) {
      const QString child = QString(name) + (code == 'S' ? "Si" : code == 'N' ? "No" : QString(QChar(code)));
      if (auto* r = findChild<QRadioButton*>(child); r && r->isChecked()) return code;
    }
    return fallback;
  };
  switch (kind_) {
    case Kind::kInputs: {
      const auto date = [this](const char* name) {
        return picture::parseDate(entry(name)->text().toStdString()).value_or(0);
      };
      options_.firstDate = date("firstDate");
      options_.lastDate = date("lastDate");
      std::string key = text::clip(entry("genericKey")->text().toStdString());
      if (!key.empty() && checkKey) {
        const auto accepted = checkKey(key);
        if (!accepted) {
          entry("genericKey")->setFocus();
          return;
        }
        key = *accepted;
      }
      options_.genericKey = key;
      options_.order = choice("order", 'C');
      options_.rangeText = rangeText(options_.firstDate, options_.lastDate, options_.rangeText);
      break;
    }
    case Kind::kConcepts:
      options_.fullDescription = choice("full", 'S');
      options_.lastAccount = options_.firstAccount;  // one concept
      break;
    case Kind::kMachines: options_.lastAccount = options_.firstAccount; break;
    case Kind::kWork:
      options_.fullDescription = choice("full", 'S');
      options_.closingSummary = choice("summary", 'S');
      options_.title = entry("title")->text().toStdString();
      break;
  }
  QDialog::accept();
}

}  // namespace velmora::ui
