// Main: the application window with its menu, toolbar of large buttons, the
// rotating banner and the area where the catalogue windows open.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

#include "shell/banner.h"
#include "shell/ini_file.h"
#include "ui/context.h"

class QAction;
class QLabel;
class QMdiArea;
class QSplashScreen;
class QToolButton;

namespace velmora::ui {

class MainFrame : public QMainWindow {
  Q_OBJECT
 public:
  MainFrame(Context& ctx, QWidget* parent = nullptr);
  ~MainFrame() override;

  // Hosts a window as an MDI child; `onClose` runs when it closes.
  void openWindow(QWidget* window, std::function<void()> onClose = {});
  QMdiArea* area() const { return area_; }
  QAction* action(const QString& objectName) const;
  // Shows the next logo of the rotation.
  void rotateBanner();
  int shownLogo() const { return shownLogo_; }
  // "SALIR" asked to end at once, without the shutdown steps.
  bool endedAtOnce() const { return endedAtOnce_; }
  void showSplash();
  // Opens a document of the data directory; failures show their text.
  void openDocument(const QString& file);
  // Where the windows' placement is kept (KAVEL.INI); windows opened later
  // take their last placement and leave theirs when they close.
  void setPlacements(shell::IniFile* ini) { ini_ = ini; }
  // "Restaurar Respaldo": only with no other window open; a restore done
  // ends the program, which must open the restored files afresh.
  void restoreBackup();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildToolbar();
  QAction* addTool(const QString& caption, const QString& hint, const char* name, int icon, std::function<void()> run,
                   bool enabled = true);
  void showImage(const QString& file);
  void refreshStatus();
  void closeSplash();

  Context& ctx_;
  QMdiArea* area_;
  QLabel* banner_;
  QLabel* zoneStatus_;
  shell::BannerPile pile_;
  int shownLogo_ = 0;
  bool endedAtOnce_ = false;
  QSplashScreen* splash_ = nullptr;
  shell::IniFile* ini_ = nullptr;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace velmora::ui
