// Tag files, the format of the modeller's later versions: the shipped files open and save back
// byte for byte, export exactly their own patch lists, hostile files end in named errors, and
// any model saved as a tag file opens again with the same points, splines, groups, bones and
// patches.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "app/session/Document.h"
#include "mesh/TagMesh.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/AM5_segment.h"
#include "model/PatchPolygons.h"
#include "model/TagModel.h"
#include "tests/TagTestUtil.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using test::bufferOf;
using test::readBytes;
using test::saved;
using test::ScratchDir;
using test::tagFiles;
using test::writeBytes;

const std::string kTagDir = std::string(ZEVRIN_TEST_DATA) + "/tag";

// Opens `bytes` as a file named `name` in `session`.
void openBytes(DocumentSession& session, const std::string& name, const std::string& bytes) {
  ASSERT_EQ(session.LoadDocumentBytes(name, bufferOf(bytes)).Outcome, LoadOutcome::Loaded);
}

// The error that opening `bytes` raises; fails the test when none does.
ZevrinError openError(const std::string& bytes) {
  DocumentSession session;
  try {
    session.LoadDocumentBytes("hostile.mdl", bufferOf(bytes));
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.file(), "hostile.mdl");
    EXPECT_EQ(session.Document, nullptr);
    return e;
  }
  ADD_FAILURE() << "no error";
  return ZevrinError(ErrorKind::RangeCheck, "");
}

std::string withLf(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

std::string text(const Vec3& v) {
  std::ostringstream s;
  s.precision(6);
  s << v.x << ' ' << v.y << ' ' << v.z;
  return s.str();
}

TEST(TagFiles, EveryShippedFileSavesBackByteForByte) {
  const auto files = tagFiles();
  ASSERT_EQ(files.size(), 17u);
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const std::string bytes = readBytes(path);
    DocumentSession session;
    openBytes(session, fs::path(path).filename().string(), bytes);
    EXPECT_TRUE(session.IsTagFile());
    EXPECT_EQ(session.Format, SaveFormat::Tag);
    EXPECT_EQ(saved(session), bytes);
    // LF-only copies read the same and save as the modeller writes (offsets of CR LF lines).
    DocumentSession lf;
    openBytes(lf, "lf.mdl", withLf(bytes));
    EXPECT_EQ(saved(lf), bytes);
    // An undo's copy writes the same too.
    const auto copy = session.Document->Clone();
    std::string from_copy;
    const ByteSink sink = [&](const char* d, std::size_t n) {
      from_copy.append(d, n);
      return true;
    };
    TextWriter out(sink);  // the writer keeps the sink, which must outlive it
    copy->Write(out);
    out.Finish();
    EXPECT_EQ(from_copy, bytes);
  }
}

TEST(TagFiles, OpenFromDiskWhateverTheNameAndSaveKeepsTheBackup) {
  ScratchDir dir;
  const std::string bytes = readBytes(kTagDir + "/Groundplane.mdl");
  const std::string odd = dir / "ground.seg";
  writeBytes(odd, bytes);
  DocumentSession session;
  session.CurrentFile = odd;
  ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  EXPECT_EQ(session.Shared.Counts, (MeshCounts{72, 12}));
  session.SaveDocument(odd);
  EXPECT_EQ(readBytes(odd), bytes);
  EXPECT_EQ(readBytes(odd + ".bak"), bytes);
  // No known extension at all: the first line decides.
  const std::string bare = dir / "ground.model";
  writeBytes(bare, bytes);
  session.CurrentFile = bare;
  EXPECT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
}

