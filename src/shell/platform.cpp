#include "shell/platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace velmora::platform {

#ifdef _WIN32
bool fullWindowDragging() {
  BOOL on = FALSE;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0);
  return on != FALSE;
}
void setFullWindowDragging(bool on) {
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE);
}
#else
bool fullWindowDragging() { return false; }
void setFullWindowDragging(bool) {}
#endif

}  // namespace velmora::platform
