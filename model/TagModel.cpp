#include "model/TagModel.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "mesh/AM5_cplist.h"
#include "mesh/TagMesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/AM5_segment.h"
#include "util/Errors.h"
#include "util/FlatHash.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

Vec3 readVec(std::string_view text) {
  TokenView words(TrimView(text));
  Vec3 v;
  v.x = StrToFloat(words.Next(' '));
  v.y = StrToFloat(words.Next(' '));
  v.z = StrToFloat(words.Next(' '));
  return v;
}

void widen(Vec3& min, Vec3& max, const Vec3& p, bool& any) {
  if (!any) {
    min = max = p;
    any = true;
    return;
  }
  min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
  max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

// Where the last model's "<FileInfo>" line begins, as the file's writer comes to it.
struct FileInfoOffset {
  std::uint64_t* at;
  bool* found;
};

void fileInfoSeen(void* context, const TagSection& section, const TagSection* parent,
                  std::uint64_t offset) {
  if (section.Name != "FileInfo" || !parent || parent->Name != "MODEL") return;
  auto* seen = static_cast<FileInfoOffset*>(context);
  *seen->at = offset;
  *seen->found = true;
}

// The counts of all the meshes below `root`, or none when it holds none.
std::optional<MeshCounts> countsBelow(M5amsuper& root) {
  MeshCounts all;
  bool any = false;
  WalkTree(root, [&](M5amsuper& node) {
    if (const auto* mesh = dynamic_cast<const TagMesh*>(&node)) {
      any = true;
      for (const auto& s : mesh->Splines) all.Cps += s->NumCps;
      all.Splines += static_cast<std::int32_t>(mesh->Splines.size());
      return WalkOn::Over;
    }
    return WalkOn::Into;
  });
  if (!any) return std::nullopt;
  return all;
}

}  // namespace

std::unique_ptr<M5amsuper> TagFile::CloneNode() const {
  return std::unique_ptr<M5amsuper>(new TagFile(*this));
}

void TagFile::ReadLines(LineSource& source, std::string_view header, std::int32_t header_index,
                        StepContext& step) {
  TagSection::ReadLines(source, header, header_index, step);
  std::string_view line;
  while (source.Next(line)) Trailer.emplace_back(line);
  // The counts of the whole file: a file of several models holds several meshes.
  if (auto all = countsBelow(*this)) step.Report.After = all;
}

// The counts a file of several meshes reports are those of all of them, not of the last mesh
// the edit met.
void TagFile::Halvejoin(double tolerance, StepContext& step) {
  const std::optional<MeshCounts> before = countsBelow(*this);
  TagSection::Halvejoin(tolerance, step);
  if (step.Report.After) {
    step.Report.Before = before;
    step.Report.After = countsBelow(*this);
  }
}

void TagFile::ConnectGroupedSplines(StepContext& step) {
  TagSection::ConnectGroupedSplines(step);
  if (step.Report.After) step.Report.After = countsBelow(*this);
}

bool TagFile::GetBounds(Vec3& min, Vec3& max) {
  bool any = false;
  WalkTree(static_cast<M5amsuper&>(*this), [&](M5amsuper& node) {
    if (!node.IsModel()) return WalkOn::Into;
    Vec3 lo, hi;
    node.GetBounds(lo, hi);
    widen(min, max, lo, any);
    widen(min, max, hi, any);
    return WalkOn::Over;
  });
  return any;
}

void TagFile::Write(TextWriter& out) {
  file_info_found_ = false;
  FileInfoOffset writing{&file_info_at_, &file_info_found_};
  WriteTree(out, *this, fileInfoSeen, &writing);
  for (const std::string& line : Trailer) out.Line(line);
}

void TagFile::WriteItem(TextWriter& out, const std::string& text) {
  constexpr std::string_view kKey = "FileInfoPos=";
  if (!file_info_found_ || text.find(kKey) == std::string::npos) {
    out.Line(text);
    return;
  }
  Entry block{text, nullptr, 0};
  ForEachItem(block, [&](std::string_view line, std::int32_t) {
    if (line.substr(0, kKey.size()) == kKey) {
      out.Add(kKey).AddInt(static_cast<std::int64_t>(file_info_at_)).EndLine();
    } else {
      out.Line(line);
    }
  });
}

std::unique_ptr<M5amsuper> TagGroup::CloneNode() const {
  auto copy = std::make_unique<TagGroup>();
  copy->CopyNodeFrom(*this);
  copy->Header = Header;
  copy->Close = Close;
  copy->GroupName = GroupName;
  return copy;
}

