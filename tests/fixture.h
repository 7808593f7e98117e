// A fresh installation in a temporary directory, with a reporter that records
// what it would show and turns a fatal message into an exception.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"
#include "tables/table.h"

namespace velmora::testing {

struct FatalExit {
  std::string text;
};

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("velmora_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "settings");
    inst.dataDir = dir;
    inst.settingsDir = dir / "settings";
    errors.setPresenter(&presenter);
    errors.setFatalHandler([](const std::string& text) { throw FatalExit{text}; });
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::unique_ptr<tables::Table> open(const std::string& label) {
    auto t = inst.table(label, errors);
    EXPECT_TRUE(t->open().isOk()) << label;
    return t;
  }
  // Texts of the messages shown so far, in order.
  std::vector<std::string> shownTexts() const {
    std::vector<std::string> out;
    for (const auto& m : presenter.shown()) out.push_back(m.text);
    return out;
  }
  std::string lastTitle() const {
    auto shown = presenter.shown();
    return shown.empty() ? std::string() : shown.back().title;
  }

  std::filesystem::path dir;
  tables::Installation inst;
  ErrorReporter errors;
  RecordingPresenter presenter;
};

}  // namespace velmora::testing
