// cuesmelt: converts a Redump-layout Dreamcast CD (CUE sheet and BIN files)
// into one CDI disc image.
#include "base/system.h"
#include "cli/run.h"

int main(int argc, char** argv) {
  return cli::run(base::process_arguments(argc, argv));
}
