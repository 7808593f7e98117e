// The few calls that differ between Windows and other systems.
#pragma once

namespace velmora::platform {

// Whether windows are dragged with their full contents (Windows only; false
// elsewhere), and switching it. Both do nothing where there is no such setting.
bool fullWindowDragging();
void setFullWindowDragging(bool on);

}  // namespace velmora::platform
