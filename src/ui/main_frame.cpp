#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSplashScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/documents.h"
#include "ui/catalog/base_menu.h"
#include "ui/reports/report_menus.h"
#include "ui/services/backup_window.h"
#include "ui/services/restore_window.h"
#include "ui/services/supplier_screens.h"
#include "ui/services/update_screens.h"
#include "ui/startup_windows.h"
#include "ui/users_screens.h"
#include "ui/works/budget_window.h"
#include "ui/zone_screens.h"

namespace velmora::ui {

MainFrame::MainFrame(Context& ctx, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), pile_(ctx.session.logoCount, [](int count) {
        return 1 + static_cast<int>(QRandomGenerator::global()->bounded(count));
      }) {
  setObjectName("Main");
  setWindowTitle("Sistema de Control de Obra Velmora");
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);
  banner_ = new QLabel;
  banner_->setObjectName("banner");
  banner_->setAlignment(Qt::AlignCenter);
  banner_->setMinimumHeight(90);
  banner_->setMaximumHeight(120);
  layout->addWidget(banner_);
  auto* web = new QPushButton("Ir a Nuestra Página de Internet");
  web->setObjectName("webButton");
  web->setFlat(true);
  connect(web, &QPushButton::clicked, this, [this] { closeSplash(); });
  layout->addWidget(web, 0, Qt::AlignCenter);
  area_ = new QMdiArea;
  // A window that opens or comes forward may have chosen a work (and its zone).
  connect(area_, &QMdiArea::subWindowActivated, this, [this] { refreshStatus(); });
  area_->setObjectName("area");
  layout->addWidget(area_, 1);
  setCentralWidget(central);

  buildMenus();
  buildToolbar();
  zoneStatus_ = new QLabel;
  zoneStatus_->setObjectName("zoneStatus");
  statusBar()->addPermanentWidget(zoneStatus_);
  showImage("promo2.jpg");
  refreshStatus();
  resize(1024, 720);
}

MainFrame::~MainFrame() { delete splash_; }

QAction* MainFrame::action(const QString& objectName) const { return findChild<QAction*>(objectName); }

