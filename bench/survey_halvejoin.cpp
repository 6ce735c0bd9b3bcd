// A census of what Halvejoin leaves wrong in the attachments of random hand-welded half
// models (tests/RandomSeamModels.h): 300 seeds, small and medium, tolerances 0 and 0.01, each
// as generated and after Detach all, Attach all or Connect grouped splines. Each way of
// correcting is counted on every output: outputs holding a point attached to itself, a ring
// of two or more points, an attachment naming no point; outputs whose bytes differ from the
// plain reading's, and among the outputs where the plain reading left no fault at all; and
// outputs where some point has a different resolved position (or chain root) than the plain
// reading gives it while that reading made no ring. The last row of each chain is the
// product, compared with the row above it byte for byte. Not a benchmark: a census, by hand.
//
//   survey_halvejoin [--seeds 300]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mesh/AM5_cplist.h"
#include "model/AM5_model.h"
#include "model/tree/AM_const.h"
#include "tests/LiteralPasses.h"
#include "tests/RandomSeamModels.h"

using namespace zevrin;

namespace {

std::unique_ptr<M5amsuper> readDoc(const LineList& l) {
  auto root = std::make_unique<M5amsuper>();
  StepContext step;
  step.Sections = &ModelFileSections();
  root->ReadSection(l, 0, step);
  return root;
}

M5model& modelOf(M5amsuper& root) { return dynamic_cast<M5model&>(*root.Entries.at(0).Child); }

LineList written(M5amsuper& node) {
  LineList out;
  node.WriteSection(out);
  return out;
}

struct Tally {
  int self = 0, ring = 0, dangling = 0;
  int differ = 0, clean_differ = 0, positions = 0, above = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int seeds = 300;
  for (int a = 1; a + 1 < argc; ++a)
    if (std::string(argv[a]) == "--seeds") seeds = std::atoi(argv[a + 1]);
  StepContext step;  // its report is not looked at: the census writes no file

  literal::GuardTally fired;  // by the full plain guards
  int shared = 0;
  const auto plain = [&](literal::Guards guards, bool share) {
    return [&, guards, share](M5amsuper& root, double t) {
      const bool count = guards.on_chain && guards.ring && share;
      seam::literalHalvejoin(
          *modelOf(root).Mesh, t,
          [&, guards](literal::Items& items, const std::vector<Mattach_correct>& records) {
            literal::Guards g = guards;
            if (count) g.tally = &fired;
            if (g.on_chain || g.ring) {
              literal::literalGuardedCorrections(items, records, g);
            } else {
              literal::literalCorrections(items, records);
            }
          },
          share ? &shared : nullptr);
    };
  };
  const std::vector<std::pair<std::string, std::function<void(M5amsuper&, double)>>> ways = {
      {"text", plain({false, false}, false)},
      {"+on-chain", plain({true, false}, false)},
      {"+ring", plain({true, true}, false)},
      {"+share", plain({true, true}, true)},
      {"product", [&](M5amsuper& root, double t) { root.Halvejoin(t, step); }},
  };
  const std::vector<std::string> chains = {"halvejoin", "detach, halvejoin", "attach, halvejoin",
                                           "connect, halvejoin"};
  int bad_inputs = 0;
  std::vector<std::vector<Tally>> tally(chains.size(), std::vector<Tally>(ways.size()));
  std::vector<literal::GuardTally> fired_by(chains.size());
  std::vector<int> shared_by(chains.size());
  for (std::size_t c = 0; c < chains.size(); ++c) {
    fired = {};
    shared = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
      for (const seam::Size size : {seam::Size::kSmall, seam::Size::kMedium}) {
        const LineList text = seam::randomSeamModel(static_cast<std::uint32_t>(seed), size, c == 3);
        if (seam::faultsOf(modelOf(*readDoc(text)).Mesh->Splines).any()) ++bad_inputs;
        for (const double tolerance : {0.0, 0.01}) {
          std::vector<LineList> outs;
          std::vector<std::vector<std::string>> positions;
          seam::Faults text_faults;
          for (std::size_t w = 0; w < ways.size(); ++w) {
            auto root = readDoc(text);
            if (c == 1) root->DetachAll(step);
            if (c == 2) root->AttachAll(step);
            if (c == 3) root->ConnectGroupedSplines(step);
            ways[w].second(*root, tolerance);
            const seam::Faults f = seam::faultsOf(modelOf(*root).Mesh->Splines);
            if (w == 0) text_faults = f;
            Tally& t = tally[c][w];
            t.self += f.self > 0;
            t.ring += f.ring > 0;
            t.dangling += f.dangling > 0;
            outs.push_back(written(*root));
            positions.push_back(seam::resolvedPositions(modelOf(*root).Mesh->Splines));
            if (w == 0) continue;
            t.differ += outs[w] != outs[0];
            t.clean_differ += !text_faults.any() && outs[w] != outs[0];
            t.positions += text_faults.self + text_faults.ring == 0 &&
                           seam::differingPositions(positions[w], positions[0]) > 0;
            if (w + 1 == ways.size()) t.above += outs[w] != outs[w - 1];
          }
        }
      }
    }
    fired_by[c] = fired;
    shared_by[c] = shared;
  }
  const int outputs = seeds * 4;
  std::printf("%d outputs per chain (%d seeds x 2 sizes x 2 tolerances); inputs with a fault: %d\n",
              outputs, seeds, bad_inputs);
  std::printf("%-19s %-10s %6s %8s %9s %8s %9s %10s %8s\n", "chain", "way", "self", "ring>=2",
              "dangling", "!=text", "clean!=", "positions", "!=above");
  for (std::size_t c = 0; c < chains.size(); ++c) {
    for (std::size_t w = 0; w < ways.size(); ++w) {
      const Tally& t = tally[c][w];
      const std::string above = w + 1 == ways.size() ? std::to_string(t.above) : "";
      std::printf("%-19s %-10s %6d %8d %9d %8d %9d %10d %8s\n", chains[c].c_str(),
                  ways[w].first.c_str(), t.self, t.ring, t.dangling, t.differ, t.clean_differ,
                  t.positions, above.c_str());
    }
  }
  std::printf(
      "\nRecords stopped by each guard, and copies attached to the uncopied point (+share)\n");
  std::printf("%-19s %9s %12s %14s %11s %7s\n", "chain", "on-chain", "attach ring", "retarget ring",
              "chain ring", "shared");
  for (std::size_t c = 0; c < chains.size(); ++c)
    std::printf("%-19s %9d %12d %14d %11d %7d\n", chains[c].c_str(), fired_by[c].on_chain,
                fired_by[c].attach_ring, fired_by[c].retarget_ring, fired_by[c].chain_ring,
                shared_by[c]);
  return 0;
}