std::vector<std::string> TagGroup::Ids() const {
  std::vector<std::string> ids;
  for (const Entry& e : Entries) {
    if (!e.Child || e.Child->Name != "CPS") continue;
    for (const Entry& id : e.Child->Entries)
      ForEachItem(id,
                  [&](std::string_view text, std::int32_t) { ids.emplace_back(TrimView(text)); });
  }
  return ids;
}

void TagGroup::FinishRead(StepContext& step) {
  TagSection::FinishRead(step);
  if (const auto name = Value("Name")) GroupName = *name;
}

std::unique_ptr<M5amsuper> TagBone::CloneNode() const {
  auto copy = std::make_unique<TagBone>();
  copy->CopyNodeFrom(*this);
  copy->Header = Header;
  copy->Close = Close;
  copy->BoneName = BoneName;
  copy->Start = Start;
  copy->End = End;
  std::copy(std::begin(Color), std::end(Color), std::begin(copy->Color));
  copy->MirroredCopy = MirroredCopy;
  return copy;
}

void TagBone::FinishRead(StepContext& step) {
  TagSection::FinishRead(step);
  // Keys left out hold their defaults.
  for (const Entry& e : Entries)
    ForEachItem(e, [&](std::string_view text, std::int32_t at) {
      WithLine(at, [&] {
        if (const auto name = ValueOf(text, "Name")) {
          BoneName = *name;
        } else if (const auto start = ValueOf(text, "Start")) {
          Start = readVec(*start);
        } else if (const auto end = ValueOf(text, "End")) {
          End = readVec(*end);
        } else if (const auto color = ValueOf(text, "BoneColor")) {
          TokenView words(TrimView(*color));
          for (std::uint8_t& c : Color) {
            const std::int32_t v = StrToInt(words.Next(' '));
            c = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
          }
        }
      });
    });
}

void TagBone::Draw(Mscreen& view) {
  const auto line = [&](const TagBone& b) {
    view.SetPenColor(Rgb{b.Color[0], b.Color[1], b.Color[2]});
    view.MoveTo3D(b.Start.x, b.Start.y, b.Start.z);
    view.LineTo3D(b.End.x, b.End.y, b.End.z);
  };
  line(*this);
  WalkTree(static_cast<M5amsuper&>(*this), [&](M5amsuper& node) {
    if (const auto* bone = dynamic_cast<const TagBone*>(&node)) line(*bone);
    return WalkOn::Into;
  });
}

std::unique_ptr<M5amsuper> TagModel::CloneNode() const {
  auto copy = std::make_unique<TagModel>();
  copy->CopyNodeFrom(*this);
  copy->Header = Header;
  copy->Close = Close;
  // Pointers into this model's children, until RelinkClone turns them to the copies'.
  copy->Mesh = Mesh;
  copy->Groups = Groups;
  copy->ListLinesLeftOut = ListLinesLeftOut;
  return copy;
}

void TagModel::RelinkClone(const CloneMap& copies) {
  if (Mesh) Mesh = static_cast<TagMesh*>(copies.at(Mesh));
  for (TagGroup*& g : Groups) g = static_cast<TagGroup*>(copies.at(g));
}

void TagModel::FinishRead(StepContext& step) {
  Refresh();
  TagSection::FinishRead(step);
}

void TagModel::Refresh() {
  Mesh = nullptr;
  Groups.clear();
  for (const Entry& e : Entries) {
    if (!e.Child) continue;
    if (auto* mesh = dynamic_cast<TagMesh*>(e.Child.get())) Mesh = mesh;
    if (e.Child->Name == "GROUPS")
      for (const Entry& g : e.Child->Entries)
        if (auto* group = dynamic_cast<TagGroup*>(g.Child.get())) Groups.push_back(group);
  }
  bool any = false;
  Vec3 min, max;
  if (Mesh) {
    for (const auto& s : Mesh->Splines)
      if (s->FirstCp) {
        widen(min, max, Mesh->BoundsMin, any);
        widen(min, max, Mesh->BoundsMax, any);
        break;
      }
  }
  for (const Entry& e : Entries) {
    if (!e.Child || e.Child->Name != "BONES") continue;
    WalkTree(*e.Child, [&](const M5amsuper& node) {
      if (const auto* bone = dynamic_cast<const TagBone*>(&node)) {
        widen(min, max, bone->Start, any);
        widen(min, max, bone->End, any);
      }
      return WalkOn::Into;
    });
  }
  BoundsMin = min;
  BoundsMax = max;
}