void MainFrame::buildMenus() {
  const auto add = [this](QMenu* menu, const QString& text, const char* name, const QString& hint,
                          std::function<void()> run) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    a->setStatusTip(hint);
    connect(a, &QAction::triggered, this, [this, run] {
      closeSplash();
      run();
    });
    return a;
  };
  QMenu* file = menuBar()->addMenu("&Archivo");
  add(file, "Configurar &Impresora", "PRINTSETUP", "Configurar Impresora", [this] {
    QPrinter printer;
    QPageSetupDialog dialog(&printer, this);
    dialog.exec();
  });
  add(file, "Res&taurar Respaldo", "RESTAURA", "Pone de vuelta un respaldo", [this] { restoreBackup(); });
  add(file, "&Salir", "EXIT", "Regresar a Windows", [this] { close(); });

  QMenu* edit = menuBar()->addMenu("&Editar");
  const auto onFocused = [](const char* method) {
    return [method] {
      if (QWidget* w = QApplication::focusWidget()) QMetaObject::invokeMethod(w, method);
    };
  };
  add(edit, "Cor&tar", "CUT", "Pasar Texto al Clipboard", onFocused("cut"));
  add(edit, "&Copiar", "COPY", "Copiar texto al Clipboard", onFocused("copy"));
  add(edit, "&Pegar", "PASTE", "Pegar texto del Clipboard", onFocused("paste"));

  QMenu* window = menuBar()->addMenu("&Ventana");
  window->setStatusTip("Crear y arreglar Ventanas");
  add(window, "&Mosaico", "TILE", "Hace visibles todas las Ventanas", [this] { area_->tileSubWindows(); });
  add(window, "&Cascada", "CASCADE", "Acomoda ventanas Abiertas", [this] { area_->cascadeSubWindows(); });
  add(window, "&Arregla Iconos", "ARRANGE", "Alinea los Iconos", [this] {
    int x = 0;
    for (QMdiSubWindow* w : area_->subWindowList()) {
      if (!w->isMinimized()) continue;
      w->move(x, area_->height() - w->height());
      x += w->width();
    }
  });

  QAction* configure = menuBar()->addAction("&Configurar Sistema");
  configure->setObjectName("CONFIGURARSISTEMA");
  configure->setEnabled(ctx_.login().isMaster());  // a user logged in from PERS may not
  connect(configure, &QAction::triggered, this, [this] {
    closeSplash();
    QtStartupUi ui(ctx_.prompter, ctx_.session.installation.dataDir);
    if (auto entry = ui.runInstala(); entry && shell::firstEmptySettingsField(*entry) < 0) {
      if (shell::saveSettings(ctx_.session.installation, ctx_.errors, *entry)) {
        ctx_.prompter.warn({"DEBE DE CERRARSE EL SISTEMA", "PARA QUE ACEPTE LOS NUEVOS", "PARAMETROS ..."});
        endedAtOnce_ = true;
        QApplication::exit(0);
      }
    }
  });

  QMenu* help = menuBar()->addMenu("Ay&uda");
  help->setStatusTip("Ayuda del sistema");
  add(help, "&Contenido", "HELPINDEX", "Ve el contenido del Help", [this] { openDocument("OBRAS.HLP"); });
  add(help, "&Busca help de ...", "HELPSEARCH", "Busca dentro del Help", [this] { openDocument("OBRAS.HLP"); });
  add(help, "&Como usar el help", "HELPONHELP", "Como usar el Help", [this] {
    QMessageBox::information(this, "Como usar el Help",
                             "El contenido de la ayuda se abre con el programa asociado a su archivo.");
  });

  QAction* suppliers = menuBar()->addAction("Proveedores");
  suppliers->setObjectName("PROVEE");
  suppliers->setVisible(ctx_.session.showSuppliers);
  connect(suppliers, &QAction::triggered, this, [this] {
    closeSplash();
    openSupplierMaintenance(ctx_);
  });
}

void MainFrame::restoreBackup() {
  if (!area_->subWindowList().isEmpty()) {
    ctx_.prompter.warn({"CIERRE TODAS LAS VENTANAS", "ANTES DE RESTAURAR", "UN RESPALDO"});
    return;
  }
  RestoreWindow window(ctx_, this);
  window.exec();
  if (window.restored()) {
    endedAtOnce_ = true;
    QApplication::exit(0);
  }
}

QAction* MainFrame::addTool(const QString& caption, const QString& hint, const char* name, int icon,
                            std::function<void()> run, bool enabled) {
  QToolBar* bar = findChild<QToolBar*>("toolbar");
  // Every tool shows a 32-pixel picture, whatever sizes the style has.
  QPixmap picture = style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)).pixmap(QSize(32, 32));
  if (picture.size() != QSize(32, 32)) picture = picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QAction* a = bar->addAction(QIcon(picture), caption);
  a->setObjectName(name);
  a->setToolTip(hint.isEmpty() ? caption : hint);
  a->setEnabled(enabled);
  connect(a, &QAction::triggered, this, [this, run] {
    closeSplash();
    run();
  });
  return a;
}

