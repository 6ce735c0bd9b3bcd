// The document as the shaded view shows it: its patches as lit triangles, the outlines of its
// holes and its splines, made once after every open and edit and then drawn as often as the
// view turns (by RenderShaded, or by a front end's OpenGL from the same arrays).
#pragma once

#include "view/ShadedScene.h"

namespace zevrin {

class M5amsuper;
class Progress;

// The scene of every mesh below `root` that a save would write (what a save leaves out is not
// drawn, as in the wireframe). Each mesh's patches are the file's own list where a tag file
// has one, in its turning, else the patch finder's (mesh/TagMesh.h PatchesOf). Quads split
// along their shorter diagonal, five-corner patches into a fan from their first corner.
//
// Normals: across a segment joining exactly two patches that turn the same way the surface is
// smooth, unless a spline through the segment's end is peaked there (its point without the
// smooth bit 0x1) and does not run along the segment: then the patches crease there, as the
// modeller draws a peaked point. A polygon file's edges, peaked everywhere, come out flat.
//
// Holes and unorientable sets: as the patch finder counts and outlines them; for a file's own
// list, the loops of patch sides that no other patch shares, and the connected sets of listed
// patches that no choice of turning makes agree. A listed patch turned against its neighbours
// is drawn as listed, so that its back shows.
//
// Work and memory are linear in the model's size (up to sorting the sides at each vertex); the
// walk of the tree has no recursion. The bars step as the patch finder's do, and a set cancel
// flag stops the work with ErrorKind::Cancelled.
ShadedScene BuildShadedScene(const M5amsuper& root, Progress& bars);

}  // namespace zevrin
