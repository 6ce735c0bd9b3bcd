// The quick paths of reading and writing against the plain versions they replace, on many
// random inputs: number texts both ways, the tokenizer, the line splitter, the block writer,
// the hash table, the line-by-line mesh reader, the passes with ids far apart, and the saved
// bytes. Also the size of a control point and the generated benchmark files.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <unordered_map>

#include "app/session/Document.h"
#include "bench/BenchGen.h"
#include "mesh/AM5_cplist.h"
#include "mesh/AM5_mesh.h"
#include "model/tree/AM_const.h"
#include "tests/LiteralMesh.h"
#include "tests/LiteralPasses.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FlatHash.h"
#include "util/FmxUtils.h"
#include "util/TextWriter.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;

double fromBits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

// ---- reals to text ----

void expectSameText(double x) {
  const std::string exact = FloatToStrExact(x);
  char buf[kMaxFloatText];
  const char* const end = FormatFloat(buf, x);
  ASSERT_LE(static_cast<std::size_t>(end - buf), kMaxFloatText);
  ASSERT_EQ(std::string(static_cast<const char*>(buf), end), exact) << std::hexfloat << x;
}

TEST(FastFloatText, EqualsTheExactDigitsOnMillionsOfRandomDoubles) {
  std::mt19937_64 rng(0x5eed);
  // Every bit pattern: all exponents, subnormals, both signs.
  for (int i = 0; i < 1000000; ++i) {
    const double x = fromBits(rng());
    if (std::isfinite(x)) expectSameText(x);
  }
  // Values as files hold them: up to 17 significant digits at any scale, read back.
  std::uniform_int_distribution<int> digits(1, 17);
  std::uniform_int_distribution<int> exponent(-40, 40);
  for (int i = 0; i < 1000000; ++i) {
    const int n = digits(rng);
    std::string text = std::to_string(1 + rng() % 9);
    for (int k = 1; k < n; ++k) text += static_cast<char>('0' + rng() % 10);
    text += "e" + std::to_string(exponent(rng) - n);
    const double x = std::strtod(text.c_str(), nullptr);
    expectSameText(rng() % 2 ? x : -x);
  }
  // Results of arithmetic on such values: mostly sixteen and seventeen digits.
  std::uniform_real_distribution<double> coord(-1000.0, 1000.0);
  for (int i = 0; i < 500000; ++i) expectSameText(coord(rng) * 0.731058578630005 + coord(rng));
  // Near the ties of the 15-digit rounding, and around every power of ten.
  for (int i = 0; i < 200000; ++i) {
    const std::string text = std::to_string(100000000000000 + rng() % 900000000000000) +
                             (i % 2 ? "5" : "50") + std::to_string(rng() % 10) + "e" +
                             std::to_string(static_cast<int>(rng() % 600) - 320);
    expectSameText(std::strtod(text.c_str(), nullptr));
  }
  for (int e = -324; e <= 308; ++e) {
    const double p = std::pow(10.0, e);
    for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY)}) expectSameText(x);
  }
  const double specials[] = {0.0,
                             -0.0,
                             DBL_MIN,
                             -DBL_MIN,
                             DBL_MAX,
                             -DBL_MAX,
                             DBL_TRUE_MIN,
                             std::nextafter(DBL_MIN, 0.0),
                             0.0001,
                             1e15,
                             999999999999999.0,
                             999999999999999.5,
                             0.00009999999999999995,
                             std::nan(""),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
  for (double x : specials) expectSameText(x);
}

TEST(FastFloatText, AppendAndFloatToStrGiveTheSameText) {
  std::mt19937_64 rng(3);
  std::string all;
  std::string expected;
  for (int i = 0; i < 10000; ++i) {
    const double x = fromBits(rng());
    AppendFloat(all, x);
    all += ' ';
    expected += FloatToStrExact(x) + ' ';
    ASSERT_EQ(FloatToStr(x), FloatToStrExact(x));
  }
  EXPECT_EQ(all, expected);
}

// ---- text to reals ----

