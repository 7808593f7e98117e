#include "ui/services/restore_window.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "services/restore.h"

namespace velmora::ui {

namespace {
constexpr const char* kProcedure = "RESTAURA";
}

RestoreWindow::RestoreWindow(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName(kProcedure);
  setWindowTitle("Restaurando un Respaldo");
  archive_ = new QLineEdit;
  archive_->setObjectName("archive");
  archive_->setMinimumWidth(360);
  auto* lookup = new QToolButton;
  lookup->setObjectName("archiveLookup");
  lookup->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  lookup->setToolTip("Seleccione el Respaldo");
  contents_ = new QLabel;
  contents_->setObjectName("contents");
  start_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "&Restaura");
  start_->setObjectName("restore");
  start_->setEnabled(false);
  auto* cancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "Cancela");
  cancel->setObjectName("cancel");

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("RESPALDO:"), 0, 0);
  auto* row = new QHBoxLayout;
  row->addWidget(archive_, 1);
  row->addWidget(lookup);
  grid->addLayout(row, 0, 1);
  grid->addWidget(new QLabel("CONTIENE:"), 1, 0);
  grid->addWidget(contents_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start_);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 2, 0, 1, 2);

  connect(lookup, &QToolButton::clicked, this, &RestoreWindow::chooseArchive);
  connect(archive_, &QLineEdit::editingFinished, this, &RestoreWindow::describeArchive);
  connect(start_, &QPushButton::clicked, this, &RestoreWindow::restore);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  ctx_.errors.setProcedureName(kProcedure);
  connect(this, &QObject::destroyed, [&errors = ctx_.errors] { errors.removeProcedureName(kProcedure); });
}

void RestoreWindow::setArchive(const QString& path) {
  archive_->setText(path);
  describeArchive();
}

void RestoreWindow::chooseArchive() {
  const QString chosen =
      QFileDialog::getOpenFileName(this, "Seleccione el Respaldo", archive_->text(), "Respaldos (*.zip *.ZIP)");
  if (!chosen.isEmpty()) setArchive(chosen);
}

void RestoreWindow::describeArchive() {
  std::string comment, why;
  start_->setEnabled(false);
  if (archive_->text().trimmed().isEmpty()) {
    contents_->clear();
    return;
  }
  if (!services::readBackupComment(archive_->text().trimmed().toStdString(), comment, why)) {
    contents_->setText("No es un archivo zip que se pueda leer.");
    return;
  }
  const auto what = services::contentsOf(comment);
  if (!what.valid) {
    contents_->setText("No es un respaldo del sistema ni de una obra.");
    return;
  }
  contents_->setText(QString::fromStdString(comment));
  start_->setEnabled(true);
}

void RestoreWindow::restore() {
  if (!ctx_.prompter.ask(
          {"LOS ARCHIVOS ACTUALES SE REEMPLAZAN", "CON LOS DEL RESPALDO (QUEDAN APARTE)", "¿ DESEA CONTINUAR ?"})) {
    return;
  }
  services::InstallationUse ownUse;
  services::InstallationUse& use = ctx_.installationUse ? *ctx_.installationUse : ownUse;
  services::RestoreReport result;
  if (Status s = services::restoreBackup(ctx_.session.installation, archive_->text().trimmed().toStdString(), {}, use,
                                         &result);
      !s) {
    MessageRequest box;
    box.title = "Restauración";
    box.text = "No se restauró el respaldo: " + s.text();
    ctx_.errors.showBox(box);
    return;
  }
  restored_ = true;
  ctx_.prompter.warn({"RESPALDO RESTAURADO", "DEBE DE CERRARSE EL SISTEMA", "PARA ABRIR LOS DATOS RESTAURADOS"});
  accept();
}

}  // namespace velmora::ui
