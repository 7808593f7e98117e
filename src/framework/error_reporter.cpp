#include "framework/error_reporter.h"

#include "framework/dates.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>

#include "framework/text.h"

namespace velmora {
namespace {

constexpr size_t kMessageBufferChars = 1999;
constexpr size_t kLogLineChars = 1024;
constexpr const char* kFatalSuffix = "  Press OK to end this application";

struct DefaultEntry {
  int id;
  int severity;
  const char* title;
  const char* text;
};

constexpr DefaultEntry kDefaultMessages[] = {
#include "framework/default_messages.inc"
};

// A text being substituted: pieces that came from the message and pieces that
// a replacement inserted. Only the former are searched for placeholders.
struct Piece {
  std::string text;
  bool inserted;
};

void replaceEverywhere(std::vector<Piece>& pieces, std::string_view placeholder, const std::string& value) {
  if (text::equalsNoCase(placeholder, value)) return;
  std::vector<Piece> out;
  for (auto& piece : pieces) {
    if (piece.inserted) {
      out.push_back(std::move(piece));
      continue;
    }
    size_t from = 0;
    for (size_t at; (at = text::findNoCase(piece.text, placeholder, from)) != std::string::npos;) {
      if (at > from) out.push_back({piece.text.substr(from, at - from), false});
      out.push_back({value, true});
      from = at + placeholder.size();
    }
    if (from < piece.text.size()) out.push_back({piece.text.substr(from), false});
  }
  pieces = std::move(out);
}

bool contains(const std::vector<Piece>& pieces, std::string_view placeholder) {
  for (const auto& p : pieces) {
    if (!p.inserted && text::findNoCase(p.text, placeholder) != std::string::npos) return true;
  }
  return false;
}

std::string join(const std::vector<Piece>& pieces) {
  std::string out;
  for (const auto& p : pieces) out += p.text;
  return out;
}

void readLengthText(std::string_view block, size_t& at, std::string& out) {
  if (at >= block.size()) return;
  const size_t len = static_cast<unsigned char>(block[at++]);
  const size_t n = std::min(len, block.size() - at);
  out = text::fromCp1252(block.substr(at, n));
  at += n;
}

void writeLengthText(std::string& out, const std::string& utf8) {
  std::string bytes = text::toCp1252(utf8);
  if (bytes.size() > 255) bytes.resize(255);
  out += static_cast<char>(bytes.size());
  out += bytes;
}

}  // namespace

// ---- presenters ---------------------------------------------------------------

int RecordingPresenter::showMessage(const MessageRequest& request) {
  std::lock_guard<std::mutex> guard(mutex_);
  shown_.push_back(request);
  if (answers_.empty()) return request.defaultButton;
  const int answer = answers_.front();
  answers_.erase(answers_.begin());
  return answer;
}

int RecordingPresenter::showHistory(const std::string& title, const std::vector<HistoryEntry>&, int,
                                    int defaultButton) {
  std::lock_guard<std::mutex> guard(mutex_);
  historyTitles_.push_back(title);
  if (answers_.empty()) return defaultButton;
  const int answer = answers_.front();
  answers_.erase(answers_.begin());
  return answer;
}

void RecordingPresenter::answerNext(int buttonCode) {
  std::lock_guard<std::mutex> guard(mutex_);
  answers_.push_back(buttonCode);
}

std::vector<MessageRequest> RecordingPresenter::shown() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return shown_;
}

std::vector<std::string> RecordingPresenter::historyTitles() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return historyTitles_;
}

void RecordingPresenter::clear() {
  std::lock_guard<std::mutex> guard(mutex_);
  shown_.clear();
  historyTitles_.clear();
  answers_.clear();
}

