// Peer for scripts/bench_peers.sh only: dxflib reading a DXF and counting its 3DFACE
// entities. Built by the script against Debian's libdxflib-dev; never part of Zevrin.
#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

#include <cstdio>

namespace {

class FaceCounter : public DL_CreationAdapter {
 public:
  long faces = 0;
  void add3dFace(const DL_3dFaceData&) override { ++faces; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FaceCounter counter;
  DL_Dxf dxf;
  if (!dxf.in(argv[1], &counter)) return 1;
  std::printf("%ld faces\n", counter.faces);
  return 0;
}
