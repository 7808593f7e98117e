// Widget tests: a logged-in session on a fresh installation, with a recording
// prompter and presenter, and windows shown standalone instead of in a frame.
#pragma once

#include <QApplication>
#include <QTimer>

#include "fixture.h"
#include "shell/session.h"
#include "ui/context.h"

namespace velmora::testing {

class RecordingPrompter : public ui::Prompter {
 public:
  void warn(const shell::WarningLines& lines) override { warnings.push_back(lines); }
  bool ask(const shell::WarningLines& lines) override {
    asked.push_back(lines);
    return answer;
  }
  std::vector<shell::WarningLines> warnings, asked;
  bool answer = false;
};

class UiTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    session.installation = inst;
    session.errors = &errors;
    session.zone.zone = 1;
  }
  void TearDown() override {
    for (QWidget* w : opened) delete w;
    InstallationTest::TearDown();
  }
  // Closes the next modal window that opens (a message box), pressing its
  // default button, and records its text.
  void closeNextModal() {
    QTimer::singleShot(0, [this] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        modalTexts.push_back(w->findChild<QObject*>("qt_msgbox_label")
                                 ? w->findChild<QObject*>("qt_msgbox_label")->property("text").toString()
                                 : w->windowTitle());
        w->close();
      }
    });
  }

  shell::Session session;
  RecordingPrompter prompter;
  std::vector<QWidget*> opened;
  QStringList modalTexts;
  ui::Context ctx{session, errors, prompter, [this](QWidget* w) {
                    opened.push_back(w);
                    w->setAttribute(Qt::WA_DeleteOnClose, false);
                    w->show();
                  }};
};

}  // namespace velmora::testing
