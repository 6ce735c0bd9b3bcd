// Text helpers used by every reader: trimming, keyword comparison, the split helpers, line
// splitting and the line tokenizer. Inputs are raw bytes, so the cases include control bytes,
// bytes of 128 and above and embedded NUL bytes.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

#include "util/Ustrlib.h"

namespace zevrin {
namespace {

using namespace std::string_literals;

// --- Trim ------------------------------------------------------------------------------

TEST(Trim, RemovesBlanksAndControlBytesAtBothEnds) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\t\r\n\x01\x1f value \x0b\x0c"), "value");
  EXPECT_EQ(Trim("\0x\0"s), "x");
  EXPECT_EQ(Trim("a \t b"), "a \t b");  // inner bytes stay
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim(" \t\r\n "), "");
  EXPECT_EQ(Trim("\x20!\x20"), "!");  // 33 is the first byte kept
}

TEST(Trim, KeepsDeleteAndHighBytes) {
  EXPECT_EQ(Trim("\x7f"), "\x7f");
  EXPECT_EQ(Trim(" \xa0x\xa0 "), "\xa0x\xa0");  // a Latin-1 no-break space is data
  EXPECT_EQ(Trim("\xff"), "\xff");
  EXPECT_EQ(Trim("\x80 "), "\x80");
  EXPECT_EQ(Trim(" \xe3\x81\x82"), "\xe3\x81\x82");  // UTF-8 text is untouched
}

TEST(Trim, ViewPointsIntoTheInput) {
  const std::string text = "  key  ";
  const std::string_view view = TrimView(text);
  EXPECT_EQ(view, "key");
  EXPECT_EQ(view.data(), text.data() + 2);
}

// --- Keyword comparison ----------------------------------------------------------------

TEST(SameKeyword, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(SameKeyword("mesh", "MESH"));
  EXPECT_TRUE(SameKeyword("MeSh", "mEsH"));
  EXPECT_TRUE(SameKeyword("", ""));
  EXPECT_TRUE(SameKeyword("a1_z", "A1_Z"));
  EXPECT_FALSE(SameKeyword("mesh", "mash"));
  // Pairs 32 apart that are not letters: folding by clearing bit 5 would match them.
  EXPECT_FALSE(SameKeyword("@", "`"));
  EXPECT_FALSE(SameKeyword("[", "{"));
  EXPECT_FALSE(SameKeyword("^", "~"));
  EXPECT_FALSE(SameKeyword("_", "\x7f"));
  EXPECT_FALSE(SameKeyword("1", "\x11"));
}

TEST(SameKeyword, ComparesHighBytesExactly) {
  EXPECT_TRUE(SameKeyword("\xe9t\xe9", "\xe9T\xe9"));
  EXPECT_FALSE(SameKeyword("\xe9", "\xc9"));  // Latin-1 e acute and E acute
  EXPECT_FALSE(SameKeyword("\xe3\x81\x82", "\xe3\x81\xa2"));
}

TEST(SameKeyword, DifferentLengthsNeverMatch) {
  EXPECT_FALSE(SameKeyword("mesh", "meshes"));
  EXPECT_FALSE(SameKeyword("MESHES", "mesh"));
  EXPECT_FALSE(SameKeyword("a", ""));
  EXPECT_FALSE(SameKeyword("a", "a\0"s));
}

TEST(UpperAscii, ChangesOnlyLowerCaseLetters) {
  EXPECT_EQ(UpperAscii('a'), 'A');
  EXPECT_EQ(UpperAscii('z'), 'Z');
  EXPECT_EQ(UpperAscii('A'), 'A');
  EXPECT_EQ(UpperAscii('`'), '`');
  EXPECT_EQ(UpperAscii('{'), '{');
  EXPECT_EQ(UpperAscii(0xe1), 0xe1);
  EXPECT_EQ(UpperAscii(0xff), 0xff);
}

TEST(KeywordLess, OrdersFoldedBytes) {
  EXPECT_TRUE(KeywordLess("abc", "ABD"));
  EXPECT_TRUE(KeywordLess("ABC", "abd"));
  EXPECT_FALSE(KeywordLess("abd", "ABC"));
  // Letters compare as upper case, so they sort before "_" (95) even in lower case.
  EXPECT_TRUE(KeywordLess("a", "_"));
  EXPECT_FALSE(KeywordLess("_", "a"));
}

TEST(KeywordLess, SameNameInAnyCaseIsNotLess) {
  EXPECT_FALSE(KeywordLess("Mesh", "MESH"));
  EXPECT_FALSE(KeywordLess("MESH", "Mesh"));
  EXPECT_FALSE(KeywordLess("", ""));
}

