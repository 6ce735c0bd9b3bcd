// The lists of a tag model that name its mesh's points by id, outside the splines: the groups'
// CPS, the bones' NONSKINNEDCPS and WEIGHTEDCPS, the decals' stamps and the poses' muscle
// channels. An edit that renumbers, copies or merges points takes them along here, so that
// the modeller does not put a weight, a decal or a pose on the wrong point.
#pragma once

#include <cstdint>

#include "mesh/TagMesh.h"

namespace zevrin {

class TagModel;

struct TagListEdit {
  // Every id named goes through it; a line naming an id it does not hold is left out.
  const TagIdMap& To;
  // The ids' mirror copies (new ids), which the groups gain after their own points.
  const TagIdMap* GroupCopies = nullptr;
  // A list of points (CPS, NONSKINNEDCPS, WEIGHTEDCPS) names a point once: where points were
  // merged, the later lines naming the same point go.
  bool MergeRepeats = false;
};

// Rewrites the lists of `model` (its mesh's PATCHES aside) as `edit` says. Lines that keep
// their ids keep their bytes. Returns how many lines were left out because they named a point
// that is gone (repeats merged do not count).
std::int64_t RemapTagLists(TagModel& model, const TagListEdit& edit);

}  // namespace zevrin
