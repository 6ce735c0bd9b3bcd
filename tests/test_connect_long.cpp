// Connect grouped splines on models it turns into long splines: edge splines of walks over a
// lattice (hundreds of joins per spline), one group of every id, groups sharing points, ids a
// group names twice, branches where several ends meet, loops; the indexed edit against the
// plain one, on the saved bytes (flags included) and on the chains.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "mesh/AM5_mesh.h"
#include "model/AM5_model.h"
#include "tests/LiteralConnect.h"
#include "tests/TestUtil.h"

namespace zevrin {
namespace {

std::unique_ptr<M5amsuper> readDoc(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  root->ReadSection(l, 0, test::Step()());
  return root;
}

M5model& modelOf(M5amsuper& root) { return dynamic_cast<M5model&>(*root.Entries.at(0).Child); }

LineList written(M5amsuper& node) {
  LineList out;
  node.WriteSection(out);
  return out;
}

enum class Grouping { kOneGroupOfAll, kOverlapping, kPerWalk };

// Walks over a small lattice, every step a spline of two (now and then three) points from one
// place to the next, some turned round; the splines in random order. Points at one place are
// welded now and then, flags carry bit 0, loop and hook bits at random.
// With `repeat_ids`, the points' ids are drawn from a range a third as large as their number,
// as a damaged or hand-edited file may have them.
LineList longSplineModel(std::uint32_t seed, Grouping grouping, bool repeat_ids = false) {
  std::mt19937 rng(seed);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const int side = 3 + pick(4);
  struct Step {
    int from[3], to[3];
    int walk;
  };
  std::vector<Step> steps;
  const int walks = 1 + pick(4);
  for (int w = 0; w < walks; ++w) {
    int at[3] = {pick(side), pick(side), pick(2)};
    for (int k = 0, n = 5 + pick(120); k < n; ++k) {
      Step s{{at[0], at[1], at[2]}, {at[0], at[1], at[2]}, w};
      const int axis = pick(3);
      const int bound = axis == 2 ? 2 : side;
      s.to[axis] = (s.to[axis] + 1 + pick(bound - 1)) % bound;
      steps.push_back(s);
      for (int a = 0; a < 3; ++a) at[a] = s.to[a];
    }
  }
  std::shuffle(steps.begin(), steps.end(), rng);
  LineList l{"[MODELFILE]", "[MODEL]", "[MESH]"};
  const auto place = [](const int* p) {
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
  };
  std::vector<std::vector<int>> walk_ids(static_cast<std::size_t>(walks));
  std::map<std::string, int> first_at;  // the first point at each place, for welding
  int id = 0;
  const int id_range = std::max<int>(1, static_cast<int>(steps.size()) * 2 / 3);
  for (const Step& s : steps) {
    const bool turned = pick(2) == 0;
    const bool three = pick(8) == 0;
    l.push_back(three ? "CPs=3" : "CPs=2");
    std::vector<std::string> where = {place(turned ? s.to : s.from), place(turned ? s.from : s.to)};
    if (three) where.insert(where.begin() + 1, "0.5 " + std::to_string(pick(side)) + " 7");
    for (std::size_t k = 0; k < where.size(); ++k) {
      ++id;
      const int written_id = repeat_ids ? 1 + pick(id_range) : id;
      walk_ids[static_cast<std::size_t>(s.walk)].push_back(written_id);
      std::uint32_t flags = 0;
      if (pick(6) == 0) flags |= 0x1;
      if (k + 1 == where.size() && pick(10) == 0) flags |= 0x4;
      if (pick(12) == 0) flags |= 0x80;
      const auto [first, fresh] = first_at.try_emplace(where[k], written_id);
      const bool weld = !fresh && pick(3) == 0;
      l.push_back(std::to_string(flags) + (weld ? " 1 " : " 0 ") + std::to_string(written_id));
      l.push_back(weld ? std::to_string(first->second) : where[k]);
      l.insert(l.end(), {"0", "0"});
    }
  }
  l.push_back("[ENDMESH]");
  const auto group = [&](std::vector<int> ids, const std::string& name) {
    std::shuffle(ids.begin(), ids.end(), rng);
    if (!ids.empty() && pick(3) == 0)
      ids.push_back(ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))]);
    l.insert(l.end(), {"[GROUP]", "Name=" + name, "Count=" + std::to_string(ids.size())});
    for (int v : ids) l.push_back(std::to_string(v));
    l.push_back("[ENDGROUP]");
  };
  std::vector<int> all;
  for (const auto& w : walk_ids) all.insert(all.end(), w.begin(), w.end());
  std::sort(all.begin(), all.end());
  switch (grouping) {
    case Grouping::kOneGroupOfAll:
      group(all, "all");
      break;
    case Grouping::kOverlapping:
      for (int g = 0, n = 2 + pick(3); g < n; ++g) {
        std::vector<int> some;
        for (int v : all)
          if (pick(3) != 0) some.push_back(v);
        group(some, "part" + std::to_string(g));
      }
      break;
    case Grouping::kPerWalk:
      for (std::size_t w = 0; w < walk_ids.size(); ++w)
        group(walk_ids[w], "walk" + std::to_string(w));
      group(all, "all");
      break;
  }
  l.insert(l.end(), {"[ENDMODEL]", "[ENDMODELFILE]"});
  return l;
}

// The chains as "id:flags" per point, one line per spline.
std::vector<std::string> chains(M5mesh& mesh) {
  std::vector<std::string> out;
  for (const auto& s : mesh.Splines) {
    std::string line = std::to_string(s->NumCps) + ":";
    for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
      line += " " + std::to_string(p->Id) + "/" + std::to_string(p->Flags);
    out.push_back(line);
  }
  return out;
}

