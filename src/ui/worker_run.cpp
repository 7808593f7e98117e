#include "ui/worker_run.h"

#include <atomic>
#include <exception>
#include <thread>

#include <QEventLoop>
#include <QMetaObject>
#include <QProgressDialog>

namespace velmora::ui {

namespace {

// Shows the run's messages on the window's thread, through the window's
// reporter, and hands the answer back to the waiting run.
class ForwardingPresenter : public MessagePresenter {
 public:
  ForwardingPresenter(QObject* windowSide, ErrorReporter& windowErrors) : side_(windowSide), errors_(windowErrors) {}
  int showMessage(const MessageRequest& request) override {
    int answer = request.defaultButton;
    QMetaObject::invokeMethod(
        side_, [&] { answer = errors_.showBox(request); }, Qt::BlockingQueuedConnection);
    return answer;
  }
  int showHistory(const std::string&, const std::vector<HistoryEntry>&, int, int defaultButton) override {
    return defaultButton;  // the history belongs to the window's reporter
  }

 private:
  QObject* side_;
  ErrorReporter& errors_;
};

}  // namespace

Status runOffTheWindowThread(QWidget* parent, ErrorReporter& windowErrors, const QString& title,
                             const std::function<QString(const std::string&)>& label,
                             const std::function<Status(ErrorReporter&, const RunProgressCallback&)>& job,
                             bool cancellable) {
  QProgressDialog dialog(parent);
  dialog.setObjectName("CALCULA");
  dialog.setWindowTitle(title);
  if (cancellable) dialog.setCancelButtonText("Cancela");
  else dialog.setCancelButton(nullptr);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(300);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  std::atomic<bool> stop{false};
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&stop] { stop = true; });

  QEventLoop loop;
  ForwardingPresenter presenter(&dialog, windowErrors);
  Status result;
  std::thread worker([&] {
    ErrorReporter errors;
    errors.setPresenter(&presenter);
    // A fatal message (a table that cannot be opened) fails the run, which
    // returns it to the window that started it; the program goes on.
    errors.setFatalEndsProgram(false);
    const auto progress = [&](size_t done, size_t total, const std::string& description) {
      QMetaObject::invokeMethod(
          &dialog,
          [&dialog, done, total, text = label(description)] {
            dialog.setMaximum(static_cast<int>(std::max<size_t>(total, 1)));
            dialog.setValue(static_cast<int>(done));
            dialog.setLabelText(text);
          },
          Qt::QueuedConnection);
      return !stop.load();
    };
    try {
      result = job(errors, progress);
    } catch (const std::exception& e) {
      // Nothing thrown crosses the thread: the window gets it as a failure.
      result = Status::error(Status::Code::kInvalid, e.what());
    }
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  return result;
}

}  // namespace velmora::ui
