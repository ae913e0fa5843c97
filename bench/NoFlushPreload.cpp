// Measurement only, never shipped: preloaded into the benchmark's driver, it turns the flushes into
// no-ops, so that our extraction can be timed against bsdtar on the work both do, with the flushes
// (which bsdtar does not make) taken out.
#include <unistd.h>

extern "C" {
__attribute__((visibility("default"))) int syncfs(int) { return 0; }
__attribute__((visibility("default"))) int fsync(int) { return 0; }
__attribute__((visibility("default"))) int fdatasync(int) { return 0; }
}
