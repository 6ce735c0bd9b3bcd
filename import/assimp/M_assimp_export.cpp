#include "import/assimp/M_assimp_export.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <unordered_map>

#include "import/M_poly.h"
#include "util/Errors.h"
#include "util/FilePath.h"
#include "util/FlatHash.h"
#include "util/Ustrlib.h"

namespace zevrin {
namespace {

struct Format {
  const char* extension;
  const char* assimp_id;
  bool quads;
  const char* filter;
  // Assimp's OBJ writer makes smooth normals for a mesh that has none, by a spatial search
  // that takes longer than the rest of an export: they are made here, from the welded
  // vertices, in a single pass.
  bool normals = false;
};

// OBJ without its material library: the one grey material says nothing a viewer needs, and a
// second file beside the first would only be lost on the way.
constexpr std::array<Format, 7> kFormats = {{
    {".obj", "objnomtl", true, "Wavefront OBJ (*.obj)", true},
    {".gltf", "gltf2", false, "glTF 2.0 (*.gltf)"},
    {".glb", "glb2", false, "glTF 2.0 binary (*.glb)"},
    {".stl", "stlb", false, "STL (*.stl)"},
    {".ply", "plyb", true, "Stanford PLY (*.ply)"},
    {".fbx", "fbxa", true, "FBX (*.fbx)"},
    {".dae", "collada", true, "Collada (*.dae)"},
}};

const Format* formatOf(std::string_view extension) {
  for (const Format& f : kFormats)
    if (SameKeyword(extension, f.extension)) return &f;
  return nullptr;
}

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
  ZevrinError e(ErrorKind::ExportFailed, reason);
  e.setFile(path);
  throw e;
}

// A file the exporter writes, kept in memory.
class MemoryStream : public Assimp::IOStream {
 public:
  explicit MemoryStream(std::string& bytes) : bytes_(bytes) {}
  size_t Read(void* buffer, size_t size, size_t count) override {
    if (size == 0 || position_ >= bytes_.size()) return 0;
    const size_t n = std::min(count, (bytes_.size() - position_) / size);
    std::memcpy(buffer, bytes_.data() + position_, n * size);
    position_ += n * size;
    return n;
  }
  size_t Write(const void* buffer, size_t size, size_t count) override {
    const size_t n = size * count;
    if (position_ + n > bytes_.size()) bytes_.resize(position_ + n);
    std::memcpy(bytes_.data() + position_, buffer, n);
    position_ += n;
    return count;
  }
  // As in a file, the position may pass the end: a write there fills the gap with zeros
  // (the binary glTF writer leaves room for its headers that way).
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    const size_t base = origin == aiOrigin_SET   ? 0
                        : origin == aiOrigin_CUR ? position_
                                                 : bytes_.size();
    position_ = base + offset;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return position_; }
  size_t FileSize() const override { return bytes_.size(); }
  void Flush() override {}

 private:
  std::string& bytes_;
  size_t position_ = 0;
};

