// The online update's screens: ACT_DAT (the menu), ACTUAL (the download),
// MOV_ACT (the merge into a price list) and the server form.
#pragma once

#include <QDialog>
#include <QWidget>
#include <memory>

#include "services/update_run.h"
#include "ui/context.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace velmora::ui {

class UpdateMenu : public QWidget {  // ACT_DAT
  Q_OBJECT
 public:
  explicit UpdateMenu(Context& ctx, QWidget* parent = nullptr);
  ~UpdateMenu() override;

 private:
  Context& ctx_;
};

class UpdateWindow : public QWidget {  // ACTUAL
  Q_OBJECT
 public:
  explicit UpdateWindow(Context& ctx, QWidget* parent = nullptr);
  ~UpdateWindow() override;
  QString statusText() const;
  services::UpdateRun* run() const { return run_.get(); }
  void startUpdate();

 signals:
  void updateFinished(bool complete);

 private:
  Context& ctx_;
  services::ServerSettings settings_;
  std::unique_ptr<services::UpdateRun> run_;
  QPushButton* start_;
  QLabel* status_;
  QProgressBar* bar_;
  bool waitCursor_ = false;
};

class MergeWindow : public QDialog {  // MOV_ACT
  Q_OBJECT
 public:
  explicit MergeWindow(Context& ctx, QWidget* parent = nullptr);
  ~MergeWindow() override;
  void merge();
  QString shownInput() const;

 private:
  void lookUpZone();
  void checkList();

  Context& ctx_;
  QLineEdit* list_;
  QLabel* text_;
};

class ServerForm : public QDialog {
  Q_OBJECT
 public:
  explicit ServerForm(Context& ctx, QWidget* parent = nullptr);
  void accept() override;

 private:
  Context& ctx_;
  QLineEdit *host_, *user_, *password_, *directory_;
};

}  // namespace velmora::ui