void MainFrame::buildToolbar() {
  auto* bar = addToolBar("Herramientas");
  bar->setObjectName("toolbar");
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setIconSize(QSize(32, 32));
  bar->setMovable(false);
  addTool("SISTEMAS", "Menú de Sistemas", "SISTEMAS", QStyle::SP_DesktopIcon, [this] {
    rotateBanner();
    openWindow(new SystemsMenu(ctx_));
  });
  addTool("PERSONAL", "Personal Administrativo", "PERSONAL", QStyle::SP_DirHomeIcon, [this] {
    auto* list = new BrowseWindow(ctx_, usersListSpec());
    openWindow(list, [this] { rotateBanner(); });
  });
  addTool("E/SALARIOS", "Estudio de Salarios", "ESALARIOS", QStyle::SP_FileDialogDetailedView, [this] {
    rotateBanner();
    auto* list = new BrowseWindow(ctx_, zoneListSpec());
    connect(list, &BrowseWindow::selected, this, [this](const tables::Record& r) {
      chooseZone(ctx_, static_cast<int>(r.integer("CTA")));
      refreshStatus();
    });
    openWindow(list);
  });
  addTool("B/DATOS", "Bases de Datos", "BDATOS", QStyle::SP_DriveHDIcon,
          [this] { openWindow(makeBaseMenu(ctx_), [this] { rotateBanner(); }); });
  addTool("PATROCINADORES", "", "PATROCINADORES", QStyle::SP_DialogHelpButton, [this] {
    BrowseWindow* list = openSupplierDirectory(ctx_);
    connect(list, &QObject::destroyed, this, [this] { rotateBanner(); });
  });
  addTool("RESPALDO", "RESPALDO DEL SISTEMA", "RESPALDO", QStyle::SP_DialogSaveButton,
          [this] { openWindow(new BackupWindow(ctx_), [this] { rotateBanner(); }); });
  addTool("ACTUALIZAR", "", "ACTUALIZAR", QStyle::SP_BrowserReload, [this] { openWindow(new UpdateMenu(ctx_)); });
  addTool("INTERNET", "", "INTERNET", QStyle::SP_DriveNetIcon,
          [] { QDesktopServices::openUrl(QUrl(shell::kMakerSite)); });
  addTool("MANUALES", "", "MANUALES", QStyle::SP_FileIcon, [this] {
    rotateBanner();
    openDocument("obras.doc");
  });
  addTool("TUTORIALES", "", "TUTORIALES", QStyle::SP_MediaPlay, [this] {
    rotateBanner();
    const auto dir = ctx_.session.installation.dataDir;
    const auto page = shell::findFileNoCase(dir, "VELMORA.HTML");
    const auto program = shell::findFileNoCase(dir, "TUTORIAL.EXE");
    if (!page.empty() && !program.empty() &&
        QProcess::startDetached(QString::fromStdString(program.string()), {}, QString::fromStdString(dir.string()))) {
      return;
    }
    ctx_.prompter.warn({"NO TIENE INSTALADO EL MODULO", "DEL TUTORIAL, BAJELO DE NUESTO", "SITIO: WWW.VELMORA.MX"});
  });
  addTool("SALIR", "", "SALIR", QStyle::SP_DialogCloseButton, [this] {
    endedAtOnce_ = true;
    QApplication::exit(0);
  });
}