// Files the exporter opens, caught in memory in the order it opened them, so that the caller
// writes them (each whole or not at all, with a copy of any it replaces). Nothing on disk is
// read or touched.
class CapturingIOSystem : public Assimp::IOSystem {
 public:
  // Streams refer to the bytes of their file: the list never moves them.
  explicit CapturingIOSystem(std::list<WrittenFile>& files) : files_(files) {}
  bool Exists(const char* path) const override { return find(path) != nullptr; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* path, const char* mode) override {
    WrittenFile* file = find(path);
    const bool writing = mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a'));
    if (!file) {
      if (!writing) return nullptr;
      files_.push_back({path, std::string()});
      file = &files_.back();
    } else if (mode && std::strchr(mode, 'w')) {
      file->Bytes.clear();
    }
    return new MemoryStream(file->Bytes);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

 private:
  WrittenFile* find(const char* path) const {
    for (WrittenFile& f : files_)
      if (f.Path == path) return &f;
    return nullptr;
  }
  std::list<WrittenFile>& files_;
};

// The corners of one layer's faces made into the vertices of its mesh: exactly equal
// positions (minus zero equal to zero) are one vertex.
class MeshVertices {
 public:
  std::uint32_t Index(const Vec3& v) {
    std::uint64_t key = MixBits(bits(v.x)) ^ MixBits(bits(v.y) + 0x9E3779B97F4A7C15ULL) ^
                        MixBits(bits(v.z) + 0x3C6EF372FE94F82AULL);
    if (key == FlatHash<std::uint32_t>::kNoKey) --key;
    const auto fresh = static_cast<std::uint32_t>(positions.size());
    const auto [head, added] = by_hash_.TryEmplace(key, fresh);
    if (added) {
      same_.push_back(kNone);
    } else {
      for (std::uint32_t k = *head; k != kNone; k = same_[k])
        if (positions[k].x == v.x && positions[k].y == v.y && positions[k].z == v.z) return k;
      same_.push_back(*head);
      *head = fresh;
    }
    positions.push_back(v);
    return fresh;
  }
  std::vector<Vec3> positions;

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  static std::uint64_t bits(double d) {
    if (d == 0) d = 0;  // minus zero is zero
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
  }
  std::vector<std::uint32_t> same_;
  FlatHash<std::uint32_t> by_hash_;
};

std::unique_ptr<aiScene> sceneOf(const Mpolycommon& polygons, const std::string& root_name,
                                 bool normals) {
  // The layers in the order the faces first use them.
  std::vector<const std::string*> layers;
  std::unordered_map<std::string, std::uint32_t> layer_index;
  std::vector<std::uint32_t> face_layer(polygons.Faces.size());
  std::vector<std::size_t> faces_in;
  for (std::size_t f = 0; f < polygons.Faces.size(); ++f) {
    const Mdxf_3dface& face = polygons.Faces[f];
    // Faces mostly come layer by layer: the hashing only where the layer changes.
    if (f > 0 && face.Layer == polygons.Faces[f - 1].Layer) {
      face_layer[f] = face_layer[f - 1];
    } else {
      const auto [it, added] =
          layer_index.try_emplace(face.Layer, static_cast<std::uint32_t>(layers.size()));
      if (added) {
        layers.push_back(&it->first);
        faces_in.push_back(0);
      }
      face_layer[f] = it->second;
    }
    if (face.CornerCount >= 3 && face.CornersStored()) ++faces_in[face_layer[f]];
  }

  auto scene = std::make_unique<aiScene>();
  scene->mRootNode = new aiNode(root_name);
  scene->mMaterials = new aiMaterial*[1];
  scene->mNumMaterials = 1;
  scene->mMaterials[0] = new aiMaterial();
  const aiString material_name("Zevrin");
  scene->mMaterials[0]->AddProperty(&material_name, AI_MATKEY_NAME);
  const aiColor3D grey(0.8f, 0.8f, 0.8f);
  scene->mMaterials[0]->AddProperty(&grey, 1, AI_MATKEY_COLOR_DIFFUSE);

  std::vector<aiMesh*> meshes;
  for (std::uint32_t l = 0; l < layers.size(); ++l)
    if (faces_in[l] > 0) meshes.push_back(nullptr);
  scene->mMeshes = new aiMesh*[std::max<std::size_t>(meshes.size(), 1)]();
  scene->mRootNode->mChildren = new aiNode*[std::max<std::size_t>(meshes.size(), 1)]();

  // Each layer's faces in one pass over all faces: the index of a face within its layer.
  std::vector<std::uint32_t> mesh_of_layer(layers.size(), 0xFFFFFFFFu);
  std::vector<MeshVertices> vertices;
  for (std::uint32_t l = 0; l < layers.size(); ++l) {
    if (faces_in[l] == 0) continue;
    const auto m = scene->mNumMeshes++;
    mesh_of_layer[l] = m;
    aiMesh* mesh = new aiMesh();
    scene->mMeshes[m] = mesh;
    mesh->mName = aiString(*layers[l]);
    mesh->mMaterialIndex = 0;
    mesh->mFaces = new aiFace[faces_in[l]];
    vertices.emplace_back();
    aiNode* node = new aiNode(*layers[l]);
    node->mParent = scene->mRootNode;
    node->mNumMeshes = 1;
    node->mMeshes = new unsigned[1]{m};
    scene->mRootNode->mChildren[scene->mRootNode->mNumChildren++] = node;
  }
  for (std::size_t f = 0; f < polygons.Faces.size(); ++f) {
    const Mdxf_3dface& face = polygons.Faces[f];
    if (face.CornerCount < 3 || !face.CornersStored()) continue;
    const std::uint32_t m = mesh_of_layer[face_layer[f]];
    aiMesh& mesh = *scene->mMeshes[m];
    aiFace& out = mesh.mFaces[mesh.mNumFaces++];
    out.mNumIndices = static_cast<unsigned>(face.CornerCount);
    out.mIndices = new unsigned[out.mNumIndices];
    for (unsigned c = 0; c < out.mNumIndices; ++c)
      out.mIndices[c] = vertices[m].Index(face.Corner(c));
    mesh.mPrimitiveTypes |=
        out.mNumIndices == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
  }
  for (std::uint32_t m = 0; m < scene->mNumMeshes; ++m) {
    aiMesh& mesh = *scene->mMeshes[m];
    const std::vector<Vec3>& at = vertices[m].positions;
    mesh.mNumVertices = static_cast<unsigned>(at.size());
    mesh.mVertices = new aiVector3D[at.size()];
    for (std::size_t v = 0; v < at.size(); ++v)
      mesh.mVertices[v] = aiVector3D(static_cast<ai_real>(at[v].x), static_cast<ai_real>(at[v].y),
                                     static_cast<ai_real>(at[v].z));
    if (!normals) continue;
    // The mean of the unit normals of the faces around each vertex, as Assimp would make it.
    std::vector<Vec3> sum(at.size());
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      Vec3 n;
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const Vec3& a = at[face.mIndices[k]];
        const Vec3& b = at[face.mIndices[(k + 1) % face.mNumIndices]];
        n = {n.x + (a.y - b.y) * (a.z + b.z), n.y + (a.z - b.z) * (a.x + b.x),
             n.z + (a.x - b.x) * (a.y + b.y)};
      }
      const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
      if (!(length > 0)) continue;
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        Vec3& s = sum[face.mIndices[k]];
        s = {s.x + n.x / length, s.y + n.y / length, s.z + n.z / length};
      }
    }
    mesh.mNormals = new aiVector3D[at.size()];
    for (std::size_t v = 0; v < at.size(); ++v) {
      const Vec3& s = sum[v];
      const double length = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
      const double k = length > 0 ? 1 / length : 0;
      mesh.mNormals[v] = aiVector3D(static_cast<ai_real>(s.x * k), static_cast<ai_real>(s.y * k),
                                    static_cast<ai_real>(s.z * k));
    }
  }
  return scene;
}

}  // namespace

