// The indexed passes of the control-point list against literal versions that scan the list
// from the start for every lookup, on thousands of random meshes: repeated ids, chains,
// hooks, missing targets and rings of attachments.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <random>
#include <set>

#include "mesh/AM5_cplist.h"
#include "tests/LiteralPasses.h"
#include "tests/TestUtil.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using namespace literal;

// ---- random meshes, made twice from one seed ----

struct Mesh {
  std::vector<std::unique_ptr<M5spline>> splines;
  Items items;
};

Mesh makeMesh(std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  Mesh m;
  const int points = 1 + pick(40);
  const int max_id = 1 + pick(points + 5);
  static const double kCoords[] = {0.0, -0.0, 1.0, 2.0, -1.5};
  const int spline_count = 1 + pick(4);
  for (int s = 0; s < spline_count; ++s) m.splines.push_back(std::make_unique<M5spline>());
  for (int k = 0; k < points; ++k) {
    auto p = std::make_unique<M5cp>();
    p->Id = pick(max_id + 1);
    p->X = kCoords[pick(5)];
    p->Y = kCoords[pick(3)];
    p->Z = pick(50) == 0 ? std::nan("") : kCoords[pick(2)];
    const int kind = pick(10);
    if (kind < 4) p->AttachTo(pick(max_id + 4));
    if (kind == 4) p->Attached = 2;
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

std::vector<Mattach_correct> makeRecords(std::uint32_t seed, int max_id) {
  std::mt19937 rng(seed ^ 0x5bd1e995u);
  std::vector<Mattach_correct> records(rng() % 8);
  for (auto& r : records) {
    r.OldId = static_cast<std::int32_t>(rng() % static_cast<unsigned>(max_id + 2));
    r.NewId = static_cast<std::int32_t>(rng() % static_cast<unsigned>(max_id + 2));
    r.Hook = rng() % 2 == 0;
    r.Attach = rng() % 3 == 0;
  }
  return records;
}

class RandomMeshes : public test::InScratchDir {};

TEST_F(RandomMeshes, IndexedPassesEqualLiteralScans) {
  for (std::uint32_t seed = 1; seed <= 2000; ++seed) {
    Mesh fast = makeMesh(seed);
    Mesh slow = makeMesh(seed);
    M5cplist list;
    list.Items = fast.items;
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::Step step;

    list.ResolveAttachments(step);
    literalResolve(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "resolve";

    list.AttachAll(step.Bars);
    literalAttachAll(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "attach all";

    const auto records = makeRecords(seed, static_cast<int>(fast.items.size()) + 5);
    list.ApplyCorrections(records, step);
    literalGuardedCorrections(slow.items, records);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "corrections";

    list.ResolveAttachments(step);
    literalResolve(slow.items);
    ASSERT_EQ(list.ComputeBounds(step.Bars), literalBounds(slow.items)) << "bounds";

    EXPECT_EQ(list.Renumber(), static_cast<std::int32_t>(slow.items.size()));
    literalRenumber(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "renumber";

    list.ResolveAttachments(step);
    literalResolve(slow.items);
    list.DetachAll(step.Bars);
    literalDetachAll(slow.items);
    ASSERT_EQ(literal::pointStates(fast.items), literal::pointStates(slow.items)) << "detach all";
  }
}

}  // namespace
}  // namespace zevrin
