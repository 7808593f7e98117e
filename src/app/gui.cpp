#include "app/gui.h"

#include <QMdiSubWindow>

#include <filesystem>

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/commands.h"
#include "framework/text.h"
#include "reports/zone_report.h"
#include "services/installation_use.h"
#include "shell/ini_file.h"
#include "shell/platform.h"
#include "shell/startup.h"
#include "tables/catalogue.h"
#include "ui/catalog/base_menu.h"
#include "ui/catalog/concept_screens.h"
#include "ui/catalog/input_screens.h"
#include "ui/catalog/machine_screens.h"
#include "ui/exchange/bc3_window.h"
#include "ui/exchange/price_import_window.h"
#include "ui/main_frame.h"
#include "ui/qt_presenter.h"
#include "ui/reports/report_menus.h"
#include "ui/reports/report_preview.h"
#include "ui/services/backup_window.h"
#include "ui/services/supplier_screens.h"
#include "ui/services/update_screens.h"
#include "ui/startup_windows.h"
#include "ui/users_screens.h"
#include "ui/works/budget_window.h"
#include "ui/works/work_concept_form.h"
#include "ui/works/works_screens.h"
#include "ui/zone_screens.h"
#include "works/work.h"

namespace velmora::app {

namespace {

// The desktop application. What a window's handler throws (memory, a name
// the code does not know) is caught here, at the edge of the event loop,
// and shown in one line; the program goes on with the window as it was.
class DesktopApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      QMessageBox::warning(nullptr, "Velmora",
                           QString::fromStdString("No se pudo terminar la operación: " + text::exceptionText(e)));
      return false;
    }
  }
};

bool hasDisplay() {
#if defined(_WIN32) || defined(__APPLE__)
  return true;
#else
  return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
#endif
}

}  // namespace

int runGui(int argc, char** argv, const std::string& dataDir, const std::string& settingsOption,
           const std::string& openWork) {
  if (!hasDisplay()) {
    std::cerr << "velmora: no hay pantalla. Para usarlo sin pantalla: QT_QPA_PLATFORM=offscreen velmora ..., "
                 "o las órdenes velmora demo|check DIR\n";
    return 1;
  }
  DesktopApplication app(argc, argv);
  QApplication::setApplicationName("Velmora");
  ErrorReporter errors;
  ui::QtPresenter presenter;
  errors.setPresenter(&presenter);
  // After a fatal notice on the window's thread ("Press OK to end this
  // application") the operation returns its failure to the window, and the
  // event loop ends once it is back there: the program ends with status 1.
  bool fatalMet = false;
  errors.setFatalHandler([&fatalMet](const std::string&) {
    fatalMet = true;
    QCoreApplication::exit(1);
  });

  std::vector<std::string> args(argv + 1, argv + argc);
  shell::Session session = sessionAt(dataDir, settingsOption, errors);
  // Held while the program runs: a restore waits until every program is out.
  services::InstallationUse use;
  std::ostringstream why;
  if (!useInstallation(session.installation, use, false, why)) {
    std::string text = why.str();
    if (text.rfind("velmora: ", 0) == 0) text.erase(0, 9);
    QMessageBox::warning(nullptr, "Velmora", QString::fromStdString(text).trimmed());
    return 1;
  }
  if (!why.str().empty())
    QMessageBox::information(nullptr, "Velmora", QString::fromStdString(why.str().substr(9)).trimmed());
  session.netTrace = shell::netTraceFromArguments(args);

  // Windows dragged with their full contents are switched off while we run.
  const bool dragging = platform::fullWindowDragging();
  if (dragging) platform::setFullWindowDragging(false);

  ui::QtPrompter prompter;
  ui::QtStartupUi startupUi(prompter, session.installation.dataDir);
  if (shell::startSession(session, startupUi) == shell::StartupOutcome::kEndProgram || fatalMet) {
    if (dragging) platform::setFullWindowDragging(true);
    return fatalMet ? 1 : 0;
  }

  shell::IniFile ini(session.installation.dataDir / "KAVEL.INI");
  ini.load();
  ui::MainFrame* framePtr = nullptr;
  ui::Context ctx{session, errors, prompter, [&framePtr](QWidget* w) { framePtr->openWindow(w); }, &use};
  ui::MainFrame frame(ctx);
  framePtr = &frame;
  frame.setPlacements(&ini);
  if (auto p = ini.placement("Main")) {
    frame.setGeometry(p->x, p->y, p->width, p->height);
    if (p->maximized) frame.setWindowState(Qt::WindowMaximized);
  }
  frame.show();
  frame.showSplash();
  if (!openWork.empty()) {
    // --obra: the budget of that work opens at once, as SISTEMAS would open it.
    auto obra = session.installation.table("OBRA", errors);
    auto control = session.installation.table("CONTROL", errors);
    if (obra->open() && control->open()) {
      works::WorkHeader header;
      if (!works::readWorkHeader(*obra, openWork, &header)) {
        prompter.warn({"NO EXISTE LA OBRA " + openWork, "ELIJALA DESDE SISTEMAS", "CON Ok CONTINUA..."});
      } else if (!works::chooseWork(session, header, *control)) {
        prompter.warn({"NO SE ENCONTRO EL DIRECTORIO", "DE LA OBRA " + openWork, "VERIFIQUE SU INSTALACION"});
      } else {
        frame.openWindow(new ui::BudgetWindow(ctx, header));
      }
    }
  }
  // A fatal notice before the event loop runs ends the program here.
  const int status = fatalMet ? 1 : app.exec();
  if (frame.endedAtOnce()) return status;  // "SALIR": no shutdown steps

  // Shutdown: window placement, the desktop setting, the reporter.
  const QRect g = frame.normalGeometry();
  ini.setPlacement("Main", {g.x(), g.y(), g.width(), g.height(), frame.isMaximized(), frame.isMinimized()});
  ini.save();
  if (dragging) platform::setFullWindowDragging(true);
  return status;
}

}  // namespace velmora::app
