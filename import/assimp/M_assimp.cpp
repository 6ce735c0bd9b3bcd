#include "import/assimp/M_assimp.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <charconv>
#include <filesystem>
#include <limits>
#include <type_traits>

#include "util/Errors.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
  ZevrinError e(ErrorKind::ImportFailed, reason);
  e.setFile(path);
  throw e;
}

// Assimp holds coordinates in single precision. The shortest decimal form of the float is
// what the file most likely said ("0.1", not 0.100000001490116), so the same faces read from
// DXF, in double precision, give the same positions.
double widen(ai_real value) {
  if constexpr (std::is_same_v<ai_real, float>) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double out = value;
    std::from_chars(text, written.ptr, out);
    return out;
  } else {
    return value;
  }
}

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

AssimpPolygonReader::AssimpPolygonReader() {
  std::string list;  // "*.3ds;*.obj;..."
  Assimp::Importer().GetExtensionList(list);
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(';', begin);
    if (end == std::string::npos) end = list.size();
    std::string_view item = std::string_view(list).substr(begin, end - begin);
    if (item.starts_with("*")) item.remove_prefix(1);
    const std::string ext = FoldedLower(item);
    if (ext.size() > 1 && ext != ".mdl" && ext != ".seg" && ext != ".dxf" && ext != ".rok")
      extensions_.push_back(ext);
    begin = end + 1;
  }
}

bool AssimpPolygonReader::Reads(std::string_view extension) const {
  const std::string ext = FoldedLower(extension);
  return std::find(extensions_.begin(), extensions_.end(), ext) != extensions_.end();
}

std::string AssimpPolygonReader::Patterns() const {
  std::string out;
  for (const std::string& ext : extensions_) out += (out.empty() ? "*" : " *") + ext;
  return out;
}

std::unique_ptr<Mpolycommon> AssimpPolygonReader::Read(const std::string& path,
                                                       StepContext& /*step*/) const {
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

  auto polygons = std::make_unique<Massimp>();
  const std::string stem = std::filesystem::path(path).stem().string();
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
      for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& source = mesh.mFaces[f];
        if (source.mNumIndices < 2) continue;
        Mdxf_3dface face;
        face.Layer = layer;
        face.CornerCount = static_cast<std::int32_t>(
            std::min<unsigned>(source.mNumIndices, std::numeric_limits<std::int32_t>::max()));
        if (source.mNumIndices > 4) face.MoreCorners.resize(source.mNumIndices - 4);
        for (unsigned c = 0; c < source.mNumIndices; ++c) {
          const unsigned index = source.mIndices[c];
          if (index >= mesh.mNumVertices || !mesh.mVertices)
            refuse(path, "a face names a vertex its mesh does not have");
          const aiVector3D at =
              identity ? mesh.mVertices[index] : here.transform * mesh.mVertices[index];
          const Vec3 corner{widen(at.x), widen(at.y), widen(at.z)};
          if (c < 4)
            face.Corners[c] = corner;
          else
            face.MoreCorners[c - 4] = corner;
        }
        // The slots past the corners repeat the last one, as the DXF reader leaves them.
        for (unsigned c = source.mNumIndices; c < 4; ++c) face.Corners[c] = face.Corners[c - 1];
        polygons->Faces.push_back(std::move(face));
      }
    }
    for (unsigned k = node.mNumChildren; k-- > 0;) {
      const aiNode* child = node.mChildren[k];
      if (child) pending.push_back({child, here.transform * child->mTransformation});
    }
  }
  polygons->CollectLayers();
  return polygons;
}

}  // namespace zevrin