namespace {
// A message as a terminal shows it: without the desktop's hints to press a
// button or key, and the message table's one English tail said in Spanish.
std::string headlessText(std::string text) {
  for (const char* hint :
       {" Los cambios serán mostrados ahora.", " Use el botón Ditto or Ctrl+' para restaurar sus cambios."}) {
    if (const size_t at = text.find(hint); at != std::string::npos) text.erase(at, std::strlen(hint));
  }
  const std::string tail = "cambioses to the ";
  if (const size_t at = text.find(tail); at != std::string::npos) {
    const size_t end = text.find(" file.", at);
    if (end != std::string::npos)
      text = text.substr(0, at) + "cambios en la tabla " + text.substr(at + tail.size(), end - at - tail.size()) + "." +
             text.substr(end + 6);
  }
  return text;
}
}  // namespace

int StderrPresenter::showMessage(const MessageRequest& request) {
  // One line, without the desktop's hint to press a button.
  std::string textLines = headlessText(request.text);
  const std::string suffix = kFatalSuffix;
  if (textLines.size() >= suffix.size() &&
      textLines.compare(textLines.size() - suffix.size(), suffix.size(), suffix) == 0)
    textLines.erase(textLines.size() - suffix.size());
  std::replace(textLines.begin(), textLines.end(), '|', ' ');
  std::replace(textLines.begin(), textLines.end(), '\n', ' ');
  std::cerr << "velmora: " << request.title << ": " << textLines << std::endl;
  return request.defaultButton;
}

int StderrPresenter::showHistory(const std::string& title, const std::vector<HistoryEntry>& entries, int,
                                 int defaultButton) {
  std::cerr << title << std::endl;
  for (const auto& e : entries) std::cerr << "  " << e.text << std::endl;
  return defaultButton;
}

// ---- the reporter ----------------------------------------------------------------

namespace {
std::atomic<uint64_t> reportersMade{0};
}  // namespace

ErrorReporter::ErrorReporter() : serial_(++reportersMade) { addErrors(defaultMessageBlock()); }

std::string ErrorReporter::packMessages(const std::vector<MessageEntry>& entries) {
  std::string out;
  const auto put16 = [&out](unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
  };
  put16(static_cast<unsigned>(entries.size()));
  for (const auto& e : entries) {
    put16(static_cast<unsigned>(e.id));
    out += static_cast<char>(e.fatality);
    writeLengthText(out, e.title);
    writeLengthText(out, e.message);
  }
  return out;
}

std::string ErrorReporter::defaultMessageBlock() {
  std::vector<MessageEntry> entries;
  for (const auto& d : kDefaultMessages) {
    entries.push_back({d.id, d.text, d.title, static_cast<uint8_t>(d.severity), {}});
  }
  return packMessages(entries);
}

void ErrorReporter::setPresenter(MessagePresenter* presenter) {
  std::lock_guard<std::mutex> guard(lock_);
  presenter_ = presenter;
}

void ErrorReporter::setFatalHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> guard(lock_);
  fatalHandler_ = std::move(handler);
}

void ErrorReporter::addErrors(std::string_view block) {
  if (block.size() < 2) return;
  const auto get16 = [&block](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(block[at])) |
           (static_cast<unsigned>(static_cast<unsigned char>(block[at + 1])) << 8);
  };
  const unsigned count = get16(0);
  size_t at = 2;
  std::lock_guard<std::mutex> guard(lock_);
  for (unsigned n = 0; n < count && at + 3 <= block.size(); ++n) {
    MessageEntry e;
    e.id = static_cast<int>(get16(at));
    e.fatality = static_cast<uint8_t>(block[at + 2]);
    at += 3;
    readLengthText(block, at, e.title);
    readLengthText(block, at, e.message);
    errors_.push_back(std::move(e));
  }
}

void ErrorReporter::addError(int id, std::string text, std::string title, Severity severity, std::string category) {
  std::lock_guard<std::mutex> guard(lock_);
  errors_.push_back({id, std::move(text), std::move(title), static_cast<uint8_t>(severity), std::move(category)});
}

