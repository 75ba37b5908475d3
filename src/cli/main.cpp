// brelvik-batch: the headless batch driver (see cli/batch.h).

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/batch.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return brelvik::batchMain(brelvik::theState(), args, std::cout, std::cerr,
                            isatty(STDERR_FILENO) != 0);
}