class ConnectLong : public test::InScratchDir {};

TEST_F(ConnectLong, IndexedConnectEqualsThePlainOneOnLongSplines) {
  std::size_t longest = 0, joins = 0;
  for (std::uint32_t seed = 1; seed <= 240; ++seed) {
    for (const Grouping grouping :
         {Grouping::kOneGroupOfAll, Grouping::kOverlapping, Grouping::kPerWalk}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " grouping " + std::to_string(int(grouping)));
      const LineList model = longSplineModel(seed, grouping);
      auto fast = readDoc(model);
      auto plain = readDoc(model);
      const std::size_t before = modelOf(*fast).Mesh->Splines.size();
      modelOf(*fast).ConnectGroupedSplines(test::Step()());
      literal::literalConnect(modelOf(*plain));
      ASSERT_EQ(written(*fast), written(*plain));
      ASSERT_EQ(chains(*modelOf(*fast).Mesh), chains(*modelOf(*plain).Mesh));
      joins += before - modelOf(*fast).Mesh->Splines.size();
      for (const auto& s : modelOf(*fast).Mesh->Splines)
        longest = std::max(longest, static_cast<std::size_t>(s->NumCps));
    }
  }
  EXPECT_GT(longest, 100u);  // splines of a hundred joins and more were made
  EXPECT_GT(joins, 20000u);
}

TEST_F(ConnectLong, RepeatedIdsGiveThePlainOnesChoices) {
  // Several splines ending on one id at once: the last in mesh order is taken, as the scan
  // from the last spline takes it, however the joins change the ends.
  for (std::uint32_t seed = 1; seed <= 240; ++seed) {
    for (const Grouping grouping : {Grouping::kOneGroupOfAll, Grouping::kOverlapping}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " grouping " + std::to_string(int(grouping)));
      const LineList model = longSplineModel(seed, grouping, true);
      auto fast = readDoc(model);
      auto plain = readDoc(model);
      modelOf(*fast).ConnectGroupedSplines(test::Step()());
      literal::literalConnect(modelOf(*plain));
      ASSERT_EQ(written(*fast), written(*plain));
    }
  }
}

TEST_F(ConnectLong, ASecondConnectAndAHalvejoinAfterwardsGiveThePlainBytes) {
  // Connect used the groups up: a second one changes nothing; Halvejoin then mirrors the long
  // splines as it does any others.
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const LineList model = longSplineModel(seed, Grouping::kPerWalk);
    auto fast = readDoc(model);
    auto plain = readDoc(model);
    modelOf(*fast).ConnectGroupedSplines(test::Step()());
    literal::literalConnect(modelOf(*plain));
    const LineList once = written(*fast);
    modelOf(*fast).ConnectGroupedSplines(test::Step()());
    ASSERT_EQ(written(*fast), once);
    fast->Halvejoin(0.25, test::Step()());
    plain->Halvejoin(0.25, test::Step()());
    ASSERT_EQ(written(*fast), written(*plain));
  }
}

TEST(SplineJoins, JoinAndReverseEqualThePlainOnesOnRandomPairs) {
  // Two splines whose ends may meet in any of the four ways (or not at all), with random
  // flags; JoinAtEnds and ReverseSpline against the plain versions, point by point.
  std::mt19937 rng(7);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  struct Plan {
    int first_id;
    std::vector<int> at;  // places along X
    std::vector<std::uint32_t> flags;
  };
  const auto plan = [&](int first_id, int n) {
    Plan p{first_id, {}, {}};
    for (int k = 0; k < n; ++k) {
      p.at.push_back(k == 0 || k == n - 1 ? pick(3) : 10 + pick(5));
      p.flags.push_back(static_cast<std::uint32_t>(pick(16)));
    }
    return p;
  };
  const auto make = [](M5spline& s, const Plan& p) {
    for (std::size_t k = 0; k < p.at.size(); ++k) {
      s.AddCpAt(p.first_id + static_cast<int>(k), {static_cast<double>(p.at[k]), 0, 0});
      s.LastCp->Flags = p.flags[k];
    }
  };
  const auto describe = [](const M5spline& s) {
    std::string out = std::to_string(s.NumCps) + ":";
    for (const M5cp* p = s.FirstCp.get(); p; p = p->Next.get()) {
      out += " " + std::to_string(p->Id) + "/" + std::to_string(p->Flags);
      if (p->Next && p->Next->Prev != p) out += "!";  // a broken back link
    }
    if (s.LastCp && s.LastCp->Next) out += " (last has a successor)";
    return out;
  };
  for (int round = 0; round < 2000; ++round) {
    M5spline a, b, c, d;
    const Plan pa = plan(1, 1 + pick(5)), pb = plan(100, 1 + pick(5));
    make(a, pa);
    make(b, pb);
    make(c, pa);
    make(d, pb);
    ASSERT_EQ(describe(a), describe(c));
    if (a.NumCps >= 2 && b.NumCps >= 2) {
      EXPECT_EQ(a.JoinAtEnds(b), literal::literalJoinAtEnds(c, d));
      ASSERT_EQ(describe(a), describe(c)) << round;
      ASSERT_EQ(describe(b), describe(d)) << round;
    }
    a.ReverseSpline();
    literal::literalReverse(c);
    ASSERT_EQ(describe(a), describe(c)) << round;
  }
}

}  // namespace
}  // namespace zevrin
