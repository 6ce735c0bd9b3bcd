#include "import/assimp/AssimpScene.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <type_traits>
#include <vector>

#include "util/DoubleChars.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
  ZevrinError e(ErrorKind::ImportFailed, reason);
  e.setFile(path);
  throw e;
}

// The vertices go to the sink as Assimp holds them.
static_assert(std::is_same_v<ai_real, float>,
              "an Assimp of double precision needs a FloatVertex of doubles");

struct Placement {
  const aiNode* node;
  aiMatrix4x4 transform;  // node to world
};

}  // namespace

// Some of Assimp's importers leave memory behind when they give up on a malformed file (the
// STL reader does). That is the library's, not Zevrin's: the leak checker of a sanitized build
// is told to let it pass, so that a refused file still ends in its message alone.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() { return "leak:libassimp.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

double WidenCoordinate(float value) {
#if defined(__EMSCRIPTEN__)
  return WidenCoordinateByPrintf(value);
#else
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  double out = value;
  std::from_chars(text, written.ptr, out);
  return out;
#endif
}

double WidenCoordinateByPrintf(float value) {
  if (!std::isfinite(value) || value == 0) return value;
  const float magnitude = std::fabs(value);
  // The shortest digits D (k of them) and exponent e with D x 10^(e-k+1) reading back as the
  // float; of two such, the nearer (printf's correctly rounded digits are the nearer ones).
  std::uint64_t digits = 0;
  int k = 0;
  int e = 0;
  const auto readsBack = [&](std::uint64_t d, int exponent) {
    char text[48];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(d), exponent);
    return std::strtof(text, nullptr) == magnitude;
  };
  for (int p = 1; p <= 9 && k == 0; ++p) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*e", p - 1, static_cast<double>(magnitude));
    // "d.ddde+XX": the p digits and the exponent.
    std::uint64_t d = 0;
    const char* c = text;
    for (; *c != 'e'; ++c)
      if (*c != '.') d = d * 10 + static_cast<std::uint64_t>(*c - '0');
    const int exponent = std::atoi(c + 1);
    if (readsBack(d, exponent - p + 1)) {
      digits = d;
      e = exponent;
      k = p;
      break;
    }
    // The other p-digit neighbour of the value, on its far side from these digits.
    const bool above = std::strtod(text, nullptr) > static_cast<double>(magnitude);
    std::uint64_t other = above ? d - 1 : d + 1;
    int other_exponent = exponent;
    std::uint64_t low = 1;
    for (int i = 1; i < p; ++i) low *= 10;
    if (other < low) {
      other = low * 10 - 1;
      --other_exponent;
    } else if (other >= low * 10) {
      other = low;
      ++other_exponent;
    }
    if (readsBack(other, other_exponent - p + 1)) {
      digits = other;
      e = other_exponent;
      k = p;
    }
  }
  if (k == 0) return value;  // a float always has nine digits that read back
  // std::to_chars takes the fixed form when it is no longer than the scientific one; a whole
  // number in fixed form has as many characters whatever its digits, so the nearest of them,
  // the float's own value, is written.
  const int scientific = k + (k > 1 ? 1 : 0) + (e >= 100 || e <= -100 ? 5 : 4);
  const int fixed = e >= k - 1 ? e + 1 : (e >= 0 ? k + 1 : 1 + -e + k);
  if (fixed <= scientific && e >= k - 1) return std::nearbyint(static_cast<double>(value));
  char text[48];
  std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(digits), e - k + 1);
  double out = 0;
  ReadDouble(text, text + std::strlen(text), out);
  return value < 0 ? -out : out;
}