// The value's bits, or the error's kind and text.
std::string outcome(double (*convert)(std::string_view), const std::string& text) {
  try {
    const double v = convert(text);
    return "value " + std::to_string(std::bit_cast<std::uint64_t>(v));
  } catch (const ZevrinError& e) {
    return "error " + std::to_string(static_cast<int>(e.kind())) + " " + e.argument();
  }
}

TEST(FastRealReading, AgreesWithThePlainScanOnRandomTexts) {
  std::mt19937_64 rng(11);
  const char* const pieces[] = {"0",     "1",
                                "9",     "12345678901234567890",
                                ".",     "-",
                                "+",     "e",
                                "E",     "e-",
                                "e+",    "e400",
                                "e-400", " ",
                                "  ",    "inf",
                                "nan",   "x",
                                "0x1",   "1,5",
                                "00",    "e99999999999",
                                "\t",    "5",
                                ".5",    "7.",
                                "1e",    "e0",
                                "-0",    "2.2250738585072011e-308"};
  for (int i = 0; i < 150000; ++i) {
    std::string text;
    const int n = static_cast<int>(rng() % 6);
    for (int k = 0; k < n; ++k) text += pieces[rng() % std::size(pieces)];
    ASSERT_EQ(outcome(StrToFloat, text), outcome(StrToFloatPlain, text)) << "[" << text << "]";
  }
  // Well-formed numbers of every size, with blanks and signs.
  for (int i = 0; i < 200000; ++i) {
    const double x = fromBits(rng());
    if (!std::isfinite(x)) continue;
    char buf[64];
    std::snprintf(buf, sizeof buf, i % 3 ? "%.17g" : " +%.9e ", x);
    ASSERT_EQ(outcome(StrToFloat, buf), outcome(StrToFloatPlain, buf)) << buf;
    const std::string short_text = FloatToStr(x);
    ASSERT_EQ(outcome(StrToFloat, short_text), outcome(StrToFloatPlain, short_text));
  }
  // Short decimals, as drawings and models are full of: up to 17 digits, leading and
  // trailing zeros, the point anywhere (or nowhere), up to 25 digits after it.
  for (int i = 0; i < 300000; ++i) {
    std::string digits = std::to_string(rng() % 100000000000000000ULL);
    digits.insert(0, rng() % 4, '0');
    digits.append(rng() % 4, '0');
    std::string text = rng() % 2 ? "-" : "";
    const std::size_t point = rng() % (digits.size() + 2);
    if (point > digits.size()) {
      text += digits;
    } else {
      text += digits.substr(0, point) + "." + digits.substr(point);
    }
    ASSERT_EQ(outcome(StrToFloat, text), outcome(StrToFloatPlain, text)) << text;
  }
}

TEST(FastIntegerText, EqualsToString) {
  std::mt19937_64 rng(5);
  for (int i = 0; i < 200000; ++i) {
    const auto v = static_cast<std::int64_t>(rng()) >> (rng() % 64);
    std::string appended = "x";
    AppendInt(appended, v);
    ASSERT_EQ(IntToStr(v), std::to_string(v));
    ASSERT_EQ(appended, "x" + std::to_string(v));
  }
  for (std::int64_t v : {std::numeric_limits<std::int64_t>::min(), std::int64_t{-1},
                         std::int64_t{0}, std::numeric_limits<std::int64_t>::max()})
    EXPECT_EQ(IntToStr(v), std::to_string(v));
}

// The integer grammar the plain way: blanks, a sign, digits, blanks, and the range checked on
// the whole magnitude; `ok` false for text that is no integer of the range.
std::int64_t plainInteger(std::string_view text, std::int64_t lo, std::int64_t hi, bool& ok) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  ok = !text.empty();
  std::uint64_t magnitude = 0;
  bool huge = false;
  for (char c : text) {
    if (c < '0' || c > '9') {
      ok = false;
      continue;
    }
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) huge = true;
    if (!huge) magnitude = magnitude * 10 + digit;
  }
  const std::uint64_t room =
      negative ? 0 - static_cast<std::uint64_t>(lo) : static_cast<std::uint64_t>(hi);
  ok = ok && !huge && magnitude <= room;
  if (!ok) return 0;
  return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