TEST(TagFiles, FileInfoPosIsRecomputedAndAChangedNumberIsWrittenAsTheFilesWriteThem) {
  const std::string bytes = readBytes(kTagDir + "/Groundplane.mdl");
  DocumentSession session;
  openBytes(session, "g.mdl", bytes);
  // A longer first item moves every later line.
  auto& first = session.Document->Entries.front();
  ASSERT_EQ(first.Text, "ProductVersion=18\r\nRelease= PC");
  first.Text = "ProductVersion=18.5\r\nRelease= PC";
  // A point moved by an edit gets its line anew; its neighbours keep theirs.
  auto* objects = dynamic_cast<TagSection*>(session.Document.get())->ChildNamed("OBJECTS");
  ASSERT_NE(objects, nullptr);
  auto* model = dynamic_cast<TagModel*>(objects->Entries[0].Child.get());
  ASSERT_NE(model, nullptr);
  M5cp* p = model->Mesh->Splines[6]->FirstCp.get();
  ASSERT_EQ(p->Id, 37);
  p->X = 0.000294593;
  p->Y = -1e20;
  const std::string out = saved(session);
  EXPECT_NE(
      out.find(
          "\r\n262145 0 37 0.000294593 -1e+020 -2500 . .\r\n262145 0 38 -1500 0 -2500 . .\r\n"),
      std::string::npos);
  const std::size_t key = out.find("FileInfoPos=");
  ASSERT_NE(key, std::string::npos);
  const std::size_t at = std::stoul(out.substr(key + 12));
  EXPECT_EQ(out.substr(at, 12), "<FileInfo>\r\n");
  EXPECT_NE(at, std::stoul(bytes.substr(bytes.find("FileInfoPos=") + 12)));
}

TEST(TagFiles, TheFilesOfSeveralModelsCountAndFitAllOfThem) {
  DocumentSession session;
  openBytes(session, "k.mdl", readBytes(kTagDir + "/KeeKat2.mdl"));
  EXPECT_EQ(session.Shared.Counts, (MeshCounts{6229, 523}));
  std::vector<const TagModel*> models;
  WalkTree(*session.Document, [&](const M5amsuper& n) {
    if (const auto* m = dynamic_cast<const TagModel*>(&n)) models.push_back(m);
    return WalkOn::Into;
  });
  ASSERT_EQ(models.size(), 2u);
  for (const TagModel* m : models)
    for (int axis = 0; axis < 6; ++axis) {
      const double box = session.Document->GetBound(static_cast<std::uint32_t>(axis));
      const double own = const_cast<TagModel*>(m)->GetBound(static_cast<std::uint32_t>(axis));
      EXPECT_TRUE(axis < 3 ? box <= own : box >= own);
    }
}

// The patch list of a tag file read the plain way: every MESH's points by id, each attached
// point at the end of its chain of targets, each PATCHES line as its corners' positions with a
// repeated corner once. Keyed by the order of the meshes and the lines.
std::vector<std::vector<Vec3>> literalPatches(const std::string& bytes) {
  std::vector<std::vector<Vec3>> out;
  std::istringstream in(bytes);
  std::string line;
  std::map<long, std::pair<long, Vec3>> points;  // id -> (target or 0, own position)
  std::vector<std::vector<long>> listed;
  std::string where;
  const auto flush = [&] {
    for (const auto& ids : listed) {
      std::vector<Vec3> corners;
      for (long id : ids) {
        long at = id;
        while (points.at(at).first != 0) at = points.at(at).first;
        const Vec3 v = points.at(at).second;
        if (corners.empty() || corners.back().x != v.x || corners.back().y != v.y ||
            corners.back().z != v.z)
          corners.push_back(v);
      }
      while (corners.size() > 1 && corners.back().x == corners.front().x &&
             corners.back().y == corners.front().y && corners.back().z == corners.front().z)
        corners.pop_back();
      if (corners.size() >= 3) out.push_back(corners);
    }
    points.clear();
    listed.clear();
  };
  bool in_mesh = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "<MESH>") in_mesh = true;
    if (line == "</MESH>") {
      in_mesh = false;
      flush();
    }
    if (!in_mesh || line.empty()) continue;
    if (line.front() == '<') {
      where = line;
      continue;
    }
    std::istringstream words(line);
    if (where == "<SPLINE>") {
      unsigned long flags;
      long attached, id;
      words >> flags >> attached >> id;
      double t;
      if (flags & 0x1010) words >> t;
      if (attached) {
        long target;
        words >> target;
        points[id] = {target, {}};
      } else {
        Vec3 v;
        words >> v.x >> v.y >> v.z;
        points[id] = {0, v};
      }
    } else if (where == "<PATCHES>") {
      unsigned long flags;
      words >> flags;
      std::vector<long> ids((flags & 1) ? 5 : 4);
      for (long& id : ids) words >> id;
      listed.push_back(ids);
    }
  }
  return out;
}

