#include "ui/services/backup_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "framework/text.h"

namespace velmora::ui {

namespace {
constexpr const char* kProcedure = "RESPALDO";

void closeHosted(QWidget* w) {
  if (w->parentWidget() && w->parentWidget()->inherits("QMdiSubWindow")) w->parentWidget()->close();
  else w->close();
}
}  // namespace

BackupWindow::BackupWindow(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
  setObjectName(kProcedure);
  setWindowTitle("Respaldando Sistema de Precios Unitarios Velmora");
  ctx_.errors.setProcedureName(kProcedure);

  start_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), "Respalda");
  start_->setObjectName("BUTTON1");
  works_ = new QCheckBox(" Respalda Las Obras");
  works_->setObjectName("RCON");
  works_->setChecked(true);
  system_ = new QCheckBox(" Respalda Archivos del Sistema");
  system_->setObjectName("RDAT");
  system_->setChecked(true);
  auto* group = new QGroupBox("Respalda Hacia:");
  group->setObjectName("GROUP1");
  destination_ = new QLineEdit;
  destination_->setObjectName("DIRE");
  destination_->setMaxLength(255);
  destination_->setMinimumWidth(320);
  lookup_ = new QToolButton;
  lookup_->setObjectName("BUTTON3");
  lookup_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  lookup_->setToolTip("Seleccione el Directorio");
  auto* where = new QHBoxLayout(group);
  where->addWidget(destination_, 1);
  where->addWidget(lookup_);
  fileBar_ = new QProgressBar;
  fileBar_->setObjectName("PROGRESS1");
  archiveBar_ = new QProgressBar;
  archiveBar_->setObjectName("PROGRESS2");
  for (QProgressBar* bar : {fileBar_, archiveBar_}) bar->setRange(0, 100), bar->setValue(0);
  fileName_ = new QLabel;
  fileName_->setObjectName("STRING1");
  files_ = new QListWidget;
  files_->setObjectName("LIST1");
  files_->setMinimumHeight(140);
  cancel_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "Cancela");
  cancel_->setObjectName("BUTTON4");

  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(start_);
  auto* checks = new QVBoxLayout;
  checks->addWidget(works_);
  checks->addWidget(system_);
  top->addLayout(checks, 1);
  layout->addLayout(top);
  layout->addWidget(group);
  layout->addWidget(fileBar_);
  layout->addWidget(archiveBar_);
  layout->addWidget(fileName_);
  layout->addWidget(files_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(cancel_);
  layout->addLayout(bottom);

  connect(start_, &QPushButton::clicked, this, &BackupWindow::startBackup);
  connect(lookup_, &QToolButton::clicked, this, [this] {
    if (packing()) stopRequested();
    else chooseDestination();
  });
  connect(cancel_, &QPushButton::clicked, this, [this] {
    if (packing()) stopRequested();
    closeHosted(this);
  });
  // Any button pressed while packing asks the archiver to stop.
  for (QCheckBox* box : {works_, system_}) {
    connect(box, &QCheckBox::clicked, this, [this] {
      if (packing()) stopRequested();
    });
  }
}

BackupWindow::~BackupWindow() {
  stopRequested();
  waitForBackup();
  ctx_.errors.removeProcedureName(kProcedure);
}

void BackupWindow::closeEvent(QCloseEvent* event) {
  if (packing()) {
    stopRequested();
    waitForBackup();
  }
  event->accept();
}

void BackupWindow::chooseDestination() {
  QString chosen = QFileDialog::getExistingDirectory(this, "Seleccione el Directorio", destination_->text());
  while (chosen.size() > 1 && (chosen.endsWith('/') || chosen.endsWith('\\'))) chosen.chop(1);
  if (!chosen.isEmpty()) destination_->setText(chosen);
  if (destination_->text().trimmed().isEmpty()) {
    ctx_.prompter.warn({"NO HA SELECCIONADO DONDE", "DESEA EL RESPALDO", "INDIQUE USTED DONDE"});
  }
}

void BackupWindow::stopRequested() {
  stop_ = true;
  archiver_.requestStop();
}

void BackupWindow::startBackup() {
  if (packing() || finished_) return;
  const QString where = destination_->text().trimmed();
  if (where.isEmpty()) {
    ctx_.prompter.warn({"NO HA SELECCIONADO DONDE", "DESEA EL RESPALDO", "INDIQUE USTED DONDE"});
    lookup_->setFocus();
    return;
  }
  start_->setEnabled(false);
  services::BackupRequest request;
  request.destination = where.toStdString();
  request.system = system_->isChecked();
  // The works register is read here, on the window's thread, with its handles.
  if (works_->isChecked() && !services::registeredWorks(ctx_.session.installation, ctx_.errors, &request.works)) {
    start_->setEnabled(true);  // the table layer said why; nothing was packed
    return;
  }

  services::BackupEvents events;
  events.progress.bars = [this](int first, int second) {
    QMetaObject::invokeMethod(
        this,
        [this, first, second] {
          fileBar_->setValue(first);
          archiveBar_->setValue(second);
        },
        Qt::QueuedConnection);
  };
  events.progress.file = [this](const std::string& name) {
    QMetaObject::invokeMethod(
        this,
        [this, text = QString::fromStdString(name)] {
          fileName_->setText(text.trimmed());
          if (text.trimmed().isEmpty()) return;
          files_->addItem(text.trimmed());
          files_->setCurrentRow(files_->count() - 1);
        },
        Qt::QueuedConnection);
  };
  events.archiveEnded = [this](const services::BackupArchive& archive) {
    QMetaObject::invokeMethod(
        this, [this, archive] { archiveEnded(archive); }, Qt::QueuedConnection);
  };
  events.stopped = [this] { return stop_.load(); };
  const tables::Installation inst = ctx_.session.installation;
  worker_ = std::thread([this, inst, request, events] {
    try {
      services::runBackup(inst, request, archiver_, events);
    } catch (const std::exception& e) {
      // Nothing thrown crosses the thread: the window says why it stopped.
      MessageRequest box;
      box.title = "Respaldo";
      box.text = "El respaldo se detuvo: " + text::exceptionText(e);
      QMetaObject::invokeMethod(
          this, [this, box] { ctx_.errors.showBox(box); }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        this, [this] { finish(); }, Qt::QueuedConnection);
  });
}

void BackupWindow::archiveEnded(const services::BackupArchive& archive) {
  if (archive.status || stop_) return;
  MessageRequest box;
  box.title = "Zip Error";
  box.text = archive.failure;
  box.icon = Icon::kExclamation;
  ctx_.errors.showBox(box);
}

void BackupWindow::waitForBackup() {
  if (worker_.joinable()) worker_.join();
}

void BackupWindow::finish() {
  if (finished_) return;
  waitForBackup();
  finished_ = true;
  fileBar_->setValue(0);
  archiveBar_->setValue(0);
  fileName_->clear();
  emit backupFinished();
  closeHosted(this);
}

}  // namespace velmora::ui