TEST(FastIntegerReading, AgreesWithThePlainGrammar) {
  std::mt19937_64 rng(13);
  const char* const pieces[] = {"0",
                                "1",
                                "9",
                                "7",
                                "000000000",
                                "2147483647",
                                "2147483648",
                                "-",
                                "+",
                                " ",
                                "x",
                                "9223372036854775807",
                                "9223372036854775808",
                                "4294967295",
                                "00000000000000000001",
                                "\t",
                                "1.5",
                                "99999999"};
  for (int i = 0; i < 300000; ++i) {
    std::string text;
    const int n = static_cast<int>(rng() % 4);
    for (int k = 0; k < n; ++k) text += pieces[rng() % std::size(pieces)];
    if (i % 3 == 0) text = std::to_string(static_cast<std::int64_t>(rng()) >> (rng() % 64));
    bool ok32 = false, ok64 = false;
    const std::int64_t v32 = plainInteger(text, std::numeric_limits<std::int32_t>::min(),
                                          std::numeric_limits<std::int32_t>::max(), ok32);
    const std::int64_t v64 = plainInteger(text, std::numeric_limits<std::int64_t>::min(),
                                          std::numeric_limits<std::int64_t>::max(), ok64);
    if (ok32) {
      ASSERT_EQ(StrToInt(text), v32) << text;
    } else {
      ASSERT_THROW(StrToInt(text), ZevrinError) << text;
    }
    if (ok64) {
      ASSERT_EQ(StrToInt64(text), v64) << text;
    } else {
      ASSERT_THROW(StrToInt64(text), ZevrinError) << text;
    }
  }
}

// ---- tokens and lines ----

TEST(TokenViews, GiveWhatTheCopyingTokenizerGives) {
  std::mt19937 rng(17);
  const char alphabet[] = {' ', ' ', '=', 'a', '1', '\t', '\r', '.', '\x01', '\xff', '-'};
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    const int n = static_cast<int>(rng() % 16);
    for (int k = 0; k < n; ++k) text += alphabet[rng() % sizeof alphabet];
    MCommaStr plain;
    plain.SetText(text);
    TokenView view(text);
    for (int step = 0; step < 8; ++step) {
      if (rng() % 9 == 0) {
        ASSERT_EQ(view.TakeRest(), plain.TakeRest());
        continue;
      }
      const char sep = rng() % 2 ? ' ' : '=';
      plain.Separator = std::string(1, sep);
      ASSERT_EQ(view.Next(sep), plain.NextToken()) << "[" << text << "]";
      ASSERT_EQ(view.Rest(), plain.Rest());
      ASSERT_EQ(static_cast<std::int32_t>(view.RestLength()), plain.RestLength());
    }
  }
}

std::vector<std::string> linesOf(LineSource& source) {
  std::vector<std::string> out;
  std::string_view line;
  while (source.Next(line)) out.emplace_back(line);
  return out;
}

TEST(LineSources, SplitAsSplitLinesDoes) {
  std::mt19937 rng(23);
  const char alphabet[] = {'a',    'x',    ' ',    '\r',   '\n',   '\t',  '\x0b',
                           '\x0c', '\x0d', '\x8d', '\x0a', '\x0e', '\x0d'};
  for (int i = 0; i < 50000; ++i) {
    std::string bytes;
    const int n = static_cast<int>(rng() % (i % 10 == 0 ? 400 : 40));
    for (int k = 0; k < n; ++k) {
      // Long runs without a line end exercise the eight-byte scan.
      if (rng() % 8 == 0) bytes.append(rng() % 30, static_cast<char>('b' + rng() % 3));
      bytes += alphabet[rng() % sizeof alphabet];
    }
    if (rng() % 20 == 0) bytes.insert(rng() % (bytes.size() + 1), 1, '\0');
    const LineList expected = SplitLines(bytes);
    LineSource source(bytes);
    ASSERT_EQ(linesOf(source), expected);
    EXPECT_EQ(source.Index(), static_cast<std::int64_t>(expected.size()));
    // From a list, from any start.
    const auto start = static_cast<std::int64_t>(rng() % (expected.size() + 2)) - 1;
    LineSource from_list(expected, start);
    std::vector<std::string> rest;
    for (std::int64_t k = std::max<std::int64_t>(start, 0);
         start >= 0 && k < static_cast<std::int64_t>(expected.size()); ++k)
      rest.push_back(expected[static_cast<std::size_t>(k)]);
    ASSERT_EQ(linesOf(from_list), rest);
  }
}

