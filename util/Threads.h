// Whether this build can start threads. A WebAssembly build without thread support (the
// page's) cannot: its std::thread only fails. The paths that use a second thread for large
// inputs take their one-thread form there by default, which gives the same result.
#pragma once

#include <cstddef>
#include <limits>

namespace zevrin {

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
inline constexpr bool kThreadsAvailable = false;
#else
inline constexpr bool kThreadsAvailable = true;
#endif

// A size threshold from which a second thread is used, or never where there are no threads.
constexpr std::size_t ThreadedFrom(std::size_t threshold) {
  return kThreadsAvailable ? threshold : std::numeric_limits<std::size_t>::max();
}

}  // namespace zevrin