bool TagModel::GetBounds(Vec3& min, Vec3& max) {
  min = BoundsMin;
  max = BoundsMax;
  return true;
}

std::unique_ptr<M5amsuper> MakeTagNode(std::string_view parent, std::string_view name) {
  if (name == "MODEL" && parent == "OBJECTS") return std::make_unique<TagModel>();
  if (name == "MESH" && parent == "MODEL") return std::make_unique<TagMesh>();
  if (name == "GROUP" && parent == "GROUPS") return std::make_unique<TagGroup>();
  if (name == "SEGMENT" && (parent == "BONES" || parent == "SEGMENT" || parent == "NULLOBJECT"))
    return std::make_unique<TagBone>();
  return nullptr;
}

bool IsTagDocument(const M5amsuper& root) { return dynamic_cast<const TagFile*>(&root) != nullptr; }

// ---------------------------------------------------------------------------------------------
// Any model as a tag file.

namespace {

std::unique_ptr<TagSection> section(std::string_view name) {
  auto s = std::make_unique<TagSection>();
  s->Name = std::string(name);
  s->Header = "<" + s->Name + ">";
  s->Close = "</" + s->Name + ">";
  return s;
}

std::string vecText(const Vec3& v) {
  return TagFloatToStr(v.x) + ' ' + TagFloatToStr(v.y) + ' ' + TagFloatToStr(v.z);
}

Vec3 sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(const Vec3& a) { return std::sqrt(dot(a, a)); }
Vec3 scaled(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// The rotation that turns +Z onto the bone's axis and +Y towards the roll handle, as a
// quaternion x y z w.
std::array<double, 4> boneRotation(const Vec3& start, const Vec3& end, const Vec3& roll) {
  const Vec3 axis = sub(end, start);
  const double len = length(axis);
  if (!(len > 0) || !std::isfinite(len)) return {0, 0, 0, 1};
  const Vec3 z = scaled(axis, 1 / len);
  Vec3 y = sub(roll, start);
  y = sub(y, scaled(z, dot(y, z)));
  double ylen = length(y);
  if (!(ylen > 1e-12 * len) || !std::isfinite(ylen)) {
    // No usable roll: the shortest turn from +Z.
    const Vec3 any = std::fabs(z.y) < 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
    y = sub(any, scaled(z, dot(any, z)));
    ylen = length(y);
  }
  y = scaled(y, 1 / ylen);
  const Vec3 x = cross(y, z);
  // Columns x, y, z of the rotation matrix.
  const double m00 = x.x, m01 = y.x, m02 = z.x;
  const double m10 = x.y, m11 = y.y, m12 = z.y;
  const double m20 = x.z, m21 = y.z, m22 = z.z;
  const double trace = m00 + m11 + m22;
  std::array<double, 4> q;
  if (trace > 0) {
    const double s = std::sqrt(trace + 1) * 2;
    q = {(m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s, s / 4};
  } else if (m00 > m11 && m00 > m22) {
    const double s = std::sqrt(1 + m00 - m11 - m22) * 2;
    q = {s / 4, (m01 + m10) / s, (m02 + m20) / s, (m21 - m12) / s};
  } else if (m11 > m22) {
    const double s = std::sqrt(1 + m11 - m00 - m22) * 2;
    q = {(m01 + m10) / s, s / 4, (m12 + m21) / s, (m02 - m20) / s};
  } else {
    const double s = std::sqrt(1 + m22 - m00 - m11) * 2;
    q = {(m02 + m20) / s, (m12 + m21) / s, s / 4, (m10 - m01) / s};
  }
  return q;
}

std::unique_ptr<TagSection> boneSection(const M5segment& b) {
  auto s = section("SEGMENT");
  s->AddLine("Name=" + b.BoneName);
  s->AddLine("BoneColor=" + std::to_string(b.BoneColor & 0xFFu) + ' ' +
             std::to_string((b.BoneColor >> 8) & 0xFFu) + ' ' +
             std::to_string((b.BoneColor >> 16) & 0xFFu) + " 255");
  s->AddLine("Start=" + vecText(b.Pivot));
  s->AddLine("End=" + vecText(b.End));
  const auto q = boneRotation(b.Pivot, b.End, b.RollHandle);
  s->AddLine("Rotate=" + TagFloatToStr(q[0]) + ' ' + TagFloatToStr(q[1]) + ' ' +
             TagFloatToStr(q[2]) + ' ' + TagFloatToStr(q[3]));
  s->AddLine("Length=" + TagFloatToStr(length(sub(b.End, b.Pivot))));
  return s;
}

// The bones below `model`, nested as they are, outside what Halvejoin left out.
std::unique_ptr<TagSection> bonesOf(const M5amsuper& model) {
  auto bones = section("BONES");
  struct Open {
    const M5amsuper* node;
    TagSection* into;
    std::size_t next;
  };
  std::vector<Open> open{{&model, bones.get(), 0}};
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.node->Entries.size()) {
      open.pop_back();
      continue;
    }
    const M5amsuper* child = top.node->Entries[top.next++].Child.get();
    if (!child || child->IsSuppressed() || dynamic_cast<const M5mesh*>(child)) continue;
    TagSection* into = top.into;
    if (const auto* bone = dynamic_cast<const M5segment*>(child)) {
      auto s = boneSection(*bone);
      TagSection* raw = s.get();
      top.into->AddChild(std::move(s));
      into = raw;
    } else if (child->IsModel()) {
      continue;  // a model inside a model has bones of its own
    }
    open.push_back({child, into, 0});
  }
  return bones->Entries.empty() ? nullptr : std::move(bones);
}

// The tag form of one model: its mesh's points renumbered where their ids are not unique,
// attachments to the points their targets resolved to.
std::unique_ptr<TagModel> modelOf(const M5amsuper& model, const M5mesh* mesh, Progress& bars) {
  auto out = std::make_unique<TagModel>();
  out->Name = "MODEL";
  out->Header = "<MODEL>";
  out->Close = "</MODEL>";
  auto tag_mesh = std::make_unique<TagMesh>();
  std::vector<const M5cp*> points;
  if (mesh)
    for (const auto& s : mesh->Splines)
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) points.push_back(p);
  // Ids stay when each names one point; otherwise every point is numbered anew, 1 up.
  bool unique = true;
  {
    FlatHash<char> seen(points.size());
    for (const M5cp* p : points)
      if (!seen.TryEmplace(IdKey(p->Id), 0).second) unique = false;
  }
  FlatHash<std::int32_t> new_id(points.size());  // by point address
  for (std::size_t k = 0; k < points.size(); ++k)
    new_id.TryEmplace(PointerKey(points[k]),
                      unique ? points[k]->Id : static_cast<std::int32_t>(k + 1));
  // What a group's id line names: the first point with that id, as every lookup by id.
  FlatHash<std::int32_t> by_old_id(points.size());
  for (const M5cp* p : points) by_old_id.TryEmplace(IdKey(p->Id), *new_id.Find(PointerKey(p)));