// ---- the block writer ----

TEST(BlockWriter, SinkBytesEqualTheLinesWithCrLf) {
  std::mt19937 rng(29);
  for (int i = 0; i < 2000; ++i) {
    LineList lines;
    std::string sunk;
    std::size_t calls = 0;
    const ByteSink sink = [&](const char* data, std::size_t size) {
      sunk.append(data, size);
      ++calls;
      return true;
    };
    const std::size_t block = std::vector<std::size_t>{1, 5, 64, 1 << 20}[rng() % 4];
    TextWriter to_list(lines);
    TextWriter to_sink(sink, block);
    const int n = static_cast<int>(rng() % 30);
    for (int k = 0; k < n; ++k) {
      for (TextWriter* w : {&to_list, &to_sink}) {
        std::mt19937 same(static_cast<unsigned>(i * 100 + k));
        const int pieces = static_cast<int>(same() % 4);
        for (int p = 0; p < pieces; ++p) {
          switch (same() % 4) {
            case 0:
              w->Add(std::string(same() % 70, 'q'));
              break;
            case 1:
              w->AddChar(' ');
              break;
            case 2:
              w->AddInt(static_cast<std::int32_t>(same()));
              break;
            default:
              w->AddFloat(fromBits(same() | 1));
              break;
          }
        }
        w->EndLine();
      }
    }
    EXPECT_TRUE(to_list.Finish());
    EXPECT_TRUE(to_sink.Finish());
    ASSERT_EQ(sunk, test::crlf(lines));
    if (block == 1) {
      EXPECT_EQ(calls, lines.size());
    }
  }
}

TEST(BlockWriter, ARefusedBlockFailsTheWholeWrite) {
  std::size_t calls = 0;
  const ByteSink refusing = [&](const char*, std::size_t) {
    ++calls;
    return false;
  };
  TextWriter out(refusing, 8);
  for (int k = 0; k < 100; ++k) out.Line("0123456789");
  EXPECT_FALSE(out.Finish());
  EXPECT_EQ(calls, 1u);  // nothing more is gathered or handed on after a refusal
}

