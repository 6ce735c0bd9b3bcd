#include "util/DoubleChars.h"

#include <fast_float/fast_float.h>

#include <cmath>
#include <cstdio>

namespace zevrin {

std::from_chars_result ReadDouble(const char* first, const char* last, double& value) {
  double v = 0;
  const fast_float::from_chars_result r = fast_float::from_chars(first, last, v);
  if (r.ec != std::errc()) return {r.ptr, r.ec};
  // fast_float rounds out-of-range values to infinity or zero without saying so; the
  // standard contract reports them. "inf" itself is read, not out of range.
  const char* p = first;
  if (p < r.ptr && *p == '-') ++p;
  const bool digits = p < r.ptr && ((*p >= '0' && *p <= '9') || *p == '.');
  if (digits && std::isinf(v)) return {r.ptr, std::errc::result_out_of_range};
  if (digits && v == 0) {
    // Zero from a text with a non-zero mantissa digit is an underflow.
    for (; p < r.ptr && *p != 'e' && *p != 'E'; ++p) {
      if (*p >= '1' && *p <= '9') return {r.ptr, std::errc::result_out_of_range};
    }
  }
  value = v;
  return {r.ptr, r.ec};
}

char* WriteScientific(char* first, char* last, double value, int precision) {
#if defined(__EMSCRIPTEN__)
  // The C library converts exactly at any precision; "%.*e" is the same form.
  const int n =
      std::snprintf(first, static_cast<std::size_t>(last - first), "%.*e", precision, value);
  return first + n;
#else
  return std::to_chars(first, last, value, std::chars_format::scientific, precision).ptr;
#endif
}

char* WriteShortestScientific(char* first, char* last, double value) {
#if defined(__EMSCRIPTEN__)
  (void)first, (void)last, (void)value;
  return nullptr;
#else
  return std::to_chars(first, last, value, std::chars_format::scientific).ptr;
#endif
}

}  // namespace zevrin
