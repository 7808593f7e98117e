// ErrorReporter: turns a numeric message id into what the user hears.
//
// One reporter serves the whole process. A component that meets a condition
// the user must hear about sets the field, file, key or message text of its
// thread's error status and raises the id. The reporter looks the id up in its
// message table (the last entry with that id wins), fills the placeholders and
// acts on the entry's severity: silent, Yes/No question, OK notice, or a
// fatal notice. It can log every raised message to a file and keep a bounded
// history. The reporter never ends the process: after a fatal notice the
// raising code returns its failure as a Status, which travels up to whoever
// started the work (a command's main, the window that started a run); the
// fatal handler tells the program's top level that one was met.
//
// Thread rules: all public functions may be called from any thread. The table,
// the history, the procedure names and the log are guarded by one lock; the
// error status is kept per thread. The presenter is called on the raising
// thread; a GUI presenter must marshal to the GUI thread itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora {

enum class Severity : uint8_t {
  kBenign = 0,
  kUser = 1,
  kProgram = 2,
  kFatal = 3,
  kCancel = 4,
  kNotify = 5,
};

// Button codes; a button set is their sum.
namespace button {
constexpr int kOk = 1;
constexpr int kYes = 2;
constexpr int kNo = 4;
constexpr int kAbort = 8;
constexpr int kRetry = 16;
constexpr int kIgnore = 32;
constexpr int kCancel = 64;
constexpr int kHelp = 128;
}  // namespace button

// Results of raise(): go on, the user said no, or a notice was acknowledged.
namespace result {
constexpr int kGoOn = 0;
constexpr int kCancel = 4;
constexpr int kNotified = 5;
}  // namespace result

enum class Icon { kQuestion, kExclamation };

struct MessageEntry {
  int id = 0;
  std::string message;
  std::string title;
  uint8_t fatality = 0;
  std::string category;
};

// What a message box shows; the presenter answers with the button pressed.
struct MessageRequest {
  std::string title;
  std::string text;  // '|' starts a new line
  Icon icon = Icon::kExclamation;
  int buttons = button::kOk;
  int defaultButton = button::kOk;
  int style = 0;
};

struct HistoryEntry {
  std::string text;
  int id = 0;
  std::string category;
};

// Shows messages. The Qt message box implements it in the shell; tests and
// headless commands use RecordingPresenter.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  virtual int showMessage(const MessageRequest& request) = 0;
  // The history window: caption, collected messages, button set, default.
  virtual int showHistory(const std::string& title, const std::vector<HistoryEntry>& entries, int buttons,
                          int defaultButton) = 0;
};

// Records what would be shown and answers from a queue of scripted button
// codes, or with the default button when the queue is empty.
class RecordingPresenter : public MessagePresenter {
 public:
  int showMessage(const MessageRequest& request) override;
  int showHistory(const std::string& title, const std::vector<HistoryEntry>& entries, int buttons,
                  int defaultButton) override;

  void answerNext(int buttonCode);
  std::vector<MessageRequest> shown() const;
  std::vector<std::string> historyTitles() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<MessageRequest> shown_;
  std::vector<std::string> historyTitles_;
  std::vector<int> answers_;
};

// The per-thread error status.
struct ErrorStatus {
  std::string fieldName;
  std::string fileName;
  std::string keyName;
  std::string messageText;
  std::string saveError;
  int32_t saveErrorCode = 0;
  std::string saveFileError;
  std::string saveFileErrorCode;
  MessageEntry errorBuffer;
  int prevErrorId = 0;
};

// Writes messages to standard error and answers with the default button: the
// presenter of headless commands.
class StderrPresenter : public MessagePresenter {
 public:
  int showMessage(const MessageRequest& request) override;
  int showHistory(const std::string& title, const std::vector<HistoryEntry>& entries, int buttons,
                  int defaultButton) override;
};

class ErrorReporter {
 public:
  // The code that says the error came from the storage engine; %ErrorText
  // then shows the engine's own text and code.
  static constexpr int kStorageErrorCode = 90;

  // Init: loads the default message table.
  ErrorReporter();

