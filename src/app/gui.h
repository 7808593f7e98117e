// The desktop application, and the screenshots of its main screens.
#pragma once

#include <string>
#include <vector>

namespace velmora::app {

// Runs the desktop application on `dataDir`; returns the exit status. With
// `openWork`, that work's budget opens once the user has logged in.
int runGui(int argc, char** argv, const std::string& dataDir, const std::string& settingsOption,
           const std::string& openWork = {});

// Saves PNG pictures of the main screens of the installation in `dataDir`
// (logged in with the master's rights) into `outDir`.
int saveScreenshots(int argc, char** argv, const std::string& dataDir, const std::string& settingsOption,
                    const std::string& outDir);

}  // namespace velmora::app
