// Resolved positions of many control points at once. Each point's position at parameter 0
// comes from the end of its chain of targets; a resolver remembers every chain it has walked,
// so that a whole mesh resolves in time linear in its points even when thousands of welded
// points hang in one chain. It gives exactly what M5cp::Pos gives, and must not outlive a
// change of attachments.
#pragma once

#include <vector>

#include "mesh/AM5_cp.h"
#include "util/FlatHash.h"

namespace zevrin {

class PositionResolver {
 public:
  Vec3 Pos(const M5cp& p, double t);

 private:
  // The point whose own coordinates are p's position at 0 (p itself on a cycle).
  const M5cp& Source(const M5cp& p);

  // Source of each point walked so far on a chain of two or more targets; null for a point
  // whose chain runs into a cycle. A point attached straight to a point of its own position
  // (most attached points) needs no entry.
  FlatHash<const M5cp*> memo_;
  std::vector<const M5cp*> path_;
};

}  // namespace zevrin
