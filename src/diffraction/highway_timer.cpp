// Highway's shared library measures the resolution of its cycle timer while it loads, for the
// benchmarking tools it carries: some 8 ms spent in every process that links it, a quarter of a
// command's start, for a figure this program never reads. The library asks for the measurement
// through its procedure linkage table, so a definition exported from the program (see the link
// option in CMakeLists.txt) answers instead: one tick, as a timer that counts single cycles
// would have it. The vector kernels and their run-time dispatch do not use the timer.
#include <cstdint>

namespace hwy::platform {
uint64_t TimerResolution();
uint64_t TimerResolution() {
  return 1;
}
}  // namespace hwy::platform
