#include "ui/exchange/bc3_window.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include "exchange/bc3_catalogue.h"
#include "framework/whole_file.h"

namespace velmora::ui {

namespace {
constexpr const char* kProcedure = "INTERCAMBIO_BC3";

QString summary(const exchange::Bc3Plan& p, bool done) {
  QString text = QString(
                     "%1 %2 insumos nuevos y %3 cambiados, %4 máquinas nuevas y %5 cambiadas, "
                     "%6 conceptos nuevos y %7 cambiados, %8 claves genéricas nuevas.")
                     .arg(done ? "Importados:" : "El archivo trae:")
                     .arg(p.newInputs)
                     .arg(p.changedInputs)
                     .arg(p.newMachines)
                     .arg(p.changedMachines)
                     .arg(p.newConcepts)
                     .arg(p.changedConcepts)
                     .arg(p.newGenericKeys);
  for (size_t i = 0; i < std::min<size_t>(p.notes.size(), 6); ++i) text += "\n" + QString::fromStdString(p.notes[i]);
  return text;
}
}  // namespace

Bc3Window::Bc3Window(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName(kProcedure);
  setWindowTitle("Intercambio de Catálogo FIEBDC-3");
  list_ = new QSpinBox;
  list_->setObjectName("list");
  list_->setRange(1, 5);
  list_->setValue(std::clamp(ctx.session.currentZone(), 1, 5));
  status_ = new QLabel("Escriba el catálogo en un archivo BC3, o lea uno: se revisa entero antes de escribir nada.");
  status_->setObjectName("status");
  status_->setWordWrap(true);
  status_->setMinimumWidth(520);
  auto* exportButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), "&Exporta...");
  exportButton->setObjectName("export");
  auto* importButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOpenButton), "&Lee...");
  importButton->setObjectName("check");
  apply_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "&Importa");
  apply_->setObjectName("apply");
  apply_->setEnabled(false);
  auto* close = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "C&ierra");
  close->setObjectName("close");

  auto* form = new QFormLayout;
  form->addRow("LISTA DE PRECIOS:", list_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(exportButton);
  buttons->addWidget(importButton);
  buttons->addWidget(apply_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(status_, 1);
  layout->addLayout(buttons);

  connect(exportButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, "Archivo BC3", "catalogo.bc3", "FIEBDC-3 (*.bc3 *.BC3)");
    if (!path.isEmpty()) exportTo(path);
  });
  connect(importButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Archivo BC3", {}, "FIEBDC-3 (*.bc3 *.BC3)");
    if (!path.isEmpty()) check(path);
  });
  connect(list_, &QSpinBox::valueChanged, this, [this] {
    if (!checked_.isEmpty()) check(checked_);
  });
  connect(apply_, &QPushButton::clicked, this, &Bc3Window::apply);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  ctx_.errors.setProcedureName(kProcedure);
  connect(this, &QObject::destroyed, [&errors = ctx_.errors] { errors.removeProcedureName(kProcedure); });
}

bool Bc3Window::exportTo(const QString& path) {
  exchange::Bc3File file;
  if (Status s = exchange::exportBc3(ctx_.session.installation, ctx_.errors, list_->value(), &file); !s) {
    status_->setText("No se pudo leer el catálogo: " + QString::fromStdString(s.text()));
    return false;
  }
  if (Status s = writeWholeFile(path.toStdString(), exchange::writeBc3(file)); !s) {
    status_->setText(QString::fromStdString(s.text()));
    return false;
  }
  status_->setText(QString("%1 registros escritos en %2.").arg(file.concepts.size()).arg(path));
  return true;
}

namespace {
Status readFile(const QString& path, exchange::Bc3File* file) {
  std::string bytes;
  if (Status s = readWholeFile(path.toStdString(), exchange::kBc3MaxBytes, &bytes); !s) return s;
  return exchange::readBc3(bytes, file);
}
}  // namespace

bool Bc3Window::check(const QString& path) {
  checked_.clear();
  apply_->setEnabled(false);
  exchange::Bc3File file;
  exchange::Bc3Plan plan;
  Status s = readFile(path, &file);
  if (s) s = exchange::importBc3(ctx_.session.installation, ctx_.errors, file, list_->value(), true, 0, &plan);
  if (!s) {
    status_->setText(path + ", " + QString::fromStdString(s.text()) + "; no se importará nada.");
    return false;
  }
  status_->setText(summary(plan, false) + QString("\nCon Importa se escribe en la lista %1.").arg(list_->value()));
  checked_ = path;
  apply_->setEnabled(true);
  return true;
}

bool Bc3Window::apply() {
  if (checked_.isEmpty()) return false;
  exchange::Bc3File file;
  exchange::Bc3Plan plan;
  Status s = readFile(checked_, &file);
  if (s)
    s = exchange::importBc3(ctx_.session.installation, ctx_.errors, file, list_->value(), false, ctx_.login().user,
                            &plan);
  apply_->setEnabled(false);
  checked_.clear();
  if (!s) {
    status_->setText("No se importó nada: " + QString::fromStdString(s.text()));
    return false;
  }
  status_->setText(summary(plan, true));
  return true;
}

}  // namespace velmora::ui
