// RESPALDO: the backup window. The archives are made on a thread of their
// own; the bars, the file name and the list of files packed follow by queued
// calls, so the window stays responsive, and any button pressed while packing
// asks the archiver to stop.
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

#include "services/backup.h"
#include "ui/context.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace velmora::ui {

class BackupWindow : public QWidget {
  Q_OBJECT
 public:
  explicit BackupWindow(Context& ctx, QWidget* parent = nullptr);
  ~BackupWindow() override;

  bool packing() const { return worker_.joinable() && !finished_; }
  // Waits for a running backup to end (tests, and closing the window).
  void waitForBackup();

 signals:
  void backupFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void chooseDestination();
  void startBackup();
  void stopRequested();
  void archiveEnded(const services::BackupArchive& archive);
  void finish();

  Context& ctx_;
  QPushButton* start_;
  QCheckBox* works_;
  QCheckBox* system_;
  QLineEdit* destination_;
  QToolButton* lookup_;
  QProgressBar* fileBar_;
  QProgressBar* archiveBar_;
  QLabel* fileName_;
  QListWidget* files_;
  QPushButton* cancel_;
  services::ZipArchiver archiver_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool finished_ = false;
};

}  // namespace velmora::ui
