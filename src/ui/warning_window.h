// SHOWWARNING and SINO: the warning and question windows with three centred
// lines, titled "MENSAJE DE ADVERTENCIA !!!".
#pragma once

#include <QDialog>

#include "shell/access.h"

class QRadioButton;

namespace velmora::ui {

// Shows warnings and asks yes/no questions. The Qt implementation opens the
// windows; tests install a recording one.
class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual void warn(const shell::WarningLines& lines) = 0;
  // True when the answer is "S".
  virtual bool ask(const shell::WarningLines& lines) = 0;
};

class QtPrompter : public Prompter {
 public:
  explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
  void warn(const shell::WarningLines& lines) override;
  bool ask(const shell::WarningLines& lines) override;

 private:
  QWidget* parent_;
};

class WarningWindow : public QDialog {
  Q_OBJECT
 public:
  // With `question` the window offers "NO" (chosen at first) and "SI".
  WarningWindow(const shell::WarningLines& lines, bool question, QWidget* parent = nullptr);
  char answer() const;  // 'S' or 'N'

 private:
  QRadioButton* yes_ = nullptr;
};

}  // namespace velmora::ui