TEST(KeywordLess, PrefixComesFirst) {
  EXPECT_TRUE(KeywordLess("ab", "ABC"));
  EXPECT_FALSE(KeywordLess("ABC", "ab"));
  EXPECT_TRUE(KeywordLess("", "a"));
}

TEST(KeywordLess, HighBytesSortAfterAscii) {
  // Unsigned order: a signed char comparison would put these first.
  EXPECT_TRUE(KeywordLess("z", "\x80"));
  EXPECT_FALSE(KeywordLess("\x80", "z"));
  EXPECT_TRUE(KeywordLess("\x80", "\xff"));
}

TEST(KeywordLess, MapKeyedByItMergesCaseVariants) {
  std::map<std::string, int, decltype(&KeywordLess)> names(&KeywordLess);
  names["Mesh"] = 1;
  names["MESH"] = 2;
  names["mesh_b"] = 3;
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names.begin()->first, "Mesh");
  EXPECT_EQ(names.begin()->second, 2);
}

// --- BeforeFirst / AfterFirst ----------------------------------------------------------

TEST(BeforeAfterFirst, SplitAtTheFirstOccurrence) {
  EXPECT_EQ(BeforeFirst("=", "a=b=c"), "a");
  EXPECT_EQ(AfterFirst("=", "a=b=c"), "b=c");
  EXPECT_EQ(BeforeFirst("=", "=b"), "");
  EXPECT_EQ(AfterFirst("=", "=b"), "b");
  EXPECT_EQ(BeforeFirst("=", "a="), "a");
  EXPECT_EQ(AfterFirst("=", "a="), "");
}

TEST(BeforeAfterFirst, MissingSeparator) {
  EXPECT_EQ(BeforeFirst("=", "abc"), "abc");
  EXPECT_EQ(AfterFirst("=", "abc"), "");
  EXPECT_EQ(BeforeFirst("=", ""), "");
  EXPECT_EQ(AfterFirst("=", ""), "");
  EXPECT_EQ(BeforeFirst("abcd", "abc"), "abc");
  EXPECT_EQ(AfterFirst("abcd", "abc"), "");
}

TEST(BeforeAfterFirst, EmptySeparatorIsNeverFound) {
  EXPECT_EQ(BeforeFirst("", "abc"), "abc");
  EXPECT_EQ(AfterFirst("", "abc"), "");
}

TEST(BeforeAfterFirst, LongSeparatorSkipsOneByte) {
  EXPECT_EQ(BeforeFirst("=>", "a=>b"), "a");
  EXPECT_EQ(AfterFirst("=>", "a=>b"), ">b");
  // Only the whole separator counts as an occurrence.
  EXPECT_EQ(BeforeFirst("=>", "a=b=>c"), "a=b");
  EXPECT_EQ(AfterFirst("=>", "a=b=>c"), ">c");
}

// --- SplitLines ------------------------------------------------------------------------

