// MENU_BASE, "Base de Datos General": the entry to the base catalogues.
#pragma once

#include <QWidget>

#include "ui/context.h"

namespace velmora::ui {

class BaseMenu : public QWidget {
  Q_OBJECT
 public:
  explicit BaseMenu(Context& ctx, QWidget* parent = nullptr);
  // Opens a catalogue as its button does: "CLAVES", "INSUMOS", "MAQUINAS", "CONCEPTOS".
  QWidget* open(const QString& which);

 private:
  Context& ctx_;
};

}  // namespace velmora::ui