void MainFrame::openWindow(QWidget* window, std::function<void()> onClose) {
  // The size the window asked for (its own hint unless it chose one); the
  // subwindow imposes its own once it holds the window.
  const QSize wanted = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
  QMdiSubWindow* sub = area_->addSubWindow(window);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setObjectName(window->objectName());
  if (onClose) connect(window, &QObject::destroyed, this, [onClose] { onClose(); });
  window->show();
  sub->resize(wanted + QSize(16, 40));
  if (ini_) {
    if (auto p = ini_->placement(sub->objectName().toStdString())) {
      sub->setGeometry(p->x, p->y, p->width, p->height);
      if (p->maximized) sub->showMaximized();
    }
    sub->installEventFilter(this);
  }
  // Inside the frame, whatever was asked or remembered.
  if (!sub->isMaximized()) {
    const QRect area = area_->viewport()->rect();
    QRect g = sub->geometry();
    g.setSize(g.size().boundedTo(area.size()));
    if (g.right() > area.right()) g.moveRight(area.right());
    if (g.bottom() > area.bottom()) g.moveBottom(area.bottom());
    if (g.left() < area.left()) g.moveLeft(area.left());
    if (g.top() < area.top()) g.moveTop(area.top());
    sub->setGeometry(g);
  }
  area_->setActiveSubWindow(sub);
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && ini_) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(watched); sub && !sub->objectName().isEmpty()) {
      const QRect g = sub->isMaximized() || sub->isMinimized() ? sub->normalGeometry() : sub->geometry();
      ini_->setPlacement(sub->objectName().toStdString(),
                         {g.x(), g.y(), g.width(), g.height(), sub->isMaximized(), sub->isMinimized()});
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainFrame::showImage(const QString& file) {
  const auto path = shell::findFileNoCase(ctx_.session.installation.dataDir, file.toStdString());
  QPixmap picture(QString::fromStdString(path.string()));
  if (picture.isNull()) {
    banner_->setPixmap({});
    banner_->setText("<span style='font-size:22pt; color:#1f4e79'><b>" +
                     QString::fromStdString(ctx_.session.companyName).toHtmlEscaped() + "</b></span>");
    return;
  }
  banner_->setPixmap(picture.scaledToHeight(110, Qt::SmoothTransformation));
}

void MainFrame::rotateBanner() {
  const int n = pile_.draw();
  if (n == 0) return;  // no logos: the banner stays as it is
  shownLogo_ = n;
  showImage(QString("logo%1.jpg").arg(n));
}

void MainFrame::refreshStatus() {
  const auto& z = ctx_.session.zone;
  const int zone = z.zone;
  const std::string name = zone >= 1 && zone <= 5 ? ctx_.session.zoneNames[zone - 1] : std::string();
  zoneStatus_->setText(QString("Zona %1 %2   FSR < 3 S.M.: %3   FSR > 3 S.M.: %4%5")
                           .arg(zone)
                           .arg(QString::fromStdString(name))
                           .arg(z.fsrMenor, 0, 'f', 4)
                           .arg(z.fsrMayor, 0, 'f', 4)
                           .arg(z.complete ? "" : "   (ZONA INCOMPLETA)"));
}

void MainFrame::openDocument(const QString& file) {
  const auto path = shell::findFileNoCase(ctx_.session.installation.dataDir, file.toStdString());
  int code = -1;
  if (path.empty()) code = shell::kFileNotFound;
  else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path.string())))) {
    code = shell::kNoAssociatedProgram;
  }
  if (code < 0) return;
  const std::string text = shell::documentFailureText(code);
  if (text.empty()) return;
  QMessageBox box(QMessageBox::Warning, windowTitle(), QString::fromStdString(text) + "\n" + file, QMessageBox::Ok,
                  this);
  box.setObjectName("documentFailure");
  box.button(QMessageBox::Ok)->setText("&Aceptar");
  box.exec();
}

void MainFrame::showSplash() {
  QPixmap picture(420, 220);
  picture.fill(QColor(31, 78, 121));
  QPainter p(&picture);
  p.setPen(Qt::white);
  QFont f = font();
  f.setPointSize(24);
  f.setBold(true);
  p.setFont(f);
  p.drawText(picture.rect().adjusted(0, 40, 0, -100), Qt::AlignCenter, "Velmora");
  f.setPointSize(10);
  f.setBold(false);
  p.setFont(f);
  p.drawText(picture.rect().adjusted(0, 120, 0, -20), Qt::AlignCenter,
             "Sistema de Control de Obra\nVersión 1.0\nPrecios unitarios para la construcción");
  p.end();
  splash_ = new QSplashScreen(picture);
  splash_->setObjectName("SPLASH");
  splash_->show();
}

void MainFrame::closeSplash() {
  if (splash_) splash_->close();
}

void MainFrame::closeEvent(QCloseEvent* event) {
  area_->closeAllSubWindows();
  if (!area_->subWindowList().isEmpty()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace velmora::ui