void ErrorReporter::removeErrors(int id) {
  std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(errors_, [id](const MessageEntry& e) { return e.id == id; });
}

ErrorReporter::ThreadState& ErrorReporter::threadState() {
  // Every table operation names its file here: the thread keeps its state
  // of the reporter it used last, found again without the lock (map nodes
  // stay where they are and are never erased).
  thread_local uint64_t cachedReporter = 0;
  thread_local ThreadState* cached = nullptr;
  if (cachedReporter == serial_) return *cached;
  std::lock_guard<std::mutex> guard(lock_);
  cached = &threads_[std::this_thread::get_id()];
  cachedReporter = serial_;
  return *cached;
}

void ErrorReporter::setField(std::string_view t) { threadStatus().fieldName = text::clip(t); }
void ErrorReporter::setFile(std::string_view t) { threadStatus().fileName = text::clip(t); }
void ErrorReporter::setKey(std::string_view t) { threadStatus().keyName = text::clip(t); }

void ErrorReporter::noteError(int code, std::string t) {
  ThreadState& s = threadState();
  s.errorCode = code;
  s.errorText = std::move(t);
}

void ErrorReporter::noteStorageError(int engineCode, std::string engineText) {
  ThreadState& s = threadState();
  s.errorCode = kStorageErrorCode;
  s.errorText = "Error de archivo";
  s.engineCode = std::to_string(engineCode);
  s.engineText = std::move(engineText);
}

void ErrorReporter::clearError() {
  ThreadState& s = threadState();
  s.errorCode = 0;
  s.errorText.clear();
  s.engineCode.clear();
  s.engineText.clear();
}

const MessageEntry* ErrorReporter::findEntryLocked(int id) const {
  for (auto it = errors_.rbegin(); it != errors_.rend(); ++it) {
    if (it->id == id) return &*it;
  }
  return nullptr;
}

void ErrorReporter::selectEntry(int id) {
  ErrorStatus& s = threadStatus();
  std::lock_guard<std::mutex> guard(lock_);
  s.prevErrorId = s.errorBuffer.id;
  const MessageEntry* e = findEntryLocked(id);
  s.errorBuffer = e ? *e : MessageEntry{};
}

std::string ErrorReporter::substitutedText() {
  const ErrorStatus s = status();
  std::string procedure;
  std::string previous;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const auto me = std::this_thread::get_id();
    for (auto it = procNames_.rbegin(); it != procNames_.rend(); ++it) {
      if (it->thread == me) {
        procedure = it->name;
        break;
      }
    }
    if (const MessageEntry* prev = findEntryLocked(s.prevErrorId)) previous = prev->message;
  }
  const std::string errorText = (s.saveErrorCode == 90 || s.saveErrorCode == 100)
                                    ? s.saveFileError + " (" + s.saveFileErrorCode + ")"
                                    : s.saveError + " (" + std::to_string(s.saveErrorCode) + ")";

  std::vector<Piece> pieces{{text::truncateChars(s.errorBuffer.message, kMessageBufferChars), false}};
  replaceEverywhere(pieces, "%FileErrorCode", s.saveFileErrorCode);
  replaceEverywhere(pieces, "%FileError", s.saveFileError);
  replaceEverywhere(pieces, "%File", s.fileName);
  replaceEverywhere(pieces, "%Key", s.keyName);
  replaceEverywhere(pieces, "%ErrorCode", std::to_string(s.saveErrorCode));
  replaceEverywhere(pieces, "%ErrorText", errorText);
  replaceEverywhere(pieces, "%Error", s.saveError);
  replaceEverywhere(pieces, "%Message", s.messageText);
  replaceEverywhere(pieces, "%Field", s.fieldName);
  replaceEverywhere(pieces, "%Procedure", procedure);
  replaceEverywhere(pieces, "%Category", s.errorBuffer.category);
  if (contains(pieces, "%Previous")) replaceEverywhere(pieces, "%Previous", previous);
  return text::truncateChars(join(pieces), kMessageBufferChars);
}

