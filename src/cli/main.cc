// cuesmelt: converts a Redump-layout Dreamcast CD (CUE sheet and BIN files)
// into one CDI disc image.
#include "cli/run.h"

int main(int argc, char** argv) {
  return cli::run(argc, argv);
}
