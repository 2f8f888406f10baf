// cuesmelt: converts a Redump-layout Dreamcast CD (CUE sheet and BIN files)
// into one CDI disc image.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/run.h"

int main(int argc, char** argv) {
  // Progress lines appear as they are completed; whatever is still pending
  // (a progress text without its line end) is written when main returns, on
  // every path. Standard error stays unbuffered.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  return cli::run(std::vector<std::string>(argv, argv + argc));
}