TEST(SplitLines, EveryLineEndKind) {
  EXPECT_EQ(SplitLines("a\r\nb\r\nc"), (LineList{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\nb\nc"), (LineList{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\rb\rc"), (LineList{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\rb\nc\r\nd"), (LineList{"a", "b", "c", "d"}));
}

TEST(SplitLines, LastLineAndEmptyLines) {
  EXPECT_EQ(SplitLines(""), LineList{});
  EXPECT_EQ(SplitLines("a"), (LineList{"a"}));
  EXPECT_EQ(SplitLines("a\n"), (LineList{"a"}));
  EXPECT_EQ(SplitLines("a\r\n"), (LineList{"a"}));
  EXPECT_EQ(SplitLines("\n"), (LineList{""}));
  EXPECT_EQ(SplitLines("\r"), (LineList{""}));
  EXPECT_EQ(SplitLines("\r\n"), (LineList{""}));
  EXPECT_EQ(SplitLines("a\n\n"), (LineList{"a", ""}));
  EXPECT_EQ(SplitLines("\n\nb"), (LineList{"", "", "b"}));
}

TEST(SplitLines, CarriageReturnPairsOnlyWithTheNextByte) {
  EXPECT_EQ(SplitLines("a\r\r\nb"), (LineList{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\n\r"), (LineList{"", ""}));
  EXPECT_EQ(SplitLines("a\n\r\nb"), (LineList{"a", "", "b"}));
}

TEST(SplitLines, NulEndsTheText) {
  EXPECT_EQ(SplitLines("a\nb\0c\nd"s), (LineList{"a", "b"}));
  EXPECT_EQ(SplitLines("\0a\nb"s), LineList{});
  EXPECT_EQ(SplitLines("a\n\0"s), (LineList{"a"}));
}

TEST(SplitLines, OtherBytesAreLineContent) {
  EXPECT_EQ(SplitLines("a\tb\x0b\x0c \xe3\x81\x82\x85"),
            (LineList{"a\tb\x0b\x0c \xe3\x81\x82\x85"}));
  EXPECT_EQ(SplitLines("  x  \n"), (LineList{"  x  "}));  // no trimming
}

// --- MCommaStr -------------------------------------------------------------------------

TEST(MCommaStr, KeyThenValues) {
  MCommaStr line;
  line.SetText("Bounds=1 2 3");
  line.Separator = "=";
  EXPECT_EQ(line.NextToken(), "Bounds");
  EXPECT_EQ(line.Rest(), "1 2 3");
  EXPECT_EQ(line.RestLength(), 5);
  line.Separator = " ";
  EXPECT_EQ(line.NextToken(), "1");
  EXPECT_EQ(line.NextToken(), "2");
  EXPECT_EQ(line.NextToken(), "3");
  EXPECT_EQ(line.TokenCount(), 4);
  EXPECT_EQ(line.RestLength(), 0);
  // Nothing left: empty tokens that are not counted.
  EXPECT_EQ(line.NextToken(), "");
  EXPECT_EQ(line.NextToken(), "");
  EXPECT_EQ(line.TokenCount(), 4);
  EXPECT_EQ(line.Text(), "Bounds=1 2 3");
}

TEST(MCommaStr, RestIsTrimmedAfterEachToken) {
  MCommaStr line;
  line.Separator = " ";
  line.SetText("a   b");
  EXPECT_EQ(line.NextToken(), "a");
  EXPECT_EQ(line.Rest(), "b");
  EXPECT_EQ(line.NextToken(), "b");
  EXPECT_EQ(line.TokenCount(), 2);

  line.Separator = "=";
  line.SetText("Key=\t value \r");
  EXPECT_EQ(line.NextToken(), "Key");
  EXPECT_EQ(line.Rest(), "value");
}

TEST(MCommaStr, TokenItselfIsNotTrimmed) {
  MCommaStr line;
  line.Separator = ",";
  line.SetText("a ,b");
  EXPECT_EQ(line.NextToken(), "a ");
  EXPECT_EQ(line.NextToken(), "b");

  line.Separator = " ";
  line.SetText(" a");
  EXPECT_EQ(line.NextToken(), "");
  EXPECT_EQ(line.TokenCount(), 1);
  EXPECT_EQ(line.Rest(), "a");
  EXPECT_EQ(line.NextToken(), "a");
}

TEST(MCommaStr, SeparatorEdgeCases) {
  MCommaStr line;
  line.Separator = "";
  line.SetText("x = 1");
  EXPECT_EQ(line.NextToken(), "x = 1");
  EXPECT_EQ(line.Rest(), "");
  EXPECT_EQ(line.TokenCount(), 1);

  line.Separator = "=>";
  line.SetText("a=>b");
  EXPECT_EQ(line.NextToken(), "a");
  EXPECT_EQ(line.Rest(), ">b");

  line.Separator = "=";
  line.SetText("novalue");
  EXPECT_EQ(line.NextToken(), "novalue");
  EXPECT_EQ(line.Rest(), "");
}

TEST(MCommaStr, TakeRestReturnsTheUntakenText) {
  MCommaStr line;
  line.Separator = "=";
  line.SetText("Name=My Group Name");
  EXPECT_EQ(line.NextToken(), "Name");
  EXPECT_EQ(line.TakeRest(), "My Group Name");
  EXPECT_EQ(line.RestLength(), 0);
  EXPECT_EQ(line.TakeRest(), "");
  EXPECT_EQ(line.NextToken(), "");
}

TEST(MCommaStr, SetTextResetsCountButKeepsSeparator) {
  MCommaStr line;
  EXPECT_EQ(line.Separator, ".");
  EXPECT_EQ(line.TokenCount(), 0);
  line.SetText("1.5");
  EXPECT_EQ(line.NextToken(), "1");
  EXPECT_EQ(line.NextToken(), "5");
  EXPECT_EQ(line.TokenCount(), 2);

  line.Separator = " ";
  line.SetText("p q");
  EXPECT_EQ(line.TokenCount(), 0);
  EXPECT_EQ(line.Separator, " ");
  EXPECT_EQ(line.Rest(), "p q");
  EXPECT_EQ(line.NextToken(), "p");
  EXPECT_EQ(line.TokenCount(), 1);
}

}  // namespace
}  // namespace zevrin