  if (mesh) {
    for (const auto& s : mesh->Splines) {
      auto spline = std::make_unique<M5spline>();
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
        auto c = std::make_unique<M5cp>();
        c->TagRecord = true;
        c->Flags = p->Flags & ~M5cp::kHookBits;
        c->Id = *new_id.Find(PointerKey(p));
        c->InBiasDefault = p->InBiasDefault;
        c->InBias = p->InBias;
        c->OutBiasDefault = p->OutBiasDefault;
        c->OutBias = p->OutBias;
        const Vec3 at = p->Pos(p->PositionParam());
        const M5cp* target = p->IsAttached() ? p->Target : nullptr;
        // An attachment stays where the point lies exactly on its target; a point that slides
        // along a segment, or whose target is gone, keeps its place with coordinates.
        if (target && !p->HasHookBits()) {
          const Vec3 t = target->Pos(target->PositionParam());
          if (!(t.x == at.x && t.y == at.y && t.z == at.z)) target = nullptr;
        } else {
          target = nullptr;
        }
        if (target) {
          c->Attached = 1;
          c->TargetId = *new_id.Find(PointerKey(target));
          c->HookParam = p->HookParam;
        } else {
          c->Flags &= ~M5cp::kHookParamBits;
          c->X = at.x;
          c->Y = at.y;
          c->Z = at.z;
        }
        spline->AppendCp(std::move(c));
      }
      tag_mesh->Splines.push_back(std::move(spline));
    }
  }

  // The patches, each corner the first point at its vertex.
  if (mesh) {
    const MeshPatches found = FindPatches(*mesh, bars);
    std::vector<std::int32_t> id_of_vertex(found.Vertices.size(), 0);
    std::vector<char> has(found.Vertices.size(), 0);
    for (std::size_t k = 0; k < points.size() && k < found.VertexOfPoint.size(); ++k) {
      const std::uint32_t v = found.VertexOfPoint[k];
      if (v == MeshPatches::kNoVertex || has[v]) continue;
      has[v] = 1;
      id_of_vertex[v] = *new_id.Find(PointerKey(points[k]));
    }
    std::vector<TagMesh::Patch> patches;
    std::vector<Vec3> normals;
    for (std::size_t i = 0; i < found.Count(); ++i) {
      const auto c = found.Patch(i);
      TagMesh::Patch patch;
      patch.Count = 4;
      for (std::size_t k = 0; k < 4; ++k) {
        // A triangle repeats its first corner.
        patch.Corners[k] = id_of_vertex[c[k < c.size() ? k : 0]];
        patch.Normals[k] = static_cast<std::int32_t>(normals.size());
      }
      Vec3 n{};
      for (std::size_t k = 0; k < c.size(); ++k) {
        const Vec3& a = found.Vertices[c[k]];
        const Vec3& b = found.Vertices[c[(k + 1) % c.size()]];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
      }
      const double len = length(n);
      normals.push_back(len > 0 && std::isfinite(len) ? scaled(n, 1 / len) : Vec3{0, 0, 1});
      patches.push_back(patch);
    }
    tag_mesh->SetPatchList(std::move(patches), std::move(normals));
  } else {
    tag_mesh->SetPatchList({}, {});
  }
  M5cplist list(tag_mesh->Splines);
  StepContext resolving;
  list.ResolveAttachments(resolving);
  list.ComputeBounds(bars);
  tag_mesh->BoundsMin = {list.MinX, list.MinY, list.MinZ};
  tag_mesh->BoundsMax = {list.MaxX, list.MaxY, list.MaxZ};
  out->AddChild(std::move(tag_mesh));

  if (auto bones = bonesOf(model)) out->AddChild(std::move(bones));

  // The groups of the model, in entry order (those an import appended too).
  auto groups = section("GROUPS");
  for (const Entry& e : model.Entries) {
    const auto* g = dynamic_cast<const M5group*>(e.Child.get());
    if (!g || g->Suppressed) continue;
    auto group = std::make_unique<TagGroup>();
    group->Name = "GROUP";
    group->Header = "<GROUP>";
    group->Close = "</GROUP>";
    group->GroupName = g->GroupName;
    group->AddLine("Name=" + g->GroupName);
    auto cps = section("CPS");
    for (const std::string& line : g->GroupIds) {
      std::int32_t id = 0;
      try {
        id = StrToInt(line);
      } catch (const ZevrinError&) {
        continue;  // names no point
      }
      const std::int32_t* to = by_old_id.Find(IdKey(id));
      if (!to) continue;
      cps->AddLine(std::to_string(*to));
    }
    group->AddChild(std::move(cps));
    groups->AddChild(std::move(group));
  }
  if (!groups->Entries.empty()) out->AddChild(std::move(groups));
  out->AddChild(section("FileInfo"));
  return out;
}

}  // namespace

