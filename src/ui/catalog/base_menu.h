// MENU_BASE, "Base de Datos General": the entry to the base catalogues.
#pragma once

#include <QWidget>

#include <functional>

#include "ui/context.h"

namespace velmora::ui {

class BaseMenu : public QWidget {
  Q_OBJECT
 public:
  explicit BaseMenu(Context& ctx, QWidget* parent = nullptr);
  // Opens what its button opens: "CLAVES", "INSUMOS", "MAQUINAS", "CONCEPTOS"
  // (a list, returned), "REPORTES", "PRECIOS", "BC3" (a dialog).
  QWidget* open(const QString& which);
  // What "REPORTES" opens: the catalogue's report menu, which its creator
  // knows (the reports sit beside the catalogue screens, not below them).
  std::function<void(QWidget* parent)> openReports;

 private:
  Context& ctx_;
};

}  // namespace velmora::ui
