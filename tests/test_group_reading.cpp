// A GROUP section read line by line, without keeping its lines, against the reading of the
// kept lines: names, ids, what is written back and the errors, on random sections with
// names, counts that are wrong or missing, ids before the count, nested sections and blank
// lines.
#include <gtest/gtest.h>

#include <random>

#include "model/AM5_group.h"
#include "model/tree/AM5_super.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

// What a group makes of its section's entries, read from the kept entries (a nested section
// is an entry of empty text).
struct Reading {
  std::string name;
  std::vector<std::string> ids;
  std::string error;  // message and line, or empty
};

Reading plainReading(const std::vector<Entry>& entries) {
  Reading r;
  std::int32_t remaining = 0;
  try {
    for (const Entry& e : entries) {
      TokenView tokens(e.Text);
      const std::string_view key = tokens.Next('=');
      if (SameKeyword(key, "Name")) {
        r.name = std::string(tokens.Next('='));
      } else if (SameKeyword(key, "Count")) {
        remaining = WithLine(e.Line, [&] { return StrToInt(tokens.Next('=')); });
      } else {
        r.ids.push_back(e.Text);
        if (--remaining <= 0) break;
      }
    }
  } catch (const ZevrinError& e) {
    r.error = e.message(false) + " @" + std::to_string(e.line());
  }
  return r;
}

LineList randomBody(std::mt19937& rng) {
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  LineList body;
  for (int k = 0, n = pick(14); k < n; ++k) {
    switch (pick(9)) {
      case 0:
        body.push_back(pick(2) ? "Name=g" + std::to_string(pick(9)) : "NAME = spaced");
        break;
      case 1: {
        static const char* kCounts[] = {"3", "0", "-2", "12", "x", "", "2147483648", " 4"};
        body.push_back(std::string(pick(2) ? "Count=" : "count=") + kCounts[pick(8)]);
        break;
      }
      case 2:
        body.push_back("");
        break;
      case 3:
        body.insert(body.end(), {"[EXTRA]", "x=1", "[ENDEXTRA]"});
        break;
      default:
        body.push_back(std::to_string(pick(50)) + (pick(10) == 0 ? " tail" : ""));
        break;
    }
  }
  return body;
}

TEST(GroupReading, LineByLineEqualsReadingTheKeptLines) {
  std::mt19937 rng(11);
  int errors = 0, with_ids = 0;
  for (int round = 0; round < 3000; ++round) {
    const LineList body = randomBody(rng);
    SCOPED_TRACE("round " + std::to_string(round));
    const auto doc = [&](const std::string& header) {
      LineList l{"[MODELFILE]", "[" + header + "]"};
      l.insert(l.end(), body.begin(), body.end());
      l.insert(l.end(), {"[END" + header + "]", "[ENDMODELFILE]"});
      return l;
    };
    // The same lines in a section nobody interprets keep their entries for the plain reading.
    M5amsuper kept;
    kept.ReadSection(doc("KEPT"), 0, test::Step()());
    const Reading expected = plainReading(kept.Entries.at(0).Child->Entries);

    M5amsuper root;
    std::string error;
    try {
      root.ReadSection(doc("GROUP"), 0, test::Step()());
    } catch (const ZevrinError& e) {
      error = e.message(false) + " @" + std::to_string(e.line());
    }
    ASSERT_EQ(error, expected.error);
    errors += !error.empty();
    with_ids += !expected.ids.empty();
    if (!error.empty()) continue;
    auto& group = dynamic_cast<M5group&>(*root.Entries.at(0).Child);
    EXPECT_EQ(group.GroupName, expected.name);
    EXPECT_EQ(group.GroupIds, expected.ids);
    LineList out;
    group.WriteSection(out);
    LineList want{"[GROUP]", "Name=" + expected.name,
                  "Count=" + std::to_string(expected.ids.size())};
    want.insert(want.end(), expected.ids.begin(), expected.ids.end());
    want.push_back("[ENDGROUP]");
    EXPECT_EQ(out, want);
    // Only nested sections stay as entries.
    for (const Entry& e : group.Entries) EXPECT_NE(e.Child, nullptr);
  }
  EXPECT_GT(errors, 100);
  EXPECT_GT(with_ids, 1000);
}

}  // namespace
}  // namespace zevrin