  void setPresenter(MessagePresenter* presenter);
  // Called after a fatal message was acknowledged, with its text; then
  // raise() returns result::kCancel and the failure goes on as the caller's
  // Status. The desktop ends its event loop, a command ends with a failure
  // status, a run on a worker thread fails. Tests install a handler that throws.
  void setFatalHandler(std::function<void(const std::string& text)> handler);
  // Whether the program ends after a fatal notice, so that the notice says
  // so ("Press OK to end this application"); a run on a worker thread only
  // fails, and its notice does not announce the end.
  void setFatalEndsProgram(bool ends) { fatalEndsProgram_ = ends; }
  // How many messages were put before the user so far: a caller compares it
  // before and after an operation to know whether its failure was explained.
  uint64_t messagesShown() const { return shown_; }

  void addErrors(std::string_view packedBlock);
  void addError(int id, std::string text, std::string title, Severity severity, std::string category = {});
  void removeErrors(int id);

  void setField(std::string_view text);
  void setFile(std::string_view text);
  void setKey(std::string_view text);
  // Records the error the caller met, as the runtime would hold it; the next
  // raise on this thread captures it into the status.
  void noteError(int code, std::string text);
  // The same for the storage engine: code 90 plus the engine's code and text.
  void noteStorageError(int engineCode, std::string engineText);
  void clearError();

  // A box of a component's own (not in the message table), through the
  // presenter; returns the button pressed.
  int showBox(const MessageRequest& request);
  // Throw: raises the message with this id; returns 0 (go on), 4 (no) or 5.
  int raise(int id);
  // ThrowMessage: sets the message text, then raises.
  int raiseMessage(int id, std::string_view text);
  // AskMessage: asks with explicit buttons; returns the button code pressed.
  int askMessage(int id, int buttons, int defaultButton);

  void setProcedureName(std::string_view name);
  void removeProcedureName(std::string_view name);

  void setCategory(int id, std::string text);
  std::string category(int id) const;

  // ViewHistory: shows the collected messages; returns the button pressed.
  int viewHistory();

  void setSilent(bool on);
  void setLogErrors(bool on);
  void setLogPath(std::string path);
  void setHistoryThreshold(int32_t threshold);
  void setHistoryViewLevel(int32_t level);
  void setHistoryResetOnView(bool on);
  void setMessageStyle(int16_t style);

  ErrorStatus status() const;  // this thread's status (a copy)
  std::vector<HistoryEntry> history() const;
  // The text of the current entry with its placeholders filled (this thread).
  std::string substitutedText();

  // Opaque packing of entries in the stored format: a 16-bit count, then per
  // entry a 16-bit id, a severity byte, the title and the text each as a length
  // byte and Windows-1252 bytes. Texts here are UTF-8.
  static std::string packMessages(const std::vector<MessageEntry>& entries);
  static std::string defaultMessageBlock();

 private:
  struct ProcName {
    std::thread::id thread;
    std::string name;
  };

  // The error the thread met last, captured into its status by raise().
  struct ThreadState {
    ErrorStatus status;
    int errorCode = 0;
    std::string errorText;
    std::string engineCode;
    std::string engineText;
  };

  ThreadState& threadState();
  ErrorStatus& threadStatus() { return threadState().status; }
  void selectEntry(int id);
  int dispatch();
  int messageStep(const MessageRequest& request, Severity severity);
  void appendLog(const std::string& text);
  const MessageEntry* findEntryLocked(int id) const;

  mutable std::mutex lock_;
  std::string defaultCategory_ = "ZORB";
  std::vector<MessageEntry> errors_;
  std::vector<HistoryEntry> history_;
  std::vector<ProcName> procNames_;
  std::map<std::thread::id, ThreadState> threads_;
  // Tells this reporter from one made later at the same address, for the
  // threads' cached states.
  const uint64_t serial_;
  std::string logPath_ = "ZORBError.Log";
  std::atomic<bool> silent_{false};
  std::atomic<bool> fatalEndsProgram_{true};
  std::atomic<uint64_t> shown_{0};
  std::atomic<bool> logErrors_{false};
  std::atomic<int32_t> historyThreshold_{0};
  std::atomic<int32_t> historyViewLevel_{3};
  std::atomic<bool> historyResetOnView_{false};
  std::atomic<int16_t> msgStyle_{0};
  MessagePresenter* presenter_ = nullptr;
  std::function<void(const std::string&)> fatalHandler_;
};

}  // namespace velmora
