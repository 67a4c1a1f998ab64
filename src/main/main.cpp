#include "app/startup.h"
#include "cli/convert_command.h"
#include "serve/serve_command.h"
#include "ui/window_road.h"

int main(int argc, char** argv) {
  return TkvStartProgram(argc, argv, &TkvRunWindowRoad, &TkvRunConvertCommand, &TkvRunServeCommand);
}
