#include "ui/window_road.h"

#include <cstdio>

int TkvRunWindowRoad(int& /*argc*/, char** /*argv*/) {
  std::fputs("tabrix: the window is not available yet; use PureConsole=True\n", stdout);
  return 0;
}
