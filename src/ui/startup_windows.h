// INSTALA, the first-run settings window, and ACCE, the login window; and the
// start-up under Qt that runs them.
#pragma once

#include <QDialog>

#include "shell/startup.h"
#include "ui/warning_window.h"

class QLineEdit;

namespace velmora::ui {

class SettingsWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SettingsWindow(QWidget* parent = nullptr);
  shell::SettingsEntry entry() const;
  void accept() override;  // stays while a required field is empty

 private:
  QLineEdit* company_;
  QLineEdit* login_;
  QLineEdit* password_;
};

class LoginWindow : public QDialog {
  Q_OBJECT
 public:
  LoginWindow(const QString& company, const QString& imageFile, QWidget* parent = nullptr);
  QString login() const;
  QString password() const;

 private:
  QLineEdit* login_;
  QLineEdit* password_;
};

// MESSINST: "PROBLEMA CON EL ACCESO", how to let the program write in its
// own folder.
class InstructionsWindow : public QDialog {
  Q_OBJECT
 public:
  explicit InstructionsWindow(QWidget* parent = nullptr);
};

// The start-up windows under Qt.
class QtStartupUi : public shell::StartupUi {
 public:
  QtStartupUi(Prompter& prompter, std::filesystem::path dataDir) : prompter_(prompter), dataDir_(std::move(dataDir)) {}
  void warn(const shell::WarningLines& lines) override { prompter_.warn(lines); }
  void showInstructions() override;
  std::optional<shell::SettingsEntry> runInstala() override;
  std::optional<std::pair<std::string, std::string>> runLogin(const std::string& company) override;

 private:
  Prompter& prompter_;
  std::filesystem::path dataDir_;
};

}  // namespace velmora::ui