TEST(TagFiles, ExportIsExactlyTheFilesOwnPatchListInItsOrderAndTurning) {
  std::size_t total = 0;
  for (const std::string& path : tagFiles()) {
    SCOPED_TRACE(path);
    const std::string bytes = readBytes(path);
    DocumentSession session;
    openBytes(session, "f.mdl", bytes);
    test::Step step;
    const auto faces = PatchPolygons(*session.Document, {"rest", false}, step);
    // Without groups the faces come in the list's order; with groups, layer by layer.
    auto expected = literalPatches(bytes);
    std::vector<std::vector<Vec3>> got;
    for (const Mdxf_3dface& f : faces->Faces) {
      std::vector<Vec3> c;
      for (std::int32_t k = 0; k < f.CornerCount; ++k) c.push_back(f.Corner(k));
      got.push_back(c);
    }
    const auto key = [](const std::vector<Vec3>& c) {
      std::ostringstream s;
      s.precision(17);
      for (const Vec3& v : c) s << v.x << ',' << v.y << ',' << v.z << ';';
      return s.str();
    };
    std::vector<std::string> a, b;
    for (const auto& c : expected) a.push_back(key(c));
    for (const auto& c : got) b.push_back(key(c));
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    total += b.size();
  }
  EXPECT_GT(total, 4000u);
}

TEST(TagFiles, EveryShippedFileCutAtAnyLineIsANamedErrorAtAnOpenSection) {
  for (const std::string& path : tagFiles()) {
    SCOPED_TRACE(path);
    const std::string bytes = readBytes(path);
    std::vector<std::size_t> ends;  // the end of each line
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (bytes[i] == '\n') ends.push_back(i + 1);
    // Each cut costs a read of the lines before it, so the whole costs the square of a file's
    // lines: files of up to a thousand lines are cut at every line, larger ones at every third,
    // those of several thousands at every 23rd and KeeKat2.mdl (47,000 lines) at every 211th.
    const std::size_t stride = ends.size() > 20000  ? 211
                               : ends.size() > 4000 ? 23
                               : ends.size() > 1000 ? 3
                                                    : 1;
    for (std::size_t k = 0; k + 1 < ends.size(); k += stride) {
      const ZevrinError e = openError(bytes.substr(0, ends[k]));
      ASSERT_EQ(e.kind(), ErrorKind::TagNotClosed) << k;
      ASSERT_GE(e.line(), 1);
      ASSERT_LE(static_cast<std::size_t>(e.line()), k + 1);
    }
  }
}

// A small tag file around one mesh's lines.
std::string tagFile(const std::string& mesh_lines, const std::string& after = "") {
  return "<MODELFILE>\r\nProductVersion=17\r\n<OBJECTS>\r\n<MODEL>\r\n<MESH>\r\n" + mesh_lines +
         "</MESH>\r\n" + after + "</MODEL>\r\n</OBJECTS>\r\n</MODELFILE>\r\n";
}

