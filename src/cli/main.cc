// cuesmelt: converts a Redump-layout Dreamcast CD (CUE sheet and BIN files)
// into one CDI disc image.
#include "cli/console_window.h"
#include "cli/start.h"

int main(int argc, char** argv) {
  const int status = cli::start(argc, argv);
  cli::hold_own_window_open();
  return status;
}
