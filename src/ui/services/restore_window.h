// The restore window: an archive of a backup put back, the system files or
// one work. It checks the archive before anything is touched and, once the
// files are swapped, ends the program so that it opens the restored data.
#pragma once

#include <QDialog>

#include "ui/context.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora::ui {

class RestoreWindow : public QDialog {
  Q_OBJECT
 public:
  explicit RestoreWindow(Context& ctx, QWidget* parent = nullptr);
  // Whether a restore was done (the program must then end).
  bool restored() const { return restored_; }
  void setArchive(const QString& path);

 private:
  void chooseArchive();
  void describeArchive();
  void restore();

  Context& ctx_;
  QLineEdit* archive_;
  QLabel* contents_;
  QPushButton* start_;
  bool restored_ = false;
};

}  // namespace velmora::ui