TEST(BlockWriter, AnExceptionWhileWritingLeavesNoTemporaryFile) {
  test::ScratchDir dir;
  const std::string target = dir / "t.mdl";
  test::writeBytes(target, "old");
  EXPECT_THROW(WriteFileAtomically(target,
                                   [](const ByteSink& sink) -> bool {
                                     sink("partial", 7);
                                     throw std::runtime_error("stop");
                                   }),
               std::runtime_error);
  EXPECT_EQ(test::readBytes(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

// ---- the hash table ----

TEST(FlatHashTable, BehavesAsAMap) {
  std::mt19937_64 rng(31);
  for (int round = 0; round < 50; ++round) {
    FlatHash<std::int32_t> flat(rng() % 40);
    std::unordered_map<std::uint64_t, std::int32_t> plain;
    const std::uint64_t range = round % 2 ? 64 : ~std::uint64_t{0} - 1;
    for (int i = 0; i < 5000; ++i) {
      const std::uint64_t key = rng() % range;
      const auto value = static_cast<std::int32_t>(rng());
      switch (rng() % 3) {
        case 0: {
          const auto [at, fresh] = flat.TryEmplace(key, value);
          const auto [it, inserted] = plain.try_emplace(key, value);
          ASSERT_EQ(fresh, inserted);
          ASSERT_EQ(*at, it->second);
          break;
        }
        case 1:
          flat[key] = value;
          plain[key] = value;
          break;
        default: {
          const std::int32_t* found = flat.Find(key);
          const auto it = plain.find(key);
          ASSERT_EQ(found != nullptr, it != plain.end());
          if (found) {
            ASSERT_EQ(*found, it->second);
          }
        }
      }
      ASSERT_EQ(flat.size(), plain.size());
    }
    std::size_t seen = 0;
    flat.ForEach([&](std::uint64_t key, std::int32_t value) {
      ++seen;
      EXPECT_EQ(plain.at(key), value);
    });
    EXPECT_EQ(seen, plain.size());
  }
}

// ---- the mesh read line by line ----

// A random MESH body: blocks with good and broken records, counts too large, small or not
// numbers, version lines, other keys and nested sections; with each plain line's entry.
struct MeshText {
  std::string text;
  std::vector<literal::MeshEntry> entries;
};

MeshText randomMesh(std::mt19937& rng) {
  MeshText m;
  std::int32_t line = 1;  // line 0 is the header
  const auto add = [&](const std::string& l) {
    m.text += l + (rng() % 3 ? "\n" : "\r\n");
    m.entries.push_back({std::string(TrimView(l)), line++});
  };
  const auto nested = [&] {
    m.text += "[DETAIL]\nA=1\n[ENDDETAIL]\n";
    m.entries.push_back({"", line});
    line += 3;
  };
  const auto pick = [&](std::initializer_list<const char*> options) {
    return std::string(*(options.begin() + rng() % options.size()));
  };
  const auto record = [&] {
    const bool broken = rng() % 25 == 0;
    const bool attached = rng() % 3 == 0;
    const bool hook = rng() % 5 == 0;
    std::string first = pick({"0", "1", "16", "144", "4096", "4294967295"}) +
                        (attached ? " 1 " : " 0 ") + std::to_string(rng() % 40);
    if (hook) first += " " + pick({"0.5", "0.25", "1", "x"});
    if (broken) first = pick({"", "0 0", "a 0 1", "4294967296 0 1", "-1 0 1", "0 0 1.5"});
    add("  " + first + "  ");
    if (attached) {
      add(rng() % 30 ? std::to_string(rng() % 40) : pick({"", "x"}));
    } else {
      std::string xyz = pick({"0", "-0", "1.5", "0.731058578630005", "-2E-5", "1e308"}) + " " +
                        pick({"0", "2", "3.25"}) + " " + pick({"0", "-1", "7"});
      if (rng() % 40 == 0) xyz = pick({"1 2", "1,5 0 0", "nan 0 0", "1e999 0 0"});
      add(xyz);
    }
    for (int b = 0; b < 2; ++b)
      add(rng() % 3 ? "0" : pick({"0.25 0 -0.125", "1 2", "0  ", "a b c", " 1 2 3 "}));
  };
  if (rng() % 2) add("Version=" + pick({"2", "3", "2=5", ""}));
  add("Splines=" + std::to_string(rng() % 5));
  const int blocks = static_cast<int>(rng() % 5);
  for (int b = 0; b < blocks; ++b) {
    const int count = static_cast<int>(rng() % 4);
    const int stated = rng() % 12 == 0 ? count + 1 + static_cast<int>(rng() % 2) : count;
    add(rng() % 30 ? "CPs=" + std::to_string(stated) : pick({"CPs=x", "CPs=-2", "CPs", "cps=0"}));
    for (int k = 0; k < count; ++k) {
      if (rng() % 15 == 0) nested();
      record();
    }
    if (rng() % 6 == 0) add(pick({"Other=1", "", "Version=4"}));
  }
  return m;
}

// The mesh's written lines, or the error, read the line-by-line way.
std::string readFast(const std::string& body) {
  M5mesh mesh;
  try {
    const std::string bytes = "[MESH]\n" + body + "[ENDMESH]\n";
    LineSource from_bytes(bytes);
    mesh.ReadFrom(from_bytes, test::Step()());
  } catch (const ZevrinError& e) {
    return "error " + e.describe(false);
  }
  LineList out;
  mesh.WriteSection(out);
  return test::crlf(out);
}

// The same from the entries, the plain way.
std::string readPlain(const std::vector<literal::MeshEntry>& entries) {
  M5mesh mesh;
  mesh.Name = "MESH";
  try {
    literal::literalReadMesh(mesh, entries);
  } catch (const ZevrinError& e) {
    return "error " + e.describe(false);
  }
  LineList out;
  mesh.WriteSection(out);
  return test::crlf(out);
}

TEST(MeshReading, LineByLineEqualsReadingTheKeptEntries) {
  std::mt19937 rng(37);
  int errors = 0;
  for (int i = 0; i < 20000; ++i) {
    const MeshText m = randomMesh(rng);
    const std::string fast = readFast(m.text);
    ASSERT_EQ(fast, readPlain(m.entries)) << m.text;
    errors += fast.compare(0, 6, "error ") == 0;
  }
  // Both outcomes are well represented.
  EXPECT_GT(errors, 2000);
  EXPECT_LT(errors, 18000);
}

TEST(MeshReading, ANestedSectionsErrorComesBeforeTheMeshsOwn) {
  // The record error is held back; the unclosed nested section fails first, as the kept
  // entries would only have been read at the end.
  M5mesh mesh;
  const std::string bytes = "[MESH]\nCPs=1\nx 0 1\n0 0 0\n0\n0\n[X]\n";
  LineSource source(bytes);
  try {
    mesh.ReadFrom(source, test::Step()());
    FAIL();
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::IndexOutOfRange);
    EXPECT_EQ(e.line(), 7);
  }
}

// ---- saving ----

TEST(Saving, StreamedBytesEqualTheWrittenLines) {
  test::ScratchDir dir;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(ZEVRIN_TEST_DATA))
    if (FileKindOf(e.path().string(), nullptr) == FileKind::Model)
      files.push_back(e.path().string());
  files.push_back(std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl");
  const std::string generated = dir / "generated.mdl";
  bench::WriteModelFile(generated, 3000);
  files.push_back(generated);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    DocumentSession session;
    session.CurrentFile = file;
    try {
      if (session.LoadDocument().Outcome != LoadOutcome::Loaded) continue;
    } catch (const ZevrinError&) {
      continue;  // a file made to fail
    }
    for (int edit = 0; edit < 2; ++edit) {
      session.SaveDocument(dir / "saved.mdl");
      LineList lines;
      session.Document->WriteSection(lines);
      ASSERT_EQ(test::readBytes(dir / "saved.mdl"), test::crlf(lines));
      try {
        session.Halvejoin(0.001);
      } catch (const ZevrinError&) {
        break;  // a file made to fail the edit
      }
    }
  }
}

TEST(Saving, AGeneratedModelComesBackByteForByte) {
  test::ScratchDir dir;
  const bench::ModelStats stats = bench::WriteModelFile(dir / "m.mdl", 20000);
  DocumentSession session;
  session.CurrentFile = dir / "m.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  EXPECT_EQ(static_cast<std::size_t>(session.Shared.Counts.Cps), stats.points);
  EXPECT_EQ(static_cast<std::size_t>(session.Shared.Counts.Splines), stats.splines);
  session.SaveDocument(dir / "out.mdl");
  EXPECT_EQ(test::readBytes(dir / "out.mdl"), test::readBytes(dir / "m.mdl"));
  // Every edit runs on it.
  EXPECT_EQ(session.ConnectGroupedSplines().Memo.size(), 2u);
  EXPECT_EQ(session.Halvejoin(0.001).Memo.size(), 2u);
  session.AttachAll();
  session.DetachAll();
  session.MirrorBone(0.001);

  const std::size_t faces = bench::WriteDxfFile(dir / "d.dxf", 500);
  EXPECT_EQ(faces, 500u);
  session.CurrentFile = dir / "d.dxf";
  session.TemplatePath = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  EXPECT_GT(session.Shared.Counts.Splines, 500);
}

// ---- control points ----

TEST(ControlPoints, AreCompactAndEmptyGroupSetsHoldNothing) {
  static_assert(sizeof(GroupNameSet) == sizeof(void*));
  EXPECT_LE(sizeof(M5cp), 136u);
  M5cp p;
  EXPECT_TRUE(p.GroupNames.empty());
  EXPECT_EQ(p.GroupNames.begin(), p.GroupNames.end());
  EXPECT_FALSE(p.HasGroupName("a"));
  p.AddGroupName("b");
  p.AddGroupName("A");
  p.AddGroupName("B");
  EXPECT_EQ(p.GroupNames, (std::vector<std::string>{"A", "b"}));
  EXPECT_EQ(p.FirstGroupName(), "A");
  GroupNameSet copy = p.GroupNames;
  EXPECT_EQ(copy, p.GroupNames);
  copy.clear();
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(p.GroupNames.size(), 2u);
}

TEST(ControlPoints, SharedGroupNameSetsBehaveAsListsOfTheirOwn) {
  // Random adds, copies, moves and clears on points, against plain sorted lists.
  std::mt19937 rng(41);
  const char* const names[] = {"Layer0", "layer0", "Layer1", "B", "a", "", "Layer10", "\xff"};
  for (int round = 0; round < 200; ++round) {
    std::vector<M5cp> points(8);
    std::vector<std::vector<std::string>> plain(points.size());
    for (int step = 0; step < 200; ++step) {
      const std::size_t i = rng() % points.size();
      const std::size_t j = rng() % points.size();
      switch (rng() % 6) {
        case 0:
        case 1:
        case 2: {
          const std::string name = names[rng() % std::size(names)];
          points[i].AddGroupName(name);
          auto& list = plain[i];
          const auto it = std::lower_bound(
              list.begin(), list.end(), name,
              [](const std::string& a, const std::string& b) { return KeywordLess(a, b); });
          if (it == list.end() || !SameKeyword(*it, name)) list.insert(it, name);
          break;
        }
        case 3:
          points[i].GroupNames = points[j].GroupNames;
          plain[i] = plain[j];
          break;
        case 4: {
          GroupNameSet moved = std::move(points[j].GroupNames);
          points[i].GroupNames = std::move(moved);
          plain[i] = std::move(plain[j]);
          plain[j].clear();
          if (i == j) plain[i].clear(), points[i].GroupNames.clear();
          break;
        }
        default:
          points[i].GroupNames.clear();
          plain[i].clear();
      }
      for (std::size_t k = 0; k < points.size(); ++k) {
        ASSERT_EQ(points[k].GroupNames, plain[k]) << round << " " << step;
        ASSERT_EQ(points[k].GroupNames.empty(), plain[k].empty());
      }
    }
  }
  // Through one table the same names are one list; another spelling of a name held changes
  // nothing. Without a table each set has a list of its own.
  M5cp a, b, c, d, e;
  {
    GroupNameTable table;
    a.AddGroupName("Layer7", &table);
    b.AddGroupName("Layer7", &table);
    c.AddGroupName("LAYER7", &table);
    EXPECT_EQ(&a.GroupNames.list(), &b.GroupNames.list());
    EXPECT_NE(&a.GroupNames.list(), &c.GroupNames.list());
    a.AddGroupName("LAYER7", &table);
    EXPECT_EQ(&a.GroupNames.list(), &b.GroupNames.list());
    b.AddGroupName("Layer8", &table);
    EXPECT_NE(&a.GroupNames.list(), &b.GroupNames.list());
    d.AddGroupName("Layer8", &table);
    d.AddGroupName("Layer7", &table);  // the same names reached another way
    EXPECT_EQ(&d.GroupNames.list(), &b.GroupNames.list());
    e.AddGroupName("Layer7");
    EXPECT_NE(&e.GroupNames.list(), &a.GroupNames.list());
  }
  // The lists outlive the table in the sets that hold them.
  EXPECT_EQ(a.GroupNames, (std::vector<std::string>{"Layer7"}));
  EXPECT_EQ(b.GroupNames, (std::vector<std::string>{"Layer7", "Layer8"}));
  EXPECT_EQ(d.GroupNames, b.GroupNames);
  EXPECT_EQ(e.GroupNames, a.GroupNames);
}

// ---- passes with ids far apart (hash tables instead of arrays) ----

struct Mesh {
  std::vector<std::unique_ptr<M5spline>> splines;
  std::vector<M5cp*> items;
};

Mesh sparseMesh(std::uint32_t seed) {
  std::mt19937 rng(seed);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  Mesh m;
  const int points = 1 + pick(seed % 20 == 0 ? 300 : 40);
  std::vector<std::int32_t> ids;
  for (int k = 0; k < points / 2 + 1; ++k) {
    // Ids far apart, none negative: the plain renumbering uses negative ids of its own.
    const std::int32_t wide[] = {std::numeric_limits<std::int32_t>::max(), 0, 1,
                                 static_cast<std::int32_t>(rng() & 0x7FFFFFFF)};
    ids.push_back(wide[pick(4)]);
  }
  static const double kCoords[] = {0.0, -0.0, 1.0, 2.0, -1.5};
  const int spline_count = 1 + pick(6);
  for (int s = 0; s < spline_count; ++s) m.splines.push_back(std::make_unique<M5spline>());
  for (int k = 0; k < points; ++k) {
    auto p = std::make_unique<M5cp>();
    p->Id = ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))];
    p->X = kCoords[pick(5)];
    p->Y = kCoords[pick(3)];
    p->Z = pick(50) == 0 ? std::nan("") : kCoords[pick(2)];
    const int kind = pick(10);
    if (kind < 4) p->AttachTo(ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))]);
    if (kind == 4) p->AttachTo(static_cast<std::int32_t>(rng() & 0x7FFFFFFF));
    if (pick(4) == 0) p->Flags |= 0x10;
    if (pick(5) == 0) p->Flags |= 0x80;
    static const double kParams[] = {0.0, 0.25, 0.5, 1.0};
    p->HookParam = kParams[pick(4)];
    m.splines[static_cast<std::size_t>(pick(spline_count))]->AppendCp(std::move(p));
  }
  M5cplist list(m.splines);
  m.items = list.Items;
  return m;
}