TEST(TagFiles, HostileFilesEndInTheirNamedErrorAtTheirLine) {
  const std::string spline = "<SPLINE>\r\n1 0 1 0 0 0 . .\r\n1 0 2 1 0 0 . .\r\n</SPLINE>\r\n";
  struct Case {
    std::string text;
    ErrorKind kind;
    std::int32_t line;
  };
  const std::vector<Case> cases = {
      {tagFile(spline, "<BONES>\r\n"), ErrorKind::TagWrongClose, 12},
      {tagFile(spline + "</SPLINE>\r\n"), ErrorKind::TagWrongClose, 10},
      {tagFile("<SPLINE>\r\n145 1 3 4\r\n</SPLINE>\r\n" + spline), ErrorKind::TagBadLine, 7},
      {tagFile("<SPLINE>\r\n1 0 3 0 x 0 . .\r\n</SPLINE>\r\n"), ErrorKind::NotReal, 7},
      {tagFile("<SPLINE>\r\n1 0 3 0 0 0 . . 7\r\n</SPLINE>\r\n"), ErrorKind::TagBadLine, 7},
      {tagFile("<SPLINE>\r\n1 2 3 0 0 0 . .\r\n</SPLINE>\r\n"), ErrorKind::TagBadLine, 7},
      {tagFile("<SPLINE>\r\n1 0 3 0 0 0 1 2\r\n</SPLINE>\r\n"), ErrorKind::TagBadLine, 7},
      {tagFile(spline + "<SPLINE>\r\n1 1 3 9 . .\r\n</SPLINE>\r\n"), ErrorKind::TagNoSuchPoint, 11},
      {tagFile(spline + "<SPLINE>\r\n1 0 2 5 5 5 . .\r\n</SPLINE>\r\n"), ErrorKind::TagDuplicateId,
       11},
      {tagFile("<SPLINE>\r\n1 1 1 2 . .\r\n1 1 2 3 . .\r\n1 1 3 1 . .\r\n</SPLINE>\r\n"),
       ErrorKind::TagAttachRing, 7},
      {tagFile(spline + "<PATCHES>\r\n0 1 2 9 1 0 0 0 0 0\r\n</PATCHES>\r\n"),
       ErrorKind::TagNoSuchPoint, 11},
      {tagFile(spline + "<PATCHES>\r\n1 1 2 2 1 0 0 0 0 0\r\n</PATCHES>\r\n"),
       ErrorKind::TagBadLine, 11},
      {tagFile(spline, "<BONES>\r\n<SEGMENT>\r\nStart=1 2 zz\r\n</SEGMENT>\r\n</BONES>\r\n"),
       ErrorKind::NotReal, 13},
      {"<MODELFILE>\r\n<OBJECTS>\r\n", ErrorKind::TagNotClosed, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ZevrinError e = openError(c.text);
    EXPECT_EQ(e.kind(), c.kind);
    EXPECT_EQ(e.line(), c.line);
  }
  // Nested far too deep: refused at the limit, not a crashed stack.
  std::string deep = "<MODELFILE>\r\n";
  for (int i = 0; i < 100000; ++i) deep += "<A>\r\n";
  EXPECT_EQ(openError(deep).kind(), ErrorKind::NestingTooDeep);
}

// Every point of a tag document by id, at its resolved position, with its target when it is a
// hook; and the text of each of its sections that name points (patches, groups, bones).
struct Kept {
  std::map<std::pair<int, std::int32_t>, std::string> points;  // (mesh, id) -> what it is
  std::string lists;
};

Kept keptOf(const M5amsuper& root) {
  Kept k;
  int mesh_index = 0;
  WalkTree(root, [&](const M5amsuper& node) {
    if (const auto* mesh = dynamic_cast<const TagMesh*>(&node)) {
      for (const auto& s : mesh->Splines)
        for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get())
          k.points[{mesh_index, p->Id}] =
              text(p->Pos(0)) + (p->HasHookParamBits() && p->IsAttached()
                                     ? " hook on " + std::to_string(p->TargetId)
                                     : std::string());
      ++mesh_index;
    }
    const auto* tag = dynamic_cast<const TagSection*>(&node);
    if (tag && (tag->Name == "PATCHES" || tag->Name == "GROUPS" || tag->Name == "BONES")) {
      const ByteSink sink = [&](const char* d, std::size_t n) {
        k.lists.append(d, n);
        return true;
      };
      TextWriter out(sink);
      const_cast<TagSection*>(tag)->Write(out);
      out.Finish();
      return WalkOn::Over;
    }
    return WalkOn::Into;
  });
  return k;
}

TEST(TagFiles, AttachAllAndDetachAllKeepIdsListsPositionsAndHooks) {
  for (const std::string& path : tagFiles()) {
    SCOPED_TRACE(path);
    DocumentSession session;
    openBytes(session, "f.mdl", readBytes(path));
    const Kept before = keptOf(*session.Document);
    for (int edit = 0; edit < 2; ++edit) {
      if (edit == 0) session.DetachAll();
      if (edit == 1) session.AttachAll();
      // What the edit left, and what its saved file gives when opened again.
      DocumentSession again;
      openBytes(again, "again.mdl", saved(session));
      for (const M5amsuper* doc : {session.Document.get(), again.Document.get()}) {
        const Kept after = keptOf(*doc);
        EXPECT_EQ(after.points, before.points);
        EXPECT_EQ(after.lists, before.lists);
      }
    }
  }
}