std::unique_ptr<TagFile> TagFileFrom(const M5amsuper& root, Progress& bars) {
  auto file = std::make_unique<TagFile>();
  file->Header = "<MODELFILE>";
  file->Close = "</MODELFILE>";
  file->AddLine("ProductVersion=17");
  file->AddLine("Release= PC");
  for (const char* name : {"POSTEFFECTS", "IMAGES", "SOUNDS", "MATERIALS"})
    file->AddChild(section(name));
  auto objects = section("OBJECTS");
  // Every model in file order, each with its last mesh (as the model reads it).
  std::vector<const M5amsuper*> models;
  if (root.IsModel()) models.push_back(&root);
  WalkTree(root, [&](const M5amsuper& node) {
    if (node.IsSuppressed()) return WalkOn::Over;
    if (node.IsModel()) models.push_back(&node);
    return WalkOn::Into;
  });
  for (const M5amsuper* model : models) {
    const M5mesh* mesh = nullptr;
    if (const auto* m = dynamic_cast<const M5model*>(model)) {
      mesh = m->Mesh;
    } else if (const auto* t = dynamic_cast<const TagModel*>(model)) {
      mesh = t->Mesh;
    }
    auto tag_model = modelOf(*model, mesh, bars);
    TagModel* raw = tag_model.get();
    objects->AddChild(std::move(tag_model));
    raw->Refresh();
  }
  file->AddChild(std::move(objects));
  file->AddChild(section("ACTIONS"));
  file->AddChild(section("CHOREOGRAPHIES"));
  file->AddLine("FileInfoPos=0");
  return file;
}

}  // namespace zevrin
