// Peer for scripts/bench_peers.sh only: Assimp's ReadFile of a DXF, no post-processing.
// Built by the script against Debian's libassimp-dev; never part of Zevrin.
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(argv[1], 0);
  if (!scene) {
    std::fprintf(stderr, "%s\n", importer.GetErrorString());
    return 1;
  }
  std::size_t faces = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) faces += scene->mMeshes[m]->mNumFaces;
  std::printf("%zu faces\n", faces);
  return 0;
}
