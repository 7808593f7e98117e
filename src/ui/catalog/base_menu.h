// MENU_BASE, "Base de Datos General": the entry to the base catalogues.
#pragma once

#include <QWidget>

#include <functional>

#include "ui/context.h"

namespace velmora::ui {

class BaseMenu : public QWidget {
  Q_OBJECT
 public:
  // `openReports` is what "REPORTES" opens: the catalogue's report menu,
  // which the menu's maker knows (the reports sit beside the catalogue
  // screens, not below them). Without it the button is disabled.
  explicit BaseMenu(Context& ctx, std::function<void(QWidget* parent)> openReports = {}, QWidget* parent = nullptr);
  // Opens what its button opens: "CLAVES", "INSUMOS", "MAQUINAS", "CONCEPTOS"
  // (a list, returned), "REPORTES", "PRECIOS", "BC3" (a dialog).
  QWidget* open(const QString& which);

 private:
  Context& ctx_;
  std::function<void(QWidget* parent)> openReports_;
};

}  // namespace velmora::ui
