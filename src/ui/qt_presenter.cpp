#include "ui/qt_presenter.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora::ui {
namespace {

struct ButtonInfo {
  int code;
  QMessageBox::StandardButton standard;
  const char* label;         // message box
  const char* historyLabel;  // history window
};

// From the highest code down, the order of the history window.
constexpr ButtonInfo kButtons[] = {
    {button::kHelp, QMessageBox::Help, "Ay&uda", "&Help"},
    {button::kCancel, QMessageBox::Cancel, "&Cancelar", "&Cancel"},
    {button::kIgnore, QMessageBox::Ignore, "&Ignorar", "&Ignore"},
    {button::kRetry, QMessageBox::Retry, "&Reintentar", "&Retry"},
    {button::kAbort, QMessageBox::Abort, "&Abortar", "&Abort"},
    {button::kNo, QMessageBox::No, "&No", "&No"},
    {button::kYes, QMessageBox::Yes, "&Sí", "&Yes"},
    {button::kOk, QMessageBox::Ok, "&Aceptar", "O&k"},
};

}  // namespace

int QtPresenter::showMessage(const MessageRequest& request) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(request.title));
  box.setText(QString::fromStdString(request.text).replace('|', '\n'));
  box.setIcon(request.icon == Icon::kQuestion ? QMessageBox::Question : QMessageBox::Warning);
  std::map<QAbstractButton*, int> codes;
  for (auto it = std::rbegin(kButtons); it != std::rend(kButtons); ++it) {
    if (!(request.buttons & it->code)) continue;
    QPushButton* b = box.addButton(it->standard);
    b->setText(QString::fromUtf8(it->label));
    codes[b] = it->code;
    if (it->code == request.defaultButton) box.setDefaultButton(b);
    if (it->code == button::kCancel || (it->code == button::kNo && !(request.buttons & button::kCancel))) {
      box.setEscapeButton(b);
    }
  }
  box.exec();
  auto found = codes.find(box.clickedButton());
  return found == codes.end() ? request.defaultButton : found->second;
}

int QtPresenter::showHistory(const std::string& title, const std::vector<HistoryEntry>& entries, int buttons,
                             int defaultButton) {
  HistoryWindow window(QString::fromStdString(title), entries, buttons, defaultButton, QApplication::activeWindow());
  window.exec();
  return window.pressed() ? window.pressed() : defaultButton;
}

HistoryWindow::HistoryWindow(const QString& title, const std::vector<HistoryEntry>& entries, int buttons,
                             int defaultButton, QWidget* parent)
    : QDialog(parent) {
  setObjectName("ABERROR");
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* image = new QLabel;
  image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  top->addWidget(image, 0, Qt::AlignTop);
  auto* list = new QTreeWidget;
  list->setObjectName("history");
  list->setHeaderLabels({"Message", "Category"});
  list->setRootIsDecorated(false);
  for (const auto& e : entries) {
    list->addTopLevelItem(
        new QTreeWidgetItem({QString::fromStdString(e.text).left(255), QString::fromStdString(e.category)}));
  }
  list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  top->addWidget(list);
  layout->addLayout(top);
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (const auto& b : kButtons) {
    if (!(buttons & b.code)) continue;
    auto* push = new QPushButton(QString::fromUtf8(b.historyLabel));
    push->setObjectName(QString("button%1").arg(b.code));
    const int code = b.code;
    connect(push, &QPushButton::clicked, this, [this, code] {
      pressed_ = code;
      accept();
    });
    if (b.code == defaultButton) {
      push->setDefault(true);
      push->setFocus();
    }
    row->addWidget(push);
  }
  layout->addLayout(row);
  resize(560, 300);
}

}  // namespace velmora::ui