TEST(TagFiles, ATagFileSavesAsATagFileOnly) {
  const std::string bytes = readBytes(kTagDir + "/Cube.mdl");
  DocumentSession session;
  openBytes(session, "c.mdl", bytes);
  ScratchDir dir;
  session.Format = SaveFormat::Bracketed;
  EXPECT_THROW(session.SaveDocument(dir / "v5.mdl"), ZevrinError);
  EXPECT_FALSE(fs::exists(dir / "v5.mdl"));
  EXPECT_EQ(saved(session), bytes);
}

// What a model is, as far as a tag file can hold it: the points' resolved positions spline
// by spline, the groups' names with their points' positions, the bones, the patches.
struct ModelFacts {
  std::vector<std::vector<Vec3>> splines;
  std::map<std::string, std::vector<std::string>> groups;
  std::vector<std::string> bones;
  std::vector<std::string> patches;
};

ModelFacts factsOf(const M5amsuper& root) {
  ModelFacts f;
  std::map<std::int32_t, Vec3> position_of_id;
  WalkTree(root, [&](const M5amsuper& node) {
    if (node.IsSuppressed()) return WalkOn::Over;
    if (const auto* mesh = dynamic_cast<const M5mesh*>(&node)) {
      for (const auto& s : mesh->Splines) {
        f.splines.emplace_back();
        for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
          f.splines.back().push_back(p->Pos(p->PositionParam()));
          position_of_id.try_emplace(p->Id, f.splines.back().back());
        }
      }
      Progress bars;
      const MeshPatches found = PatchesOf(*mesh, bars);
      for (std::size_t i = 0; i < found.Count(); ++i) {
        std::vector<std::string> c;
        for (std::uint32_t v : found.Patch(i)) c.push_back(text(found.Vertices[v]));
        std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
        std::string key;
        for (const auto& s : c) key += s + ";";
        f.patches.push_back(key);
      }
    }
    const auto group = [&](const std::string& name, const std::vector<std::string>& ids) {
      auto& members = f.groups[name];
      for (const std::string& id : ids)
        if (const auto it = position_of_id.find(std::stoi(id)); it != position_of_id.end())
          members.push_back(text(it->second));
      std::sort(members.begin(), members.end());
    };
    if (const auto* g = dynamic_cast<const M5group*>(&node)) group(g->GroupName, g->GroupIds);
    if (const auto* g = dynamic_cast<const TagGroup*>(&node)) group(g->GroupName, g->Ids());
    if (const auto* b = dynamic_cast<const M5segment*>(&node))
      f.bones.push_back(b->BoneName + ": " + text(b->Pivot) + " - " + text(b->End));
    if (const auto* b = dynamic_cast<const TagBone*>(&node))
      f.bones.push_back(b->BoneName + ": " + text(b->Start) + " - " + text(b->End));
    return WalkOn::Into;
  });
  std::sort(f.patches.begin(), f.patches.end());
  return f;
}

TEST(TagFiles, AnyModelSavedAsATagFileOpensAgainWithTheSameModel) {
  ScratchDir dir;
  const std::vector<std::string> inputs = {
      std::string(ZEVRIN_EXAMPLES) + "/half_box.mdl",
      std::string(ZEVRIN_TEST_DATA) + "/halvejoin_in.mdl",
      std::string(ZEVRIN_TEST_DATA) + "/assimp_pinkegg_lightwave.dxf",
      std::string(ZEVRIN_TEST_DATA) + "/ezdxf_poli_all_r12.DXF",
      std::string(ZEVRIN_TEST_DATA) + "/pyramid_mixed_lines.rok",
  };
  std::size_t patches = 0;
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in);
    DocumentSession session;
    session.TemplatePath = std::string(ZEVRIN_EXAMPLES) + "/../data/animas_reference.mdl";
    session.CurrentFile = in;
    ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
    const ModelFacts before = factsOf(*session.Document);
    session.Format = SaveFormat::Tag;
    const std::string out = dir / "out.mdl";
    session.SaveDocument(out);
    DocumentSession again;
    again.CurrentFile = out;
    ASSERT_EQ(again.LoadDocument().Outcome, LoadOutcome::Loaded);
    ASSERT_TRUE(again.IsTagFile());
    EXPECT_EQ(again.Shared.Counts, session.Shared.Counts);
    const ModelFacts after = factsOf(*again.Document);
    EXPECT_EQ(after.splines.size(), before.splines.size());
    for (std::size_t s = 0; s < std::min(after.splines.size(), before.splines.size()); ++s) {
      ASSERT_EQ(after.splines[s].size(), before.splines[s].size());
      for (std::size_t k = 0; k < after.splines[s].size(); ++k)
        EXPECT_EQ(text(after.splines[s][k]), text(before.splines[s][k]));
    }
    EXPECT_EQ(after.groups, before.groups);
    EXPECT_EQ(after.bones, before.bones);
    EXPECT_EQ(after.patches, before.patches);
    patches += after.patches.size();
    // And it saves back as it was written.
    EXPECT_EQ(saved(again), readBytes(out));
  }
  EXPECT_GT(patches, 100u);
}

}  // namespace
}  // namespace zevrin