TEST(SparseIds, IndexedPassesEqualLiteralScans) {
  for (std::uint32_t seed = 1; seed <= 600; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::Step step;
    Mesh fast = sparseMesh(seed);
    Mesh slow = sparseMesh(seed);
    M5cplist list;
    list.Items = fast.items;
    list.ResolveAttachments(step);
    literal::literalResolve(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "resolve";
    list.AttachAll(step.Bars);
    literal::literalAttachAll(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "attach all";
    std::mt19937 rng(seed);
    std::vector<Mattach_correct> records(rng() % 12);
    for (auto& r : records) {
      r.OldId = fast.items[rng() % fast.items.size()]->Id;
      r.NewId = rng() % 4 ? fast.items[rng() % fast.items.size()]->TargetId
                          : static_cast<std::int32_t>(rng() & 0x7FFFFFFF);
      r.Hook = rng() % 2 == 0;
      r.Attach = rng() % 3 == 0;
    }
    list.ApplyCorrections(records, step);
    literal::literalGuardedCorrections(slow.items, records);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "corrections";
    list.ResolveAttachments(step);
    literal::literalResolve(slow.items);
    ASSERT_EQ(list.ComputeBounds(step.Bars), literal::literalBounds(slow.items)) << "bounds";
    list.Renumber();
    literal::literalRenumber(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "renumber";
    list.ResolveAttachments(step);
    literal::literalResolve(slow.items);
    list.DetachAll(step.Bars);
    literal::literalDetachAll(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "detach all";
  }
}

}  // namespace
}  // namespace zevrin
