// Doubles to and from decimal text: the three conversions the number format is built on,
// behind one function each, so that the core builds where the standard library lacks them.
// The WebAssembly toolchain's library has std::from_chars and std::to_chars for integers
// only; there the reading comes from fast_float (header-only, the same algorithm that recent
// standard libraries ship) and the fixed-precision writing from the C library's snprintf,
// which converts exactly. Natively the reading uses fast_float as well (it measured at least
// as fast as std::from_chars), the writing std::to_chars.
#pragma once

#include <charconv>
#include <cstddef>
#include <system_error>

namespace zevrin {

// Whether this library has the floating-point std::to_chars.
#if defined(__EMSCRIPTEN__)
inline constexpr bool kHaveFloatToChars = false;
#else
inline constexpr bool kHaveFloatToChars = true;
#endif

// Reads a double from [first, last) as std::from_chars with chars_format::general does: an
// optional "-" (no "+"), digits with an optional fraction, an optional exponent; "inf" and
// "nan" too. Returns the end of what was read. A value beyond the range of a double, or a
// non-zero text too small for one, gives errc::result_out_of_range and leaves `value` alone;
// subnormal results are values.
std::from_chars_result ReadDouble(const char* first, const char* last, double& value);

// Writes `value` (finite, not negative) as std::to_chars with chars_format::scientific and
// `precision` digits after the point does ("d.ddde+XX"), correctly rounded, into [first,
// last), which must have room. Returns the end.
char* WriteScientific(char* first, char* last, double value, int precision);

// The shortest scientific text that reads back as `value` (std::to_chars with
// chars_format::scientific and no precision), or nullptr where the library has none
// (kHaveFloatToChars is false): callers take the fixed-precision way then.
char* WriteShortestScientific(char* first, char* last, double value);

}  // namespace zevrin
