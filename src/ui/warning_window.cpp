#include "ui/warning_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace velmora::ui {

WarningWindow::WarningWindow(const shell::WarningLines& lines, bool question, QWidget* parent) : QDialog(parent) {
  setObjectName(question ? "SINO" : "SHOWWARNING");
  setWindowTitle("MENSAJE DE ADVERTENCIA !!!");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* image = new QLabel;
  image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
  top->addWidget(image, 0, Qt::AlignTop);
  auto* text = new QVBoxLayout;
  for (int i = 0; i < 3; ++i) {
    auto* line = new QLabel(QString::fromStdString(lines[i]).left(40));
    line->setObjectName(QString("line%1").arg(i + 1));
    line->setAlignment(Qt::AlignCenter);
    line->setMinimumWidth(320);
    text->addWidget(line);
  }
  top->addLayout(text);
  layout->addLayout(top);
  if (question) {
    auto* group = new QGroupBox("SELECCIONE SU OPCION");
    auto* options = new QHBoxLayout(group);
    auto* no = new QRadioButton("NO");
    no->setObjectName("no");
    yes_ = new QRadioButton("SI");
    yes_->setObjectName("yes");
    no->setChecked(true);  // opening the window sets the answer to "N"
    options->addWidget(no);
    options->addWidget(yes_);
    layout->addWidget(group);
  }
  auto* ok = new QPushButton("Ok");
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignCenter);
}

char WarningWindow::answer() const { return yes_ && yes_->isChecked() ? 'S' : 'N'; }

void QtPrompter::warn(const shell::WarningLines& lines) {
  WarningWindow w(lines, false, parent_);
  w.exec();
}

bool QtPrompter::ask(const shell::WarningLines& lines) {
  WarningWindow w(lines, true, parent_);
  w.exec();
  return w.answer() == 'S';
}

}  // namespace velmora::ui