bool AssimpPolygonWriter::Writes(std::string_view extension) const {
  return formatOf(extension) != nullptr;
}

bool AssimpPolygonWriter::HoldsQuads(std::string_view extension) const {
  const Format* f = formatOf(extension);
  return f && f->quads;
}

std::vector<std::string> AssimpPolygonWriter::Filters() const {
  std::vector<std::string> out;
  for (const Format& f : kFormats) out.emplace_back(f.filter);
  return out;
}

std::vector<WrittenFile> AssimpPolygonWriter::Write(const Mpolycommon& polygons,
                                                    const std::string& path) const {
  const Format* format = formatOf(FileExtension(path));
  if (!format) {
    ZevrinError e(ErrorKind::WrongExtension, path);
    e.setFile(path);
    throw e;
  }
  const std::unique_ptr<aiScene> scene =
      sceneOf(polygons, std::filesystem::path(path).stem().string(), format->normals);
  std::list<WrittenFile> files;
  Assimp::Exporter exporter;
  exporter.SetIOHandler(new CapturingIOSystem(files));  // the exporter owns it
  aiReturn result = aiReturn_FAILURE;
  try {
    result = exporter.Export(scene.get(), format->assimp_id, path, 0);
  } catch (const std::exception& e) {
    refuse(path, e.what());
  }
  if (result != aiReturn_SUCCESS) refuse(path, exporter.GetErrorString());
  // The file asked for first, whatever order the exporter opened its files in.
  const auto main = std::find_if(files.begin(), files.end(),
                                 [&](const WrittenFile& f) { return f.Path == path; });
  if (main == files.end()) refuse(path, "the exporter wrote no file");
  files.splice(files.begin(), files, main);
  return {std::make_move_iterator(files.begin()), std::make_move_iterator(files.end())};
}

}  // namespace zevrin
