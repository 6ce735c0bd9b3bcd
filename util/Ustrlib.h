// Text helpers shared by every reader and writer of the model file: trimming, keyword
// comparison, the line tokenizer, the split helpers and the number conversions.
//
// All text is a byte string; nothing here interprets multi-byte characters, and lengths and
// positions count bytes. Inputs may come straight from hostile files: every function here
// accepts any bytes and reports malformed numbers with ZevrinError.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zevrin {

// A document file as an ordered list of 8-bit text lines, without their line ends.
using LineList = std::vector<std::string>;

// Removes all leading and trailing bytes of value 32 or less (blanks and control bytes).
std::string_view TrimView(std::string_view text);
inline std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

// Equal length and equal bytes after folding ASCII a-z to upper case; no locale rules.
bool SameKeyword(std::string_view a, std::string_view b);

// Folds ASCII a-z to upper case and leaves every other byte alone.
inline unsigned char UpperAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The text with ASCII a-z folded to upper case: the key under which SameKeyword finds it.
std::string FoldedUpper(std::string_view text);
// The text with ASCII A-Z folded to lower case.
std::string FoldedLower(std::string_view text);

// Orders texts by their bytes after folding ASCII a-z to upper case (unsigned byte order).
// Two texts that compare equal here are the same name.
bool KeywordLess(std::string_view a, std::string_view b);

// The bytes before the first occurrence of `separator` in `text`, or the whole text when it
// does not occur. An empty separator never occurs.
std::string_view BeforeFirst(std::string_view separator, std::string_view text);
// The bytes after the first occurrence; exactly one byte is skipped, whatever the length of
// the separator. Empty when the separator does not occur.
std::string_view AfterFirst(std::string_view separator, std::string_view text);

// A tokenizer over one line at a time. The caller sets Separator before each NextToken
// (typically "=" for the key, then " " for the values).
class MCommaStr {
 public:
  std::string Separator = ".";

  void SetText(std::string_view text);
  // The next token: the bytes before the separator. The rest is trimmed after each token, the
  // token itself is not. Returns the empty text, changing nothing, when nothing is left.
  std::string NextToken();
  // Everything not yet taken; afterwards nothing is left.
  std::string TakeRest();
  std::int32_t RestLength() const { return static_cast<std::int32_t>(rest_.size()); }

  const std::string& Text() const { return text_; }
  const std::string& Rest() const { return rest_; }
  std::int32_t TokenCount() const { return token_count_; }

 private:
  std::string text_;
  std::string rest_;
  std::int32_t token_count_ = 0;
};

// The tokenizer of MCommaStr over a view that it never copies: the same tokens and the same
// rest, for a separator of one byte. The viewed text must outlive the tokens.
class TokenView {
 public:
  explicit TokenView(std::string_view text = {}) : rest_(text) {}
  // The bytes before the separator (everything when it does not occur); the rest after it is
  // trimmed. The empty text, changing nothing, when nothing is left.
  std::string_view Next(char separator) {
    if (rest_.empty()) return {};
    // Tokens are a few bytes long: a plain loop beats a library search here.
    std::size_t p = 0;
    while (p < rest_.size() && rest_[p] != separator) ++p;
    if (p == rest_.size()) {
      const std::string_view token = rest_;
      rest_ = {};
      return token;
    }
    const std::string_view token = rest_.substr(0, p);
    rest_ = TrimView(rest_.substr(p + 1));
    return token;
  }
  // Everything not yet taken; afterwards nothing is left.
  std::string_view TakeRest() {
    const std::string_view rest = rest_;
    rest_ = {};
    return rest;
  }
  std::string_view Rest() const { return rest_; }
  std::size_t RestLength() const { return rest_.size(); }

 private:
  std::string_view rest_;
};

// Text to integer: optional blanks, an optional sign and decimal digits, optional blanks.
// Anything else, or a value outside the result's range, raises ErrorKind::NotInteger.
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);

// Text to real: optional blanks, optional sign, digits with an optional fraction after "."
// (at least one digit in all), an optional exponent after "E" or "e", optional blanks.
// The decimal point is always ".". Values beyond the range of a double, "nan", "inf",
// hexadecimal forms and everything else raise ErrorKind::NotReal. Values too small for a
// double become zero of the same sign. One exception to the range: a text above the largest
// double by no more than half a unit of the 15th significant digit at that scale (5E293:
// up to 2^1024 - 2^971 + 5 * 10^293 inclusive, 1.79769313486232070814...E308) reads as the
// largest double with its sign. Earlier versions of FloatToStr wrote the largest doubles as
// 1.79769313486232E308, and their files must open; "1.797693134862325E308" or "1E309" do not.
double StrToFloat(std::string_view text);
// The same conversion scanning the whole grammar first: the plain version that StrToFloat's
// quicker path is checked against.
double StrToFloatPlain(std::string_view text);