namespace zevrin {
namespace {

// A patch as its distinct corners' positions, the same key whichever corner it starts at and
// whichever way it turns.
std::string loopKey(const MeshPatches& p, std::size_t i) {
  std::vector<std::string> c;
  for (std::uint32_t v : p.Patch(i)) {
    char exact[80];
    const Vec3& at = p.Vertices[v];
    std::snprintf(exact, sizeof exact, "%.17g %.17g %.17g", at.x, at.y, at.z);
    // A corner met again (a listed patch folded onto itself) counts once.
    if (std::find(c.begin(), c.end(), exact) == c.end()) c.push_back(exact);
  }
  std::vector<std::string> best;
  for (int turn = 0; turn < 2; ++turn) {
    for (std::size_t k = 0; k < c.size(); ++k) {
      std::vector<std::string> r(c.begin() + static_cast<std::ptrdiff_t>(k), c.end());
      r.insert(r.end(), c.begin(), c.begin() + static_cast<std::ptrdiff_t>(k));
      if (best.empty() || r < best) best = r;
    }
    std::reverse(c.begin(), c.end());
  }
  std::string key;
  for (const auto& s : best) key += s + ";";
  return key;
}

// The patch finder on the shipped files' splines, their own lists set aside, against those
// lists: the modeller's three- and four-corner patches it finds, and the faces it adds.
TEST(TagFiles, ThePatchFinderAgreesWithTheModellersLists) {
  std::size_t listed = 0, matched = 0, found = 0, extra = 0;
  for (const std::string& path : tagFiles()) {
    DocumentSession session;
    openBytes(session, "f.mdl", readBytes(path));
    std::size_t file_listed = 0, file_matched = 0, file_found = 0, file_extra = 0;
    WalkTree(*session.Document, [&](const M5amsuper& node) {
      const auto* mesh = dynamic_cast<const TagMesh*>(&node);
      if (!mesh) return WalkOn::Into;
      Progress bars;
      const MeshPatches own = PatchesOf(*mesh, bars);
      const MeshPatches finder = FindPatches(*mesh, bars);
      // A patch the modeller lists twice is one patch.
      std::set<std::string> theirs;
      std::multiset<std::string> ours;
      for (std::size_t i = 0; i < own.Count(); ++i)
        if (own.Patch(i).size() <= 4) theirs.insert(loopKey(own, i));
      for (std::size_t i = 0; i < finder.Count(); ++i) ours.insert(loopKey(finder, i));
      file_listed += theirs.size();
      file_found += ours.size();
      for (const std::string& k : ours) {
        if (const auto it = theirs.find(k); it != theirs.end()) {
          theirs.erase(it);
          ++file_matched;
        } else {
          ++file_extra;
        }
      }
      return WalkOn::Over;
    });
    std::printf("%-22s listed %5zu found %5zu matched %5zu missed %3zu extra %3zu\n",
                fs::path(path).filename().c_str(), file_listed, file_found, file_matched,
                file_listed - file_matched, file_extra);
    listed += file_listed;
    matched += file_matched;
    found += file_found;
    extra += file_extra;
  }
  std::printf("all                    listed %5zu found %5zu matched %5zu missed %3zu extra %3zu\n",
              listed, found, matched, listed - matched, extra);
  EXPECT_GE(static_cast<double>(matched), 0.995 * static_cast<double>(listed));
  EXPECT_LE(static_cast<double>(extra), 0.005 * static_cast<double>(found));
}

}  // namespace
}  // namespace zevrin
