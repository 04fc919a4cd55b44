// The process entry: keeps the arguments and runs the tool.
#include "arguments.h"
#include "run_tool.h"

int main(int argc, char** argv) {
  geocart::xargc = argc;
  geocart::xargv = argv;
  geocart::runTool();
  return 0;
}