// Plain decimal, "-" for negatives.
std::string IntToStr(std::int64_t value);

// The general real format: 15 significant digits (ties away from zero), trailing zeros
// dropped, "0" for zero (minus zero too), E notation when the decimal exponent leaves the
// range from 0.0001 up to below 10^15 ("1E-5", "1E15", "-1.5E20"), "." as decimal point.
// A finite value never becomes a text that reads back as infinity: the four largest doubles,
// which round up to 1.79769313486232E308, are rounded toward zero, to 1.79769313486231E308.
// NaN and infinities, which no reader produces, are written "NAN", "INF" and "-INF".
std::string FloatToStr(double value);

// The longest text FloatToStr gives ("-1.23456789012345E-308" and the like).
inline constexpr std::size_t kMaxFloatText = 24;
// Writes FloatToStr(value) at `out`, which has room for kMaxFloatText bytes; returns the end.
char* FormatFloat(char* out, double value);
// Appends FloatToStr(value) or IntToStr(value) without a text of its own.
void AppendFloat(std::string& out, double value);
void AppendInt(std::string& out, std::int64_t value);
// The general real format computed from the digits of the exact binary value for every
// value: the plain version that FormatFloat is checked against.
std::string FloatToStrExact(double value);

// Reals as the modeller's tag files (its later format) write them, C's "%.6g" with the
// exponent of its Windows runtime: six significant digits, trailing zeros and a bare point
// dropped, exponent notation when the decimal exponent X of the rounded value leaves
// -4 <= X < 6, with a sign and at least three exponent digits ("2.94593e-010", "1e+020",
// "1.79769e+308", denormals such as "3.72199e-041"). Minus zero is "-0". No finite value
// rounds past the largest double at six digits. The files hold no NaN or infinity, and no
// spelling of one is safe to give a reader: C runtimes print "1.#INF", "inf" or "nan",
// which StrToFloat rejects and older runtimes read as 1 or 0. So none is ever written:
// infinities become the largest finite text, "1.79769e+308" with their sign, and NaN "0".
// Exact ties (a seven-digit binary fraction ending in 5, such as 1.015625) go away from zero,
// as FloatToStr's do and as that runtime's printf rounded; today's C libraries round them
// to even. No number in the files tells the two apart.
std::string TagFloatToStr(double value);
// The longest text TagFloatToStr gives ("-1.23456e-308").
inline constexpr std::size_t kMaxTagFloatText = 13;
// Writes TagFloatToStr(value) at `out`, which has room for kMaxTagFloatText bytes; returns
// the end.
char* FormatTagFloat(char* out, double value);
// Appends TagFloatToStr(value) without a text of its own.
void AppendTagFloat(std::string& out, double value);

// Splits file text into lines at CR LF, a lone LF or a lone CR. A last line without a line
// break counts as a line; a NUL byte ends the text.
LineList SplitLines(std::string_view bytes);

// The lines of file text one after another, split as SplitLines splits them but viewed in
// place, or the lines of a list from a given index on. The text or list must outlive the
// source and every line it gave.
class LineSource {
 public:
  explicit LineSource(std::string_view bytes);
  LineSource(const LineList& lines, std::int64_t start);

  // The next line, or false when none is left.
  bool Next(std::string_view& line) {
    if (list_) {
      if (index_ < 0 || static_cast<std::uint64_t>(index_) >= list_->size()) return false;
      line = (*list_)[static_cast<std::size_t>(index_)];
      ++index_;
      return true;
    }
    if (p_ >= end_) return false;
    line = nextInText();
    ++index_;
    return true;
  }
  // The index of the line that Next gives next: the lines taken so far, plus the start.
  std::int64_t Index() const { return index_; }
  // How far the source has come, and how far it goes: bytes of the text, or lines of the
  // list. For progress bars.
  std::uint64_t Done() const {
    return list_ ? static_cast<std::uint64_t>(std::max<std::int64_t>(index_, 0))
                 : static_cast<std::uint64_t>(p_ - begin_);
  }
  std::uint64_t Extent() const {
    return list_ ? list_->size() : static_cast<std::uint64_t>(end_ - begin_);
  }

 private:
  std::string_view nextInText();

  const LineList* list_ = nullptr;
  const char* begin_ = nullptr;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  std::int64_t index_ = 0;
};

}  // namespace zevrin