int ErrorReporter::showBox(const MessageRequest& request) {
  if (logErrors_) appendLog(request.text);
  MessagePresenter* presenter;
  {
    std::lock_guard<std::mutex> guard(lock_);
    presenter = presenter_;
  }
  return presenter ? presenter->showMessage(request) : request.defaultButton;
}

int ErrorReporter::raise(int id) {
  {
    ThreadState& t = threadState();
    t.status.saveErrorCode = t.errorCode;
    t.status.saveError = t.errorText;
    t.status.saveFileErrorCode = t.engineCode;
    t.status.saveFileError = t.engineText;
  }
  selectEntry(id);
  return dispatch();
}

int ErrorReporter::raiseMessage(int id, std::string_view t) {
  threadStatus().messageText = text::clip(t);
  return raise(id);
}

int ErrorReporter::dispatch() {
  const MessageEntry entry = threadStatus().errorBuffer;
  if (entry.id == 0) return result::kGoOn;  // unknown id: nothing shown
  const auto severity = static_cast<Severity>(entry.fatality);
  MessageRequest request;
  request.title = entry.title;
  request.style = msgStyle_;
  switch (severity) {
    case Severity::kBenign: return result::kGoOn;
    case Severity::kUser:
    case Severity::kCancel:
      request.text = substitutedText();
      request.icon = Icon::kQuestion;
      request.buttons = button::kYes | button::kNo;
      request.defaultButton = button::kYes;
      return messageStep(request, severity) == button::kYes ? result::kGoOn : result::kCancel;
    case Severity::kNotify:
      request.text = substitutedText();
      request.icon = Icon::kExclamation;
      messageStep(request, severity);
      return result::kNotified;
    default: {  // Fatal, Program and any unknown severity
      request.text = substitutedText() + (fatalEndsProgram_ ? kFatalSuffix : "");
      request.icon = Icon::kExclamation;
      messageStep(request, severity);
      std::function<void(const std::string&)> handler;
      {
        std::lock_guard<std::mutex> guard(lock_);
        handler = fatalHandler_;
      }
      if (handler) handler(request.text);
      // The raising code returns its failure; ending the program is for its
      // top level, never for the reporter behind its callers' backs.
      return result::kCancel;
    }
  }
}

int ErrorReporter::messageStep(const MessageRequest& request, Severity severity) {
  if (logErrors_) appendLog(request.text);
  bool showInHistoryWindow = false;
  std::vector<HistoryEntry> snapshot;
  MessagePresenter* presenter;
  {
    std::lock_guard<std::mutex> guard(lock_);
    presenter = presenter_;
    if (historyThreshold_ != 0) {
      if (historyThreshold_ > 0) {
        while (!history_.empty() && static_cast<int32_t>(history_.size()) >= historyThreshold_) {
          history_.erase(history_.begin());
        }
      }
      const int id = threads_[std::this_thread::get_id()].status.errorBuffer.id;
      const MessageEntry* e = findEntryLocked(id);
      history_.push_back(
          {text::truncateChars(request.text, 1023), id, e && !e->category.empty() ? e->category : defaultCategory_});
      showInHistoryWindow = static_cast<int32_t>(severity) == historyViewLevel_;
      snapshot = history_;
    }
  }
  if (silent_) return request.defaultButton;
  ++shown_;
  StderrPresenter fallback;
  MessagePresenter& shower = presenter ? *presenter : fallback;
  if (historyThreshold_ != 0) {
    if (!showInHistoryWindow) return request.defaultButton;
    const int pressed = shower.showHistory(request.title, snapshot, request.buttons, request.defaultButton);
    if (historyResetOnView_) {
      std::lock_guard<std::mutex> guard(lock_);
      history_.clear();
    }
    return pressed;
  }
  return shower.showMessage(request);
}

