#include <string>
#include <vector>

#include "cli/usage.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tarn::app::RunMain(args);
}
