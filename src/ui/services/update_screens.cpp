#include "ui/services/update_screens.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "framework/text.h"
#include "shell/banner.h"
#include "ui/browse/browse_window.h"
#include "ui/catalog/generic_keys.h"
#include "ui/worker_run.h"
#include "ui/zone_screens.h"

namespace velmora::ui {

namespace {
void closeHosted(QWidget* w) {
  if (w->parentWidget() && w->parentWidget()->inherits("QMdiSubWindow")) w->parentWidget()->close();
  else w->close();
}
}  // namespace

// ---- ACT_DAT ----

UpdateMenu::UpdateMenu(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
  setObjectName("ACT_DAT");
  setWindowTitle("Adquiriendo Actualizaciones del servidor Velmora");
  ctx_.errors.setProcedureName("ACT_DAT");
  auto* download = new QPushButton("Baja la actualización del internet");
  download->setObjectName("BUTTON1");
  auto* place = new QPushButton("Coloca la actualización en los archivos");
  place->setObjectName("BUTTON2");
  auto* server = new QPushButton("&Servidor...");
  server->setObjectName("server");
  server->setToolTip("La dirección, la cuenta y el directorio del servidor de actualizaciones");
  auto* image = new QLabel;
  image->setObjectName("IMAGE1");
  image->setAlignment(Qt::AlignCenter);
  const auto promo = shell::findFileNoCase(ctx_.session.installation.dataDir, "promo6.JPG");
  if (!promo.empty()) {
    const QPixmap picture(QString::fromStdString(promo.string()));
    if (!picture.isNull()) image->setPixmap(picture.scaled(320, 200, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(image);
  layout->addWidget(download);
  layout->addWidget(place);
  layout->addWidget(server);
  // Wide enough for its caption in the frame's title bar.
  resize(std::max(sizeHint().width(), fontMetrics().horizontalAdvance(windowTitle()) + 120), sizeHint().height());
  connect(download, &QPushButton::clicked, this, [this] { ctx_.openWindow(new UpdateWindow(ctx_)); });
  connect(place, &QPushButton::clicked, this, [this] {
    MergeWindow window(ctx_, this);
    window.exec();
  });
  connect(server, &QPushButton::clicked, this, [this] {
    ServerForm form(ctx_, this);
    form.exec();
  });
}

UpdateMenu::~UpdateMenu() { ctx_.errors.removeProcedureName("ACT_DAT"); }

// ---- ACTUAL ----

UpdateWindow::UpdateWindow(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
  setObjectName("ACTUAL");
  setWindowTitle("Actualizando Sistema Velmora");
  setAttribute(Qt::WA_DeleteOnClose);
  ctx_.errors.setProcedureName("ACTUAL");
  start_ = new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload), " Actualiza");
  start_->setObjectName("BUTTON2");
  status_ = new QLabel;
  status_->setObjectName("STATUS");
  status_->setMinimumWidth(420);
  status_->setWordWrap(true);
  auto* close = new QPushButton("Cierra");
  close->setObjectName("CLOSE");
  auto* wait = new QLabel("Espere que la barra termine");
  wait->setObjectName("STRING1");
  bar_ = new QProgressBar;
  bar_->setObjectName("FILETRANSFERPROGRESS");
  bar_->setRange(0, 100);
  bar_->setValue(0);
  auto* layout = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addStretch();
  buttons->addWidget(close);
  layout->addLayout(buttons);
  layout->addWidget(status_);
  layout->addWidget(wait);
  layout->addWidget(bar_);
  connect(start_, &QPushButton::clicked, this, &UpdateWindow::startUpdate);
  connect(close, &QPushButton::clicked, this, [this] { closeHosted(this); });

  // A record that cannot be read leaves the fields empty: the connection then fails.
  (void)services::readServerSettings(ctx_.session.installation, ctx_.errors, settings_);
  status_->setText("Desea verificar actualizaciones ?");
}

UpdateWindow::~UpdateWindow() {
  if (waitCursor_) QApplication::restoreOverrideCursor();
  ctx_.errors.removeProcedureName("ACTUAL");
}

QString UpdateWindow::statusText() const { return status_->text(); }

void UpdateWindow::startUpdate() {
  start_->setEnabled(false);  // once per opening of the window
  QApplication::setOverrideCursor(Qt::WaitCursor);
  waitCursor_ = true;
  run_ = std::make_unique<services::UpdateRun>(ctx_.session.installation.dataDir, settings_);
  connect(run_.get(), &services::UpdateRun::status, status_, &QLabel::setText);
  connect(&run_->client(), &net::FtpClient::progress, bar_, &QProgressBar::setValue);
  connect(run_.get(), &services::UpdateRun::finished, this, [this](bool complete) {
    if (waitCursor_) QApplication::restoreOverrideCursor();
    waitCursor_ = false;
    emit updateFinished(complete);
  });
  run_->start();
}

// ---- MOV_ACT ----

MergeWindow::MergeWindow(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("MOV_ACT");
  setWindowTitle(" Actualizado los  Archivos de Acrualización");
  ctx_.errors.setProcedureName("MOV_ACT");
  list_ = new QLineEdit;
  list_->setObjectName("TAMA");
  list_->setMaxLength(1);
  list_->setFixedWidth(40);
  auto* lookup = new QPushButton;
  lookup->setObjectName("CALLLOOKUP");
  lookup->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  text_ = new QLabel;
  text_->setObjectName("TEXTO");
  text_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(50, 'X')) * 3 / 4);
  auto* start = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), "");
  start->setObjectName("BUTTON4");
  start->setToolTip("Coloca los precios nuevos");
  auto* cancel = new QPushButton("Cancela");
  cancel->setObjectName("CANCELBUTTON");
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Lista de Precios a Actualizar:"));
  row->addWidget(list_);
  row->addWidget(lookup);
  row->addStretch();
  layout->addLayout(row);
  layout->addWidget(text_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(lookup, &QPushButton::clicked, this, &MergeWindow::lookUpZone);
  connect(list_, &QLineEdit::editingFinished, this, &MergeWindow::checkList);
  connect(start, &QPushButton::clicked, this, &MergeWindow::merge);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

MergeWindow::~MergeWindow() { ctx_.errors.removeProcedureName("MOV_ACT"); }

QString MergeWindow::shownInput() const { return text_->text(); }

void MergeWindow::lookUpZone() {
  auto* zones = new BrowseWindow(ctx_, zoneListSpec(), true);
  const int row = zones->model().locate(list_->text().trimmed());
  zones->selectRow(row >= 0 ? row : 0);
  if (auto chosen = pickFromList(zones, this, QSize(480, 320))) {
    list_->setText(QString::number(chosen->integer("CTA")));
  } else {
    list_->setFocus();
  }
}

void MergeWindow::checkList() {
  const QString typed = list_->text().trimmed();
  if (typed.isEmpty()) return;  // accepted while typing; the merge asks for one
  bool ok = false;
  const int n = typed.toInt(&ok);
  if (!ok || services::priceListProblem(ctx_.session.installation, ctx_.errors, n)) lookUpZone();
}

void MergeWindow::merge() {
  bool ok = false;
  const int n = list_->text().trimmed().toInt(&ok);
  // The price list is known good before anything is written.
  const auto problem = ok ? services::priceListProblem(ctx_.session.installation, ctx_.errors, n)
                          : std::optional<std::string>("INDIQUE LA LISTA DE PRECIOS");
  if (problem) {
    ctx_.prompter.warn({*problem, "LA LISTA DE PRECIOS ES UNA ZONA", "DEL 1 AL 5"});
    list_->setFocus();
    return;
  }
  // Off the window's thread, which keeps painting; a merge is one
  // transaction and is not stopped half-way.
  const tables::Installation inst = ctx_.session.installation;
  services::MergeResult result;
  std::string last;  // the input placed last, shown when the run ends
  const Status s = runOffTheWindowThread(
      this, ctx_.errors, "Colocando la Actualización",
      [](const std::string& description) { return QString::fromStdString(description); },
      [&](ErrorReporter& errors, const RunProgressCallback& progress) {
        size_t shown = 0;
        return services::mergeUpdate(
            inst, errors, n,
            [&](const std::string& description) {
              last = description;
              if (++shown % 200 == 1) progress(shown, 0, description);  // without slowing a long merge
            },
            &result);
      },
      false);
  text_->setText(QString::fromStdString(last));
  if (!s) {
    ctx_.prompter.warn(
        {"NO SE COLOCO LA ACTUALIZACION", "LOS INSUMOS QUEDAN COMO ESTABAN", text::clip(s.text()).substr(0, 40)});
    return;
  }
  accept();
}

// ---- the server form ----

ServerForm::ServerForm(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("UP_SERV");
  setWindowTitle("Servidor de Actualizaciones");
  services::ServerSettings s;
  (void)services::readServerSettings(ctx_.session.installation, ctx_.errors, s);
  host_ = new QLineEdit(QString::fromStdString(s.host));
  host_->setObjectName("SERVER");
  host_->setMaxLength(79);
  host_->setPlaceholderText("servidor o servidor:puerto");
  user_ = new QLineEdit(QString::fromStdString(s.user));
  user_->setObjectName("USER");
  user_->setMaxLength(80);
  password_ = new QLineEdit(QString::fromStdString(s.password));
  password_->setObjectName("PASS");
  password_->setMaxLength(80);
  password_->setEchoMode(QLineEdit::Password);
  directory_ = new QLineEdit(QString::fromStdString(s.directory));
  directory_->setObjectName("DIRE");
  directory_->setMaxLength(80);
  directory_->setPlaceholderText("/");
  auto* form = new QFormLayout(this);
  form->addRow("SERVIDOR:", host_);
  form->addRow("USUARIO:", user_);
  form->addRow("CLAVE:", password_);
  form->addRow("DIRECTORIO:", directory_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancela");
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &ServerForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ServerForm::accept() {
  std::string host;
  uint16_t port = 21;
  if (!services::splitHostPort(host_->text().toStdString(), host, port)) {
    ctx_.prompter.warn(
        {"EL PUERTO DEL SERVIDOR NO ES VALIDO", "ESCRIBA SERVIDOR O SERVIDOR:PUERTO", "PUERTO DEL 1 AL 65535"});
    host_->setFocus();
    return;
  }
  const services::ServerSettings s{host_->text().trimmed().toStdString(), user_->text().toStdString(),
                                   password_->text().toStdString(), directory_->text().trimmed().toStdString()};
  if (!services::writeServerSettings(ctx_.session.installation, ctx_.errors, s)) return;  // the reporter said why
  QDialog::accept();
}

}  // namespace velmora::ui
