#include "util/Ustrlib.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "util/DoubleChars.h"
#include "util/Errors.h"

namespace zevrin {

std::string_view TrimView(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

bool SameKeyword(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(static_cast<unsigned char>(a[i])) !=
        UpperAscii(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string FoldedUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
  return out;
}

std::string FoldedLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool KeywordLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = UpperAscii(static_cast<unsigned char>(a[i]));
    const unsigned char y = UpperAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::string_view BeforeFirst(std::string_view separator, std::string_view text) {
  if (separator.empty()) return text;
  const auto p = text.find(separator);
  return p == std::string_view::npos ? text : text.substr(0, p);
}

std::string_view AfterFirst(std::string_view separator, std::string_view text) {
  if (separator.empty()) return {};
  const auto p = text.find(separator);
  return p == std::string_view::npos ? std::string_view() : text.substr(p + 1);
}

void MCommaStr::SetText(std::string_view text) {
  text_.assign(text);
  rest_ = text_;
  token_count_ = 0;
}

std::string MCommaStr::NextToken() {
  if (rest_.empty()) return {};
  std::string token(BeforeFirst(Separator, rest_));
  rest_ = std::string(TrimView(AfterFirst(Separator, rest_)));
  ++token_count_;
  return token;
}

std::string MCommaStr::TakeRest() {
  std::string rest;
  rest.swap(rest_);
  return rest;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view skipBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Parses an optionally signed decimal integer into [lo, hi]; false when the text is not one.
bool parseInteger(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
  std::string_view t = skipBlanks(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty()) return false;
  // Magnitudes are gathered as unsigned so that the most negative value fits.
  const std::uint64_t limit =
      negative ? static_cast<std::uint64_t>(-(lo + 1)) + 1 : static_cast<std::uint64_t>(hi);
  std::uint64_t magnitude = 0;
  if (t.size() <= 18) {
    // Eighteen digits cannot overflow: check the range once at the end.
    for (char c : t) {
      if (!isDigit(c)) return false;
      magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (magnitude > limit) return false;
    t = {};
  }
  for (char c : t) {
    if (!isDigit(c)) return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    out = magnitude == 0 ? 0 : -static_cast<std::int64_t>(magnitude - 1) - 1;
  } else {
    out = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

// The largest double plus half a unit of the 15th significant digit at its scale,
// (2^1024 - 2^971) + 5 * 10^293, exactly: its 309 digits (an integer, no trailing zeros).
// FloatToStr of a finite value is never further than that half unit from the value, so
// every text it ever wrote lies at or below this bound; versions that rounded the four
// largest doubles up wrote 1.79769313486232E308, which is above the largest double and below
// the bound. The next 15-digit text, 1.79769313486233E308, and 1.797693134862325E308 lie
// beyond it.
constexpr std::string_view kLargestWritten =
    "179769313486232070814527423731704356798070567525844996598917476803157260780028538760"
    "589558632766878171540458953514382464234321326889464182768467546703537516986049910576"
    "551282076245490090389328944075868508455133942304583236903222948165808559332123348274"
    "797826204144723168738177180919299881250404026184124858368";
static_assert(kLargestWritten.size() == 309);

// Whether a number text that overflows a double, with mantissa `body` (digits, an optional
// point and an optional exponent, no sign) worth 0.d1d2... times 10^`power` for its first
// non-zero digit d1, lies no higher than kLargestWritten: a text some version of the writer
// produced by rounding a finite value up past the largest double. Exact: the significant
// digits are compared one by one, never through a rounded double.
bool justAboveLargest(std::string_view body, std::int64_t power) {
  if (power != 309) return false;
  std::string digits;
  for (char c : body) {
    if (c == 'e' || c == 'E') break;
    if (c == '.' || (digits.empty() && c == '0')) continue;
    digits.push_back(c);
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  // Both start with a non-zero digit at the same power of ten and end in a non-zero digit,
  // so their byte order is their numeric order.
  return std::string_view(digits) <= kLargestWritten;
}

}  // namespace

namespace {

// Nine digits or fewer and nothing else, as nearly every integer of a file is: its value, or
// -1 for any other text.
std::int32_t plainDigits(std::string_view text) {
  if (text.empty() || text.size() > 9) return -1;
  std::int32_t value = 0;
  for (char c : text) {
    if (!isDigit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
  if (const std::int32_t plain = plainDigits(text); plain >= 0) return plain;
  std::int64_t value = 0;
  if (!parseInteger(text, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max(), value))
    throw ZevrinError(ErrorKind::NotInteger, std::string(text));
  return static_cast<std::int32_t>(value);
}

std::int64_t StrToInt64(std::string_view text) {
  if (const std::int32_t plain = plainDigits(text); plain >= 0) return plain;
  std::int64_t value = 0;
  if (!parseInteger(text, std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::int64_t>::max(), value))
    throw ZevrinError(ErrorKind::NotInteger, std::string(text));
  return value;
}

double StrToFloatPlain(std::string_view text) {
  const auto fail = [&]() -> double { throw ZevrinError(ErrorKind::NotReal, std::string(text)); };
  std::string_view t = skipBlanks(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  const std::size_t mantissa_begin = i;
  std::size_t int_digits = 0;
  std::size_t frac_digits = 0;
  // Position of the first non-zero mantissa digit, as a power of ten of the digit's place.
  bool seen_nonzero = false;
  std::int64_t lead_place = 0;
  while (i < t.size() && isDigit(t[i])) {
    if (!seen_nonzero && t[i] != '0') seen_nonzero = true, lead_place = 0;
    if (seen_nonzero) ++lead_place;
    ++i, ++int_digits;
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    std::int64_t place = 0;
    while (i < t.size() && isDigit(t[i])) {
      --place;
      if (!seen_nonzero && t[i] != '0') seen_nonzero = true, lead_place = place + 1;
      ++i, ++frac_digits;
    }
  }
  if (int_digits + frac_digits == 0) return fail();
  std::int64_t exponent = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      exp_negative = t[i] == '-';
      ++i;
    }
    if (i >= t.size() || !isDigit(t[i])) return fail();
    while (i < t.size() && isDigit(t[i])) {
      if (exponent < 1000000000) exponent = exponent * 10 + (t[i] - '0');
      ++i;
    }
    if (exp_negative) exponent = -exponent;
  }
  if (i != t.size()) return fail();
  if (!seen_nonzero) return negative ? -0.0 : 0.0;

  // ReadDouble rejects a leading "+"; the sign is applied afterwards.
  const std::string_view body = t.substr(mantissa_begin);
  double value = 0;
  const auto [ptr, ec] = ReadDouble(body.data(), body.data() + body.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // The value is 0.d... times ten to (lead_place + exponent): beyond the largest double
    // when that power is large, below the smallest when it is small.
    if (lead_place + exponent > 0) {
      if (!justAboveLargest(body, lead_place + exponent)) return fail();
      value = std::numeric_limits<double>::max();
    } else {
      value = 0.0;
    }
  } else if (ec != std::errc() || ptr != body.data() + body.size()) {
    return fail();
  }
  if (std::isinf(value)) return fail();
  return negative ? -value : value;
}

double StrToFloat(std::string_view text) {
  // The common case straight to ReadDouble: blanks, a sign, then a digit or a point. Whatever
  // ReadDouble does not take whole, and every range error, goes the plain way, which tells
  // the errors apart; ReadDouble itself refuses a second sign, "inf", "nan" and hexadecimal.
  std::string_view t = skipBlanks(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty() || !(isDigit(t.front()) || t.front() == '.')) return StrToFloatPlain(text);
  double value = 0;
  const auto [ptr, ec] = ReadDouble(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || ptr != t.data() + t.size() || std::isinf(value))
    return StrToFloatPlain(text);
  return negative ? -value : value;
}

std::string IntToStr(std::int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

void AppendInt(std::string& out, std::int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

namespace {

// The decimal digits of |value| rounded to 15 significant digits, ties away from zero, with
// the power of ten of the first digit (value = d1.d2d3... * 10^exp10).
void roundTo15(double magnitude, std::string& digits, int& exp10) {
  char buf[64];
  const char* const res = WriteScientific(buf, buf + sizeof buf, magnitude, 16);
  std::string_view s(buf, static_cast<std::size_t>(res - buf));
  // "d.dddddddddddddddde+XX": 17 correctly rounded digits.
  std::string all;
  all.reserve(17);
  all.push_back(s[0]);
  std::size_t e = s.find('e');
  all.append(s.substr(2, e - 2));
  exp10 = std::atoi(std::string(s.substr(e + 1)).c_str());

  bool up;
  if (all[15] == '5' && all[16] == '0') {
    // The 17-digit rounding cannot tell a tie from a value just below or above it: ask for
    // the exact expansion, which a double always has in fewer than 800 digits.
    static thread_local char exact[900];
    const char* const ex = WriteScientific(exact, exact + sizeof exact, magnitude, 800);
    std::string_view x(exact, static_cast<std::size_t>(ex - exact));
    // Digit 16 of the exact value is at offset 16 (one digit, the point, then 14 digits).
    up = x[16] >= '5';
    all.assign(1, x[0]);
    all.append(x.substr(2, 14));
  } else {
    // Digits 16 and 17 are 00..49 or 51..99 here; when the 17-digit rounding carried into
    // digit 15 they are 00 and the carry is already in the first 15 digits.
    up = all[15] >= '5';
  }
  digits = all.substr(0, 15);
  if (up) {
    int k = 14;
    while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9')
      digits[static_cast<std::size_t>(k--)] = '0';
    if (k < 0) {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exp10;
    } else {
      ++digits[static_cast<std::size_t>(k)];
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

}  // namespace

std::string FloatToStrExact(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  std::string digits;
  int exp10 = 0;
  roundTo15(std::fabs(value), digits, exp10);
  // The largest doubles would round up past the largest double (see FormatFloat).
  if (exp10 == 308 && digits > "179769313486231") digits = "179769313486231";
  std::string out;
  if (value < 0) out.push_back('-');
  // E: the value is 0.d1d2... times ten to the E.
  const int E = exp10 + 1;
  if (E > 15 || E < -3) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1);
    }
    out.push_back('E');
    out.append(std::to_string(E - 1));
  } else if (E <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-E), '0');
    out.append(digits);
  } else {
    const auto point = static_cast<std::size_t>(E);
    if (digits.size() <= point) {
      out.append(digits);
      out.append(point - digits.size(), '0');
    } else {
      out.append(digits, 0, point);
      out.push_back('.');
      out.append(digits, point);
    }
  }
  return out;
}

namespace {

// The digits of the exponent text of to_chars ("e+05", "e-308") as a number.
int exponentOf(const char* e, const char* end) {
  int value = 0;
  const bool negative = e[1] == '-';
  for (const char* p = e + 2; p < end; ++p) value = value * 10 + (*p - '0');
  return negative ? -value : value;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// magnitude * 10^k for |k| <= 22, in one correctly rounded operation.
double scaledBy(double magnitude, int k) {
  return k >= 0 ? magnitude * kExactPow10[k] : magnitude / kExactPow10[-k];
}

// The common case of digits15 with no decimal expansion at all: the 15-digit integer M
// nearest to magnitude * 10^(14 - e) is a candidate, and M * 10^(e - 14), a product of two
// exact doubles, reads back in one correctly rounded operation. When it reads back as
// `magnitude` itself, M has the rounded digits (see digits15). False when the candidate
// fails or the scale is beyond the exact powers of ten; nothing is written then.
bool digits15Candidate(double magnitude, char* digits, int& count, int& exp10) {
  const auto biased = static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> 52) & 0x7FF);
  // floor(binary exponent * log10(2)): the decimal exponent or one less.
  int e = ((biased - 1023) * 78913) >> 18;
  if (e < -8 || e > 35) return false;
  double scaled = scaledBy(magnitude, 14 - e);
  if (scaled >= 1e15) scaled = scaledBy(magnitude, 14 - ++e);
  // Below 2^53 adding a half is exact: this rounds half up.
  auto m = static_cast<std::int64_t>(scaled + 0.5);
  if (m == 1000000000000000) {
    m = 100000000000000;
    ++e;
  }
  if (m < 100000000000000 || m >= 1000000000000000 || e > 36) return false;
  const int q = e - 14;
  const double back =
      q >= 0 ? static_cast<double>(m) * kExactPow10[q] : static_cast<double>(m) / kExactPow10[-q];
  if (back != magnitude) return false;
  std::to_chars(digits, digits + 15, m);
  count = 15;
  while (count > 1 && digits[count - 1] == '0') --count;
  exp10 = e;
  return true;
}

// The significant digits of |value| (not zero) rounded to at most 15, ties away from zero,
// without trailing zeros; exp10 is the power of ten of the first digit. Returns their count.
int digits15(double magnitude, char* digits, int& exp10) {
  if (magnitude >= std::numeric_limits<double>::min()) {
    int count = 0;
    if (digits15Candidate(magnitude, digits, count, exp10)) return count;
  }
  char buf[40];
  // For a normal double the shortest text that reads back lies within half a unit in the
  // last place, less than 1.2e-16 of the value, while a unit of the 15th digit is more than
  // 1e-15 of it: when that text has at most 15 digits they are the rounded ones, and no tie
  // can arise. (Subnormal values have fewer bits and take the long way, as every value does
  // where the library cannot write the shortest text.)
  const char* const end = magnitude >= std::numeric_limits<double>::min()
                              ? WriteShortestScientific(buf, buf + sizeof buf, magnitude)
                              : nullptr;
  if (end) {
    const char* e = buf + 1;
    while (*e != 'e') ++e;
    int n = 0;
    digits[n++] = buf[0];
    for (const char* p = buf + 2; p < e; ++p) digits[n++] = *p;
    if (n <= 15) {
      exp10 = exponentOf(e, end);
      while (n > 1 && digits[n - 1] == '0') --n;
      return n;
    }
  }
  // Seventeen correctly rounded digits tell where the 15-digit rounding goes, except when
  // digits 16 and 17 are "50": that may be a tie or lie just beside one, and only the exact
  // expansion (fewer than 800 digits for any double) can say.
  const char* const end16 = WriteScientific(buf, buf + sizeof buf, magnitude, 16);
  const char* e = buf + 18;  // "d." and sixteen digits
  exp10 = exponentOf(e, end16);
  char all[17];
  all[0] = buf[0];
  std::memcpy(all + 1, buf + 2, 16);
  bool up;
  if (all[15] == '5' && all[16] == '0') {
    static thread_local char exact[900];
    WriteScientific(exact, exact + sizeof exact, magnitude, 800);
    up = exact[16] >= '5';
    all[0] = exact[0];
    std::memcpy(all + 1, exact + 2, 14);
  } else {
    up = all[15] >= '5';
  }
  std::memcpy(digits, all, 15);
  int n = 15;
  if (up) {
    int k = 14;
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k < 0) {
      digits[0] = '1';  // 9.99...9 became 10.00...0
      ++exp10;
    } else {
      ++digits[k];
    }
  }
  while (n > 1 && digits[n - 1] == '0') --n;
  return n;
}

char* appendText(char* out, const char* text) {
  while (*text) *out++ = *text++;
  return out;
}

}  // namespace

char* FormatFloat(char* out, double value) {
  if (std::isnan(value)) return appendText(out, "NAN");
  if (std::isinf(value)) return appendText(out, value < 0 ? "-INF" : "INF");
  if (value == 0) {
    *out++ = '0';
    return out;
  }
  char d[17];
  int exp10 = 0;
  const int n = digits15(std::fabs(value), d, exp10);
  // The four largest doubles (from 1.7976931348623151E308 up) round to 1.79769313486232E308,
  // above the largest double by more than half its last unit: read back, that is infinity.
  // Rounded toward zero instead they stay finite. No other value reaches that text.
  if (exp10 == 308 && n == 15 && std::memcmp(d, "179769313486232", 15) == 0) d[14] = '1';
  if (value < 0) *out++ = '-';
  // E: the value is 0.d1d2... times ten to the E.
  const int E = exp10 + 1;
  if (E > 15 || E < -3) {
    *out++ = d[0];
    if (n > 1) {
      *out++ = '.';
      std::memcpy(out, d + 1, static_cast<std::size_t>(n - 1));
      out += n - 1;
    }
    *out++ = 'E';
    return std::to_chars(out, out + 8, E - 1).ptr;
  }
  if (E <= 0) {
    *out++ = '0';
    *out++ = '.';
    for (int k = 0; k < -E; ++k) *out++ = '0';
    std::memcpy(out, d, static_cast<std::size_t>(n));
    return out + n;
  }
  if (n <= E) {
    std::memcpy(out, d, static_cast<std::size_t>(n));
    out += n;
    for (int k = n; k < E; ++k) *out++ = '0';
    return out;
  }
  std::memcpy(out, d, static_cast<std::size_t>(E));
  out += E;
  *out++ = '.';
  std::memcpy(out, d + E, static_cast<std::size_t>(n - E));
  return out + (n - E);
}

std::string FloatToStr(double value) {
  char buf[kMaxFloatText];
  return std::string(buf, FormatFloat(buf, value));
}

void AppendFloat(std::string& out, double value) {
  char buf[kMaxFloatText];
  out.append(buf, FormatFloat(buf, value));
}

namespace {

// The significant digits of `magnitude` (finite, not zero) rounded to six, ties away from
// zero, without trailing zeros; exp10 is the power of ten of the first digit. Returns their
// count. The way of digits15: seventeen correctly rounded digits decide, unless digits 7 to
// 17 read "50000000000", where only the exact expansion tells a tie from a value beside it.
int digits6(double magnitude, char* digits, int& exp10) {
  char buf[40];
  const char* const end = WriteScientific(buf, buf + sizeof buf, magnitude, 16);
  const char* const e = buf + 18;  // "d." and sixteen digits
  exp10 = exponentOf(e, end);
  char all[17];
  all[0] = buf[0];
  std::memcpy(all + 1, buf + 2, 16);
  bool up;
  if (std::memcmp(all + 6, "50000000000", 11) == 0) {
    static thread_local char exact[900];
    WriteScientific(exact, exact + sizeof exact, magnitude, 800);
    up = exact[7] >= '5';
    all[0] = exact[0];
    std::memcpy(all + 1, exact + 2, 5);
  } else {
    up = all[6] >= '5';
  }
  std::memcpy(digits, all, 6);
  if (up) {
    int k = 5;
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k < 0) {
      digits[0] = '1';  // 9.99999 became 10.0000
      ++exp10;
    } else {
      ++digits[k];
    }
  }
  int n = 6;
  while (n > 1 && digits[n - 1] == '0') --n;
  return n;
}

}  // namespace

char* FormatTagFloat(char* out, double value) {
  if (std::isnan(value)) {
    *out++ = '0';
    return out;
  }
  if (std::signbit(value)) *out++ = '-';
  if (value == 0) {
    *out++ = '0';
    return out;
  }
  // Six digits of the largest double, 1.79769|313..., round down: no finite value reaches a
  // text above it, and infinities take it too.
  if (std::isinf(value)) return appendText(out, "1.79769e+308");
  char d[6];
  int exp10 = 0;
  const int n = digits6(std::fabs(value), d, exp10);
  if (exp10 < -4 || exp10 >= 6) {
    *out++ = d[0];
    if (n > 1) {
      *out++ = '.';
      std::memcpy(out, d + 1, static_cast<std::size_t>(n - 1));
      out += n - 1;
    }
    *out++ = 'e';
    *out++ = exp10 < 0 ? '-' : '+';
    const int x = exp10 < 0 ? -exp10 : exp10;  // at most 324
    *out++ = static_cast<char>('0' + x / 100);
    *out++ = static_cast<char>('0' + x / 10 % 10);
    *out++ = static_cast<char>('0' + x % 10);
    return out;
  }
  if (exp10 < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int k = 1; k < -exp10; ++k) *out++ = '0';
    std::memcpy(out, d, static_cast<std::size_t>(n));
    return out + n;
  }
  // exp10 + 1 digits before the point.
  const int whole = exp10 + 1;
  if (n <= whole) {
    std::memcpy(out, d, static_cast<std::size_t>(n));
    out += n;
    for (int k = n; k < whole; ++k) *out++ = '0';
    return out;
  }
  std::memcpy(out, d, static_cast<std::size_t>(whole));
  out += whole;
  *out++ = '.';
  std::memcpy(out, d + whole, static_cast<std::size_t>(n - whole));
  return out + (n - whole);
}

std::string TagFloatToStr(double value) {
  char buf[kMaxTagFloatText];
  return std::string(buf, FormatTagFloat(buf, value));
}

void AppendTagFloat(std::string& out, double value) {
  char buf[kMaxTagFloatText];
  out.append(buf, FormatTagFloat(buf, value));
}

LineSource::LineSource(std::string_view bytes) {
  if (const void* nul = std::memchr(bytes.data(), 0, bytes.size()))
    bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
  begin_ = p_ = bytes.data();
  end_ = p_ + bytes.size();
}

LineSource::LineSource(const LineList& lines, std::int64_t start) : list_(&lines), index_(start) {}

std::string_view LineSource::nextInText() {
  const char* const begin = p_;
  const char* q = p_;
  // Eight bytes at a time to the first byte below 14, of which CR and LF end the line; the
  // lowest byte the test marks is always a true one.
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    while (end_ - q >= 8) {
      std::uint64_t w;
      std::memcpy(&w, q, 8);
      const std::uint64_t below = (w - 14 * kOnes) & ~w & kHigh;
      if (below == 0) {
        q += 8;
        continue;
      }
      q += std::countr_zero(below) / 8;
      if (*q == '\n' || *q == '\r') break;
      ++q;
    }
  }
  while (q < end_ && *q != '\n' && *q != '\r') ++q;
  const std::string_view line(begin, static_cast<std::size_t>(q - begin));
  if (q == end_) {
    p_ = end_;
  } else {
    if (*q == '\r' && q + 1 < end_ && q[1] == '\n') ++q;  // CR LF is one line end
    p_ = q + 1;
  }
  return line;
}

LineList SplitLines(std::string_view bytes) {
  if (const void* nul = std::memchr(bytes.data(), 0, bytes.size()))
    bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
  LineSource source(bytes);
  LineList lines;
  // Sized once: growing a list of millions of lines copies all of them again and again. LF
  // and CR LF files have a line per LF; the rest end their lines with CR alone.
  auto breaks = std::count(bytes.begin(), bytes.end(), '\n');
  if (breaks == 0) breaks = std::count(bytes.begin(), bytes.end(), '\r');
  lines.reserve(static_cast<std::size_t>(breaks) + 1);
  std::string_view line;
  while (source.Next(line)) lines.emplace_back(line);
  return lines;
}

}  // namespace zevrin
