// INTERCAMBIO_BC3, "Intercambio de Catálogo FIEBDC-3": the base catalogue
// written to a BC3 file at one price list, or a BC3 file read into it. An
// import is checked whole and shown before anything is written.
#pragma once

#include <QDialog>

#include "ui/context.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace velmora::ui {

class Bc3Window : public QDialog {
  Q_OBJECT
 public:
  explicit Bc3Window(Context& ctx, QWidget* parent = nullptr);
  // The steps behind the buttons, with their file chosen.
  bool exportTo(const QString& path);
  // Checks the file and shows what it would do; `apply` then writes it.
  bool check(const QString& path);
  bool apply();

 private:
  Context& ctx_;
  QSpinBox* list_;
  QLabel* status_;
  QPushButton* apply_;
  QString checked_;
};

}  // namespace velmora::ui
