#include "ui/startup_windows.h"

#include <QHBoxLayout>

#include <QFrame>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/banner.h"

namespace velmora::ui {

SettingsWindow::SettingsWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("INSTALA");
  setWindowTitle("Personalizando el Sistema");
  auto* layout = new QVBoxLayout(this);
  auto* tabs = new QTabWidget;
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  company_ = new QLineEdit;
  company_->setObjectName("company");
  company_->setMaxLength(50);
  login_ = new QLineEdit;
  login_->setObjectName("login");
  login_->setMaxLength(10);
  password_ = new QLineEdit;
  password_->setObjectName("password");
  password_->setMaxLength(20);
  password_->setEchoMode(QLineEdit::Password);
  form->addRow("&Nombre de su Compañía:", company_);
  form->addRow("Login:", login_);
  form->addRow("", new QLabel("Sin este login y clave, no podrá accesar"));
  form->addRow("&Su Clave de Acceso:", password_);
  tabs->addTab(page, "Capturando Datos Generales del Sistema");
  layout->addWidget(tabs);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&Aceptar");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancelar");
  connect(buttons, &QDialogButtonBox::accepted, this, &SettingsWindow::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

shell::SettingsEntry SettingsWindow::entry() const {
  return {company_->text().toStdString(), login_->text().toStdString(), password_->text().toStdString()};
}

void SettingsWindow::accept() {
  QLineEdit* fields[] = {company_, login_, password_};
  const int empty = shell::firstEmptySettingsField(entry());
  if (empty >= 0) {
    fields[empty]->setFocus();
    fields[empty]->selectAll();
    return;
  }
  QDialog::accept();
}

LoginWindow::LoginWindow(const QString& company, const QString& imageFile, QWidget* parent) : QDialog(parent) {
  setObjectName("ACCE");
  setWindowTitle("Accesando el Sistema");
  auto* layout = new QVBoxLayout(this);
  auto* image = new QLabel;
  image->setObjectName("image");
  QPixmap picture(imageFile);
  if (!picture.isNull()) {
    image->setPixmap(picture.scaledToWidth(360, Qt::SmoothTransformation));
  } else {
    image->setText("<h2>Velmora</h2>" + company.toHtmlEscaped());
    image->setAlignment(Qt::AlignCenter);
  }
  layout->addWidget(image);
  auto* form = new QFormLayout;
  login_ = new QLineEdit;
  login_->setObjectName("login");
  login_->setMaxLength(20);
  password_ = new QLineEdit;
  password_->setObjectName("password");
  password_->setMaxLength(20);
  password_->setEchoMode(QLineEdit::Password);
  form->addRow("Login:", login_);
  form->addRow("Clave de Acceso:", password_);
  layout->addLayout(form);
  auto* ok = new QPushButton("OK");
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
}

QString LoginWindow::login() const { return login_->text(); }
QString LoginWindow::password() const { return password_->text(); }

std::optional<shell::SettingsEntry> QtStartupUi::runInstala() {
  SettingsWindow window;
  if (window.exec() != QDialog::Accepted) return std::nullopt;
  return window.entry();
}

std::optional<std::pair<std::string, std::string>> QtStartupUi::runLogin(const std::string& company) {
  const auto image = shell::findFileNoCase(dataDir_, "promo1.JPG");
  LoginWindow window(QString::fromStdString(company), QString::fromStdString(image.string()));
  if (window.exec() != QDialog::Accepted) return std::nullopt;
  return std::make_pair(window.login().toStdString(), window.password().toStdString());
}

InstructionsWindow::InstructionsWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("MESSINST");
  setWindowTitle("PROBLEMA CON EL ACCESO");
  auto* layout = new QVBoxLayout(this);
  auto* box = new QFrame;
  box->setFrameShape(QFrame::Box);
  auto* lines = new QVBoxLayout(box);
  for (const char* line : {"  EL SISTEMA TIENE PROBLEMAS PORQUE WINDOWS (POSIBLEMENTE SEA VISTA) NO ESTA PERMITIENDO  ",
                           "  EL MODIFICAR ARCHIVOS DENTRO DEL DIRECTORIO INSTALADO,  PARA ELLO ES NECESARIO:",
                           "  1.-  ABRA  SU UNIDAD DE  DISCO DURO EN ARCHIVOS DE  PROGRAMAS  ",
                           "  2.-  SOBRE LA CARPETA VELMORA PULSE EL BOTON DERECHO DEL MOUSE",
                           "  3.-  ACCESE A  PROPIEDADES DE LA CARPETA ",
                           "  4.-  ABRA LA PESTAÑA SEGURIDAD, PULSE EL BOTON IZQUIERDO DEL MOUSE EN USUARIOS",
                           "  5.-  PALOMEE TODOS LOS ATRIBUTOS  PULSE APLICAR Y  POSTERIORMENTE ACEPTAR",
                           "  ACCEDA SIN PROBLEMAS A SU SISTEMA GRATUITO VELMORA."}) {
    auto* label = new QLabel(QString::fromUtf8(line));
    label->setTextFormat(Qt::PlainText);
    lines->addWidget(label);
  }
  layout->addWidget(box);
  auto* ok = new QPushButton("&OK");
  ok->setObjectName("ok");
  ok->setToolTip("Accept operation");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  layout->addLayout(row);
}

void QtStartupUi::showInstructions() {
  InstructionsWindow window;
  window.exec();
}

}  // namespace velmora::ui
