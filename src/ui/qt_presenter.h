// The message box of the error reporter under Qt: Spanish button labels,
// the entry's title and icon, '|' as a line break; and the history window.
#pragma once

#include <QDialog>

#include "framework/error_reporter.h"

namespace velmora::ui {

class QtPresenter : public MessagePresenter {
 public:
  int showMessage(const MessageRequest& request) override;
  int showHistory(const std::string& title, const std::vector<HistoryEntry>& entries, int buttons,
                  int defaultButton) override;
};

// ABERROR: the collected messages with their categories and up to eight buttons.
class HistoryWindow : public QDialog {
  Q_OBJECT
 public:
  HistoryWindow(const QString& title, const std::vector<HistoryEntry>& entries, int buttons, int defaultButton,
                QWidget* parent = nullptr);
  int pressed() const { return pressed_; }

 private:
  int pressed_ = 0;
};

}  // namespace velmora::ui