void ReadAssimpScene(const std::string& path, MeshSink& sink) {
  Assimp::Importer importer;
  // Lines stay lines and points are dropped below; keeping what the file has is the point.
  const aiScene* scene = nullptr;
  try {
    scene = importer.ReadFile(path, 0);
  } catch (const std::exception& e) {
    refuse(path, e.what());
  }
  if (!scene) refuse(path, importer.GetErrorString());
  if (!scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE))
    refuse(path, "the file holds no complete scene");

  const std::string stem = std::filesystem::path(path).stem().string();
  std::vector<FloatVertex> placed;  // the vertices of the mesh at hand, moved by the node
  // Nodes in depth-first order, parents before children, as the file lists them.
  std::vector<Placement> pending{{scene->mRootNode, scene->mRootNode->mTransformation}};
  while (!pending.empty()) {
    const Placement here = pending.back();
    pending.pop_back();
    const aiNode& node = *here.node;
    const bool identity = here.transform.IsIdentity();
    for (unsigned k = 0; k < node.mNumMeshes; ++k) {
      if (node.mMeshes[k] >= scene->mNumMeshes) refuse(path, "a node names a missing mesh");
      const aiMesh& mesh = *scene->mMeshes[node.mMeshes[k]];
      std::string layer = mesh.mName.C_Str();
      if (layer.empty()) layer = node.mName.C_Str();
      if (layer.empty()) layer = stem;
      // Each vertex is moved once, however many faces share it; the faces then take the very
      // same numbers.
      const unsigned vertex_count = mesh.mVertices ? mesh.mNumVertices : 0;
      placed.resize(vertex_count);
      for (unsigned v = 0; v < vertex_count; ++v) {
        const aiVector3D at = identity ? mesh.mVertices[v] : here.transform * mesh.mVertices[v];
        placed[v] = FloatVertex{at.x, at.y, at.z};
      }
      sink.Mesh(layer, placed.data(), vertex_count, mesh.mFaces ? mesh.mNumFaces : 0);
      for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& source = mesh.mFaces[f];
        if (source.mNumIndices < 2) continue;
        for (unsigned c = 0; c < source.mNumIndices; ++c)
          if (source.mIndices[c] >= vertex_count)
            refuse(path, "a face names a vertex its mesh does not have");
        static_assert(sizeof(unsigned) == sizeof(std::uint32_t));
        sink.Face(reinterpret_cast<const std::uint32_t*>(source.mIndices), source.mNumIndices);
      }
    }
    for (unsigned k = node.mNumChildren; k-- > 0;) {
      const aiNode* child = node.mChildren[k];
      if (child) pending.push_back({child, here.transform * child->mTransformation});
    }
  }
}

void FaceBuilder::Reserve(std::size_t faces) {
  std::vector<Mdxf_3dface>& all = polygons_->Faces;
  if (faces > all.max_size() - all.size()) return;
  const std::size_t needed = all.size() + faces;
  if (needed > all.capacity()) all.reserve(std::max(needed, all.capacity() + all.capacity() / 2));
}

void FaceBuilder::Mesh(std::string_view layer, const FloatVertex* vertices, std::uint32_t count,
                       std::uint32_t faces) {
  Reserve(faces);
  layer_.assign(layer);
  vertices_.resize(count);
  for (std::uint32_t v = 0; v < count; ++v)
    vertices_[v] = Vec3{WidenCoordinate(vertices[v].x), WidenCoordinate(vertices[v].y),
                        WidenCoordinate(vertices[v].z)};
}

void FaceBuilder::Face(const std::uint32_t* indices, std::uint32_t count) {
  Mdxf_3dface face;
  face.Layer = layer_;
  face.CornerCount = static_cast<std::int32_t>(
      std::min<std::uint32_t>(count, std::numeric_limits<std::int32_t>::max()));
  if (count > 4) face.MoreCorners.resize(count - 4);
  for (std::uint32_t c = 0; c < count; ++c) {
    const Vec3& corner = vertices_[indices[c]];
    if (c < 4)
      face.Corners[c] = corner;
    else
      face.MoreCorners[c - 4] = corner;
  }
  // The slots past the corners repeat the last one, as the DXF reader leaves them.
  for (std::uint32_t c = count; c < 4; ++c) face.Corners[c] = face.Corners[c - 1];
  polygons_->Faces.push_back(std::move(face));
}

std::unique_ptr<Massimp> FaceBuilder::Finish() {
  polygons_->CollectLayers();
  auto out = std::move(polygons_);
  polygons_ = std::make_unique<Massimp>();
  return out;
}

}  // namespace zevrin
