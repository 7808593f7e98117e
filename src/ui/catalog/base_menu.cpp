#include "ui/catalog/base_menu.h"

#include <QGridLayout>
#include <QPushButton>
#include <QStyle>

#include "ui/catalog/concept_screens.h"
#include "ui/catalog/generic_keys.h"
#include "ui/catalog/input_screens.h"
#include "ui/catalog/machine_screens.h"
#include "ui/exchange/bc3_window.h"
#include "ui/exchange/price_import_window.h"

namespace velmora::ui {

BaseMenu::BaseMenu(Context& ctx, std::function<void(QWidget* parent)> openReports, QWidget* parent)
    : QWidget(parent), ctx_(ctx), openReports_(std::move(openReports)) {
  setObjectName("MENU_BASE");
  setWindowTitle("Base de Datos General");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout(this);
  struct Entry {
    const char* caption;
    const char* hint;
    QStyle::StandardPixmap icon;
    bool enabled;
  };
  const Entry entries[] = {
      {"CLAVES", "Claves Genéricas", QStyle::SP_FileDialogListView, true},
      {"INSUMOS", "Insumos", QStyle::SP_FileDialogDetailedView, true},
      {"MAQUINAS", "Costos Horarios", QStyle::SP_ComputerIcon, true},
      {"CONCEPTOS", "Conceptos de Obra", QStyle::SP_FileDialogContentsView, true},
      {"REPORTES", "Reportes de la Base de Datos", QStyle::SP_FileIcon, static_cast<bool>(openReports_)},
      {"PRECIOS", "Importa la Lista de Precios de un Proveedor", QStyle::SP_ArrowDown, true},
      {"BC3", "Intercambio de Catálogo FIEBDC-3", QStyle::SP_DriveNetIcon, true},
      {"SALIR", "", QStyle::SP_DialogCloseButton, true},
  };
  int i = 0;
  for (const Entry& e : entries) {
    auto* b = new QPushButton(style()->standardIcon(e.icon), e.caption);
    b->setObjectName(e.caption);
    b->setToolTip(QString::fromUtf8(e.hint));
    b->setIconSize(QSize(32, 32));
    b->setMinimumSize(160, 56);
    b->setEnabled(e.enabled);
    const QString which = e.caption;
    connect(b, &QPushButton::clicked, this, [this, which] {
      if (which == "SALIR") {
        if (parentWidget() && parentWidget()->inherits("QMdiSubWindow")) parentWidget()->close();
        else close();
        return;
      }
      open(which);
    });
    grid->addWidget(b, i / 2, i % 2);
    ++i;
  }
}

QWidget* BaseMenu::open(const QString& which) {
  // Each catalogue opens as a window of its own, beside the others.
  BrowseWindow* list = nullptr;
  if (which == "CLAVES") list = new BrowseWindow(ctx_, genericKeysSpec());
  if (which == "INSUMOS") list = makeInputList(ctx_);
  if (which == "MAQUINAS") list = makeMachineList(ctx_);
  if (which == "CONCEPTOS") list = makeConceptList(ctx_);
  if (list) ctx_.openWindow(list);
  if (which == "REPORTES" && openReports_) openReports_(this);
  if (which == "PRECIOS") {
    PriceImportWindow window(ctx_, this);
    window.exec();
  }
  if (which == "BC3") {
    Bc3Window window(ctx_, this);
    window.exec();
  }
  return list;
}

}  // namespace velmora::ui