void ErrorReporter::appendLog(const std::string& message) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::tm local = dates::localTime(std::time(nullptr));
  char stamp[40];
  std::strftime(stamp, sizeof stamp, "%d/%m/%Y@%H:%M:%S", &local);
  std::string line = std::string(stamp) + " --> " + message;
  line = text::truncateChars(line, kLogLineChars - 1);
  if (std::FILE* f = std::fopen(logPath_.c_str(), "a")) {  // failures are ignored
    std::fputs(line.c_str(), f);
    std::fputs("\n", f);
    std::fclose(f);
  }
}

int ErrorReporter::askMessage(int id, int buttons, int defaultButton) {
  if (silent_) return defaultButton;
  selectEntry(id);
  MessageRequest request;
  request.title = threadStatus().errorBuffer.title;
  request.text = substitutedText();
  request.icon = Icon::kQuestion;
  request.buttons = buttons;
  request.defaultButton = defaultButton;
  request.style = msgStyle_;
  MessagePresenter* presenter;
  {
    std::lock_guard<std::mutex> guard(lock_);
    presenter = presenter_;
  }
  StderrPresenter fallback;
  return (presenter ? *presenter : fallback).showMessage(request);
}

void ErrorReporter::setProcedureName(std::string_view name) {
  std::lock_guard<std::mutex> guard(lock_);
  procNames_.push_back({std::this_thread::get_id(), std::string(name)});
}

void ErrorReporter::removeProcedureName(std::string_view) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto me = std::this_thread::get_id();
  for (auto it = procNames_.rbegin(); it != procNames_.rend(); ++it) {
    if (it->thread == me) {
      procNames_.erase(std::next(it).base());
      return;
    }
  }
}

void ErrorReporter::setCategory(int id, std::string t) {
  std::lock_guard<std::mutex> guard(lock_);
  if (id == -1) {
    defaultCategory_ = std::move(t);
    return;
  }
  for (auto it = errors_.rbegin(); it != errors_.rend(); ++it) {
    if (it->id == id) {
      it->category = std::move(t);
      return;
    }
  }
}

std::string ErrorReporter::category(int id) const {
  std::lock_guard<std::mutex> guard(lock_);
  const MessageEntry* e = findEntryLocked(id);
  return e && !e->category.empty() ? e->category : defaultCategory_;
}

int ErrorReporter::viewHistory() {
  std::vector<HistoryEntry> snapshot;
  MessagePresenter* presenter;
  {
    std::lock_guard<std::mutex> guard(lock_);
    snapshot = history_;
    presenter = presenter_;
  }
  StderrPresenter fallback;
  const int pressed = (presenter ? *presenter : fallback)
                          .showHistory("Errors History", snapshot, button::kOk | button::kHelp, button::kOk);
  if (historyResetOnView_) {
    std::lock_guard<std::mutex> guard(lock_);
    history_.clear();
  }
  return pressed;
}

void ErrorReporter::setSilent(bool on) { silent_ = on; }
void ErrorReporter::setLogErrors(bool on) { logErrors_ = on; }
void ErrorReporter::setLogPath(std::string path) {
  std::lock_guard<std::mutex> guard(lock_);
  logPath_ = std::move(path);
}
void ErrorReporter::setHistoryThreshold(int32_t threshold) { historyThreshold_ = threshold; }
void ErrorReporter::setHistoryViewLevel(int32_t level) { historyViewLevel_ = level; }
void ErrorReporter::setHistoryResetOnView(bool on) { historyResetOnView_ = on; }
void ErrorReporter::setMessageStyle(int16_t style) { msgStyle_ = style; }

ErrorStatus ErrorReporter::status() const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = threads_.find(std::this_thread::get_id());
  return it == threads_.end() ? ErrorStatus{} : it->second.status;
}

std::vector<HistoryEntry> ErrorReporter::history() const {
  std::lock_guard<std::mutex> guard(lock_);
  return history_;
}

}  // namespace velmora
