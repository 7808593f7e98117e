// MENU_BASE, "Base de Datos General": the entry to the base catalogues.
#pragma once

#include <QWidget>

#include "ui/context.h"

namespace velmora::ui {

class BaseMenu : public QWidget {
  Q_OBJECT
 public:
  explicit BaseMenu(Context& ctx, QWidget* parent = nullptr);
  // Opens what its button opens: "CLAVES", "INSUMOS", "MAQUINAS", "CONCEPTOS"
  // (a list, returned), "REPORTES", "PRECIOS", "BC3" (a dialog).
  QWidget* open(const QString& which);

 private:
  Context& ctx_;
};

}  // namespace velmora::ui
