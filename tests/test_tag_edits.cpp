// The edits on tag files: every list that names a point (patches, groups, bones' points,
// decals, poses) stays true through each edit and every chain of them, on every shipped file;
// small hand-made files show exactly what each edit does to each list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "app/session/Document.h"
#include "app/session/EditHistory.h"
#include "mesh/AM5_cp.h"
#include "mesh/AM5_splin.h"
#include "mesh/TagMesh.h"
#include "model/PatchPolygons.h"
#include "model/TagLists.h"
#include "model/TagModel.h"
#include "tests/RecordingSurface.h"
#include "tests/TagTestUtil.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "view/M_scr.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using test::bufferOf;
using test::readBytes;
using test::saved;
using test::tagFiles;

const std::string kTagDir = std::string(ZEVRIN_TEST_DATA) + "/tag";

void openBytes(DocumentSession& session, const std::string& bytes) {
  ASSERT_EQ(session.LoadDocumentBytes("f.mdl", bufferOf(bytes)).Outcome, LoadOutcome::Loaded);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

std::vector<std::string> wordsOf(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// What a saved tag file says of one model, read from its text as the modeller's files are
// laid out, apart from the program's own reader.
struct SavedModel {
  struct Point {
    std::uint32_t flags;
    std::int32_t target;  // 0: none
    std::string at;       // the coordinates' words, for a point of its own
  };
  std::map<std::int32_t, Point> points;
  std::vector<std::vector<std::int32_t>> splines;
  std::vector<std::vector<std::int32_t>> patches;
  std::vector<std::pair<std::string, std::int32_t>> listed;  // list, id
};

std::vector<SavedModel> modelsOf(const std::string& text) {
  std::vector<SavedModel> models;
  std::vector<std::string> open;
  const auto in = [&](std::size_t back, const char* name) {
    return open.size() > back && open[open.size() - 1 - back] == name;
  };
  for (const std::string& line : linesOf(text)) {
    if (line.rfind("</", 0) == 0) {
      if (!open.empty()) open.pop_back();
      continue;
    }
    if (line.rfind("<", 0) == 0) {
      open.push_back(line.substr(1, line.find('>') - 1));
      if (in(0, "MODEL")) models.emplace_back();
      if (in(0, "SPLINE") && in(1, "MESH")) models.back().splines.emplace_back();
      continue;
    }
    if (line.find('=') != std::string::npos || open.empty() || models.empty()) continue;
    SavedModel& m = models.back();
    const std::vector<std::string> w = wordsOf(line);
    const auto id = [&](std::size_t k) { return std::stoi(w.at(k)); };
    const auto list = [&](const std::string& name, std::initializer_list<std::size_t> words) {
      for (std::size_t k : words) m.listed.emplace_back(name, id(k));
    };
    if (in(0, "SPLINE") && in(1, "MESH")) {
      const auto flags = static_cast<std::uint32_t>(std::stoul(w.at(0)));
      const std::size_t at = (flags & 0x1010u) ? 4 : 3;
      const bool attached = w.at(1) == "1";
      const std::string where = attached ? "" : w.at(at) + ' ' + w.at(at + 1) + ' ' + w.at(at + 2);
      EXPECT_TRUE(
          m.points.emplace(id(2), SavedModel::Point{flags, attached ? id(at) : 0, where}).second)
          << line;
      m.splines.back().push_back(id(2));
    } else if (in(0, "PATCHES")) {
      const std::size_t n = (std::stoul(w.at(0)) & 1u) ? 5 : 4;
      m.patches.emplace_back();
      for (std::size_t k = 1; k <= n; ++k) m.patches.back().push_back(id(k));
    } else if (in(0, "NONSKINNEDCPS") || in(0, "WEIGHTEDCPS") ||
               in(0, "COMPACTRELATIONMUSCLECHANNELS") || (in(0, "CPS") && in(1, "GROUP"))) {
      list(open.back(), {0});
    } else if (in(0, "DATA") && in(1, "STAMP")) {
      list("STAMP", {1, 2, 3, 4});
    } else if (in(0, "COMPACTMUSCLECHANNELS")) {
      list(open.back(), {0, 1});
    }
  }
  return models;
}

// Every id a saved model's lists name is a point of its mesh, and every patch's corners follow
// one another along spline segments (a corner standing for the place of the point at the end
// of its attachments, so that points welded or not weld the same; a loop closes from its last
// point to its first).
void expectListsTrue(const std::string& text) {
  for (const SavedModel& m : modelsOf(text)) {
    for (const auto& [list, id] : m.listed)
      EXPECT_TRUE(m.points.count(id)) << list << " names " << id << ", no point";
    const auto root = [&](std::int32_t id) {
      for (int guard = 0; guard < 1000; ++guard) {
        const auto it = m.points.find(id);
        if (it == m.points.end()) break;
        if (it->second.target == 0) return it->second.at;
        id = it->second.target;
      }
      return "id " + std::to_string(id);
    };
    std::set<std::pair<std::string, std::string>> segments;
    const auto add = [&](std::int32_t a, std::int32_t b) {
      segments.emplace(std::min(root(a), root(b)), std::max(root(a), root(b)));
    };
    for (const auto& s : m.splines) {
      for (std::size_t k = 0; k + 1 < s.size(); ++k) add(s[k], s[k + 1]);
      if (!s.empty() && (m.points.at(s.back()).flags & 0x4u)) add(s.back(), s.front());
    }
    std::size_t loose = 0;
    for (const auto& p : m.patches) {
      for (std::size_t k = 0; k < p.size(); ++k) {
        EXPECT_TRUE(m.points.count(p[k])) << "a patch names " << p[k] << ", no point";
        const std::string a = root(p[k]);
        const std::string b = root(p[(k + 1) % p.size()]);
        if (a != b && !segments.count({std::min(a, b), std::max(a, b)})) {
          ++loose;
          break;
        }
      }
    }
    EXPECT_EQ(loose, 0u) << "patches whose corners no spline segment joins";
  }
}

// The picture of the document as the window draws it, ids included.
std::vector<std::string> drawn(M5amsuper& root) {
  test::RecordingSurface surface;
  Mscreen view;
  view.ShowCpid = true;
  view.SetCanvas(&surface, 320, 240);
  Vec3 lo, hi;
  root.GetBounds(lo, hi);
  view.SetExtent(lo.x - 1, hi.y + 1, hi.x + 1, lo.y - 1);
  view.Redisplay(&root, ViewKind::Front);
  return surface.Log;
}

// The faces an export writes, corner by corner.
std::vector<std::string> exported(const M5amsuper& root) {
  StepContext step;
  const std::unique_ptr<Mpatches> faces = PatchPolygons(root, PatchPolygonOptions{"rest"}, step);
  std::vector<std::string> out;
  for (const Mdxf_3dface& f : faces->Faces) {
    std::ostringstream s;
    s.precision(17);
    s << f.Layer;
    for (std::int32_t k = 0; k < f.CornerCount; ++k) {
      const Vec3& c = f.Corner(static_cast<std::size_t>(k));
      s << " (" << c.x << ' ' << c.y << ' ' << c.z << ')';
    }
    out.push_back(s.str());
  }
  return out;
}

struct Edit {
  const char* name;
  std::function<StepResult(DocumentSession&)> run;
};

const Edit kHalvejoin{"Halvejoin", [](DocumentSession& s) { return s.Halvejoin(0.05); }};
const Edit kConnect{"Connect", [](DocumentSession& s) { return s.ConnectGroupedSplines(); }};
const Edit kAttach{"Attach all", [](DocumentSession& s) { return s.AttachAll(); }};
const Edit kDetach{"Detach all", [](DocumentSession& s) { return s.DetachAll(); }};
const Edit kMirrorBone{"Mirror bone", [](DocumentSession& s) { return s.MirrorBone(0.05); }};

TEST(TagEdits, EveryEditAndTheChainKeepEveryListTrueOnEveryShippedFile) {
  const std::vector<std::vector<Edit>> runs = {
      {kHalvejoin}, {kConnect},    {kAttach},
      {kDetach},    {kMirrorBone}, {kHalvejoin, kConnect, kAttach, kMirrorBone}};
  for (const std::string& path : tagFiles()) {
    const std::string original = readBytes(path);
    for (const auto& run : runs) {
      SCOPED_TRACE(path + ", " + run.front().name + " and " + std::to_string(run.size() - 1) +
                   " more");
      DocumentSession session;
      openBytes(session, original);
      session.Shared.Mirror = MirrorSettings{MirrorRule::Prefix, "Left", "Right", "mb"};
      EditHistory history;
      history.Reset();
      std::vector<std::string> after;  // the file after each edit
      for (const Edit& edit : run) {
        history.Apply(session, edit.name, {}, edit.run);
        after.push_back(saved(session));
        expectListsTrue(after.back());
        // The saved file opens again, and draws and exports as the model in memory.
        DocumentSession again;
        openBytes(again, after.back());
        EXPECT_EQ(drawn(*again.Document), drawn(*session.Document));
        EXPECT_EQ(exported(*again.Document), exported(*session.Document));
        EXPECT_EQ(saved(again), after.back());
      }
      // Undo brings back the file's bytes, step by step; redo the edits' bytes.
      for (std::size_t k = run.size(); k-- > 0;) {
        history.Undo(session, {});
        EXPECT_EQ(saved(session), k == 0 ? original : after[k - 1]);
      }
      for (std::size_t k = 0; k < run.size(); ++k) {
        history.Redo(session, {});
        EXPECT_EQ(saved(session), after[k]);
      }
    }
  }
}

}  // namespace
}  // namespace zevrin

namespace zevrin {
namespace {

std::string crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

// The lines of the sections named `name` (nested ones included), in order.
std::vector<std::string> sectionLines(const std::string& text, const std::string& name) {
  std::vector<std::string> out;
  int depth = 0;
  for (const std::string& line : linesOf(text)) {
    if (line == "<" + name + ">") {
      ++depth;
      continue;
    }
    if (line == "</" + name + ">") {
      --depth;
      continue;
    }
    if (depth > 0) out.push_back(line);
  }
  return out;
}

// A half model: a patch against the plane, a spline lying on it, a hook, and every kind of
// list, one line naming a point the file does not have.
std::string halfModel() {
  return crlf({"<MODELFILE>",
               "ProductVersion=17",
               "<OBJECTS>",
               "<MODEL>",
               "<MESH>",
               "<SPLINE>",
               "1 0 11 0 0 0 . .",
               "1 0 12 1 0 0 . .",
               "</SPLINE>",
               "<SPLINE>",
               "1 0 13 0 1 0 . .",
               "1 0 14 1 1 0 . .",
               "</SPLINE>",
               "<SPLINE>",
               "1 1 15 12 . .",
               "1 1 16 14 . .",
               "</SPLINE>",
               "<SPLINE>",
               "1 1 17 11 . .",
               "1 1 18 13 . .",
               "</SPLINE>",
               "<SPLINE>",
               "1 0 22 2 0 0 . .",
               "32769 0 19 2 1 0 . .",
               "1 0 23 2 2 0 . .",
               "</SPLINE>",
               "<SPLINE>",
               "129 0 20 3 1 0 . .",
               "131089 1 21 0.25 19",
               "</SPLINE>",
               "<PATCHES>",
               "0 11 12 14 13 0 1 2 3 0",
               "</PATCHES>",
               "<NORMALS>",
               "0.1 0 1",
               "0.2 0 1",
               "0.3 0 1",
               "0.4 0 1",
               "</NORMALS>",
               "<ATTRS>",
               "<ATTRIBUTE>",
               "</ATTRIBUTE>",
               "</ATTRS>",
               "</MESH>",
               "<BONES>",
               "<SEGMENT>",
               "Name=Bone",
               "Start=1 0 0",
               "End=1 1 0",
               "<NONSKINNEDCPS>",
               "12",
               "16",
               "99",
               "</NONSKINNEDCPS>",
               "<WEIGHTEDCPS>",
               "13 0.5",
               "</WEIGHTEDCPS>",
               "</SEGMENT>",
               "</BONES>",
               "<DECALS>",
               "<DECAL>",
               "<STAMPS>",
               "<STAMP>",
               "Name=Stamp1",
               "<DATA>",
               "0 11 12 14 13 0 0 1 1 0 1",
               "</DATA>",
               "</STAMP>",
               "</STAMPS>",
               "</DECAL>",
               "</DECALS>",
               "<GROUPS>",
               "<GROUP>",
               "Name=Left side",
               "<CPS>",
               "11",
               "14",
               "20",
               "</CPS>",
               "</GROUP>",
               "</GROUPS>",
               "<RELATIONCONTAINER>",
               "<RELATION>",
               "<SPLINECONTAINERSHORTCUT>",
               "<COMPACTRELATIONMUSCLECHANNELS>",
               "23 0 0 -0 1",
               "</COMPACTRELATIONMUSCLECHANNELS>",
               "<COMPACTMUSCLECHANNELS>",
               "22 19 0 0 1:40:0 1 2 3",
               "</COMPACTMUSCLECHANNELS>",
               "</SPLINECONTAINERSHORTCUT>",
               "</RELATION>",
               "</RELATIONCONTAINER>",
               "</MODEL>",
               "</OBJECTS>",
               "</MODELFILE>"});
}

TEST(TagEdits, HalvejoinCarriesEveryListToTheRenumberedPointsAndMirrorsPatchesAndGroups) {
  DocumentSession session;
  openBytes(session, halfModel());
  const StepResult r = session.Halvejoin(0.05);
  EXPECT_EQ(r.Memo, (std::vector<std::string>{"Number of cp=13+9->22", "Number of spline=6+3->9"}));
  EXPECT_EQ(r.LeftOut.ListLines, 1);  // the bone's point 99, which never was
  const std::string out = saved(session);
  // Ids 1..13 in spline order, copies at id + 13; the ends on the plane are shared. The
  // hook's copy hangs on the copy of its target, measured from the other end, and the copies
  // run the other way, so the segment's two marks (0x80, 0x20000) change places.
  EXPECT_EQ(sectionLines(out, "SPLINE"), (std::vector<std::string>{"1 0 15 -1 0 0 . .",
                                                                   "1 0 1 0 0 0 . .",
                                                                   "1 0 2 1 0 0 . .",
                                                                   "1 0 17 -1 1 0 . .",
                                                                   "1 0 3 0 1 0 . .",
                                                                   "1 0 4 1 1 0 . .",
                                                                   "1 1 5 2 . .",
                                                                   "1 1 6 4 . .",
                                                                   "1 1 7 1 . .",
                                                                   "1 1 8 3 . .",
                                                                   "1 0 9 2 0 0 . .",
                                                                   "32769 0 10 2 1 0 . .",
                                                                   "1 0 11 2 2 0 . .",
                                                                   "129 0 12 3 1 0 . .",
                                                                   "131089 1 13 0.25 10",
                                                                   "145 1 26 0.75 23",
                                                                   "131073 0 25 -3 1 0 . .",
                                                                   "1 0 24 -2 2 0 . .",
                                                                   "32769 0 23 -2 1 0 . .",
                                                                   "1 0 22 -2 0 0 . .",
                                                                   "1 1 19 17 . .",
                                                                   "1 1 18 15 . ."}));
  // The mirror image of the patch: the corners' copies in reverse order (the corner on the
  // seam shared), new normals negated in X, the same attributes.
  EXPECT_EQ(sectionLines(out, "PATCHES"),
            (std::vector<std::string>{"0 1 2 4 3 0 1 2 3 0", "0 3 17 15 1 4 5 6 7 0"}));
  EXPECT_EQ(sectionLines(out, "NORMALS"),
            (std::vector<std::string>{"0.1 0 1", "0.2 0 1", "0.3 0 1", "0.4 0 1", "-0.4 0 1",
                                      "-0.3 0 1", "-0.2 0 1", "-0.1 0 1"}));
  // The group gains the copies; bones, decals and poses stay with the original half.
  EXPECT_EQ(sectionLines(out, "CPS"), (std::vector<std::string>{"1", "4", "12", "17", "25"}));
  EXPECT_EQ(sectionLines(out, "NONSKINNEDCPS"), (std::vector<std::string>{"2", "6"}));
  EXPECT_EQ(sectionLines(out, "WEIGHTEDCPS"), (std::vector<std::string>{"3 0.5"}));
  EXPECT_EQ(sectionLines(out, "DATA"), (std::vector<std::string>{"0 1 2 4 3 0 0 1 1 0 1"}));
  EXPECT_EQ(sectionLines(out, "COMPACTRELATIONMUSCLECHANNELS"),
            (std::vector<std::string>{"11 0 0 -0 1"}));
  EXPECT_EQ(sectionLines(out, "COMPACTMUSCLECHANNELS"),
            (std::vector<std::string>{"9 10 0 0 1:40:0 1 2 3"}));
  expectListsTrue(out);
}

TEST(TagEdits, ConnectNamesTheStayingPointForTheOneTakenAwayAndKeepsTheGroups) {
  DocumentSession session;
  openBytes(
      session,
      crlf({"<MODELFILE>", "<OBJECTS>", "<MODEL>", "<MESH>", "<SPLINE>", "0 0 1 0 0 0 . .",
            "0 0 2 1 0 0 . .", "</SPLINE>",
            // Runs the other way: joined turned round, its point 3 on point 2 goes.
            "<SPLINE>", "0 0 4 2 0 0 . .", "32768 0 5 1.5 0 0 . .", "0 0 3 1 0 0 . .", "</SPLINE>",
            "<SPLINE>", "0 0 6 1.5 1 0 . .", "17 1 7 0.25 5", "</SPLINE>", "</MESH>", "<BONES>",
            "<SEGMENT>", "Name=Bone", "<NONSKINNEDCPS>", "2", "3", "</NONSKINNEDCPS>", "</SEGMENT>",
            "</BONES>", "<DECALS>", "<DECAL>", "<STAMPS>", "<STAMP>", "<DATA>", "0 1 2 3 4 0",
            "</DATA>", "</STAMP>", "</STAMPS>", "</DECAL>", "</DECALS>", "<GROUPS>", "<GROUP>",
            "Name=Edge", "<CPS>", "1", "2", "3", "4", "</CPS>", "</GROUP>", "</GROUPS>", "</MODEL>",
            "</OBJECTS>", "</MODELFILE>"}));
  const StepResult r = session.ConnectGroupedSplines();
  EXPECT_EQ(r.Memo, (std::vector<std::string>{"Number of cp=7->6", "Number of spline=3->2"}));
  EXPECT_EQ(r.LeftOut, SaveOmissions{});
  const std::string out = saved(session);
  // The hook keeps its target, whose spline now runs the other way round it.
  EXPECT_EQ(sectionLines(out, "SPLINE"),
            (std::vector<std::string>{"1 0 1 0 0 0 . .", "1 0 2 1 0 0 . .", "32769 0 5 1.5 0 0 . .",
                                      "1 0 4 2 0 0 . .", "0 0 6 1.5 1 0 . .", "17 1 7 0.75 5"}));
  EXPECT_EQ(sectionLines(out, "CPS"), (std::vector<std::string>{"1", "2", "4"}));
  EXPECT_EQ(sectionLines(out, "NONSKINNEDCPS"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(sectionLines(out, "DATA"), (std::vector<std::string>{"0 1 2 2 4 0"}));
  // The groups stay: a second Connect finds nothing more to join.
  session.ConnectGroupedSplines();
  EXPECT_EQ(saved(session), out);
}

}  // namespace
}  // namespace zevrin

namespace zevrin {
namespace {

// Cuts a model in half at X = 0: the points at X >= -tolerance stay; each spline leaves the
// runs of its points that stay, as splines of their own (a closed one cut open where it was
// cut); the patches whose corners all stay are kept, and every list drops the lines that name
// a point that went.
void cutMesh(TagModel& model, double tolerance) {
  TagMesh& mesh = *model.Mesh;
  // Where the points are, before any goes (attached points follow their targets).
  std::map<const M5cp*, double> x_of;
  for (const auto& spline : mesh.Splines)
    for (const M5cp* p = spline->FirstCp.get(); p; p = p->Next.get()) x_of[p] = p->PosX(0);
  TagIdMap staying;
  std::vector<std::unique_ptr<M5spline>> runs;
  for (auto& spline : mesh.Splines) {
    std::vector<std::unique_ptr<M5cp>> chain;
    for (std::unique_ptr<M5cp> p = spline->ClearChain(); p;) {
      std::unique_ptr<M5cp> next = std::move(p->Next);
      chain.push_back(std::move(p));
      p = std::move(next);
    }
    std::vector<bool> stays;
    for (const auto& p : chain) stays.push_back(x_of.at(p.get()) >= -tolerance);
    const bool all = std::find(stays.begin(), stays.end(), false) == stays.end();
    if (!chain.empty() && chain.back()->HasLoopBit() && !all) {
      // A closed spline opens where it is cut: it starts after a point that goes.
      const auto first = static_cast<std::ptrdiff_t>(
          (std::find(stays.begin(), stays.end(), false) - stays.begin()) + 1);
      std::rotate(chain.begin(), chain.begin() + first, chain.end());
      std::rotate(stays.begin(), stays.begin() + first, stays.end());
      for (auto& p : chain) p->ClearLoopBit();
    }
    std::unique_ptr<M5spline> run;
    for (std::size_t k = 0; k < chain.size(); ++k) {
      chain[k]->Prev = nullptr;
      if (!stays[k]) {
        if (run) runs.push_back(std::move(run));
        continue;
      }
      if (!run) run = std::make_unique<M5spline>();
      staying.Set(chain[k]->Id, chain[k]->Id);
      run->AppendCp(std::move(chain[k]));
    }
    if (run) runs.push_back(std::move(run));
  }
  mesh.Splines = std::move(runs);
  mesh.PatchesFollow(staying, nullptr);
  RemapTagLists(model, TagListEdit{staying, nullptr, false});
}

std::string cutInHalf(const std::string& bytes, double tolerance) {
  DocumentSession session;
  openBytes(session, bytes);
  WalkTree(*session.Document, [&](M5amsuper& node) {
    auto* model = dynamic_cast<TagModel*>(&node);
    if (!model) return WalkOn::Into;
    if (model->Mesh) cutMesh(*model, tolerance);
    return WalkOn::Over;
  });
  return saved(session);
}

Vec3 mirrored(Vec3 v) { return {-v.x, v.y, v.z}; }
bool near(const Vec3& a, const Vec3& b, double tolerance) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz <= tolerance * tolerance;
}

using Shape = std::vector<Vec3>;  // a patch's corners or a spline's points, in order

// Two shapes are one when their points lie within the tolerance in order, from any point on
// (`turn`: for patches and closed splines) and either way round.
bool same(const Shape& a, const Shape& b, double tolerance, bool turn) {
  if (a.size() != b.size()) return false;
  const std::size_t n = a.size();
  for (std::size_t from = 0; from < (turn ? n : 1); ++from)
    for (int way = 0; way < 2; ++way) {
      bool all = true;
      for (std::size_t k = 0; k < n && all; ++k) {
        const std::size_t j = way == 0 ? (from + k) % n : (from + n - k) % n;
        all = near(a[k], b[way == 0 || turn ? j : n - 1 - k], tolerance);
      }
      if (all) return true;
    }
  return false;
}

struct Tally {
  std::size_t back = 0, missing = 0, extra = 0;
};

// Matches the shapes of `want` with those of `got`, each used once.
Tally match(const std::vector<Shape>& want, const std::vector<Shape>& got, double tolerance,
            const std::vector<bool>& turns, std::vector<bool>* found = nullptr) {
  Tally t;
  std::vector<bool> used(got.size(), false);
  const auto centre = [](const Shape& s) {
    Vec3 c;
    for (const Vec3& v : s) c = {c.x + v.x, c.y + v.y, c.z + v.z};
    const double n = s.empty() ? 1.0 : static_cast<double>(s.size());
    return Vec3{c.x / n, c.y / n, c.z / n};
  };
  std::vector<Vec3> got_centres;
  for (const Shape& s : got) got_centres.push_back(centre(s));
  if (found) found->assign(want.size(), false);
  for (std::size_t i = 0; i < want.size(); ++i) {
    const Vec3 c = centre(want[i]);
    bool hit = false;
    for (std::size_t j = 0; j < got.size() && !hit; ++j) {
      if (used[j] || !near(c, got_centres[j], tolerance)) continue;
      if (same(want[i], got[j], tolerance, turns.empty() || turns[i])) used[j] = hit = true;
    }
    if (found) (*found)[i] = hit;
    ++(hit ? t.back : t.missing);
  }
  t.extra = static_cast<std::size_t>(std::count(used.begin(), used.end(), false));
  return t;
}

// The shapes of a document's single model: patches by their corners' places, splines by
// their points' (and whether each is closed), points, and group memberships as points.
struct Shapes {
  std::vector<Shape> patches, splines, points;
  std::vector<bool> closed;
  std::map<std::string, Shape> groups;
};

Shapes shapesOf(const std::string& bytes) {
  DocumentSession session;
  openBytes(session, bytes);
  Shapes out;
  WalkTree(*session.Document, [&](M5amsuper& node) {
    auto* model = dynamic_cast<TagModel*>(&node);
    if (!model) return WalkOn::Into;
    std::map<std::int32_t, Vec3> at;
    for (const auto& s : model->Mesh->Splines) {
      out.splines.emplace_back();
      for (const M5cp* p = s->FirstCp.get(); p; p = p->Next.get()) {
        at[p->Id] = p->Pos(0);
        out.splines.back().push_back(p->Pos(0));
        out.points.push_back({p->Pos(0)});
      }
      out.closed.push_back(s->LastCp && s->LastCp->HasLoopBit());
    }
    for (const TagMesh::Patch& p : model->Mesh->Patches) {
      out.patches.emplace_back();
      for (std::size_t c = 0; c < p.Count; ++c) out.patches.back().push_back(at.at(p.Corners[c]));
    }
    for (const TagGroup* g : model->Groups)
      for (const std::string& id : g->Ids())
        out.groups[g->GroupName].push_back(at.at(std::stoi(id)));
    return WalkOn::Over;
  });
  return out;
}

std::vector<Shape> each(const Shape& points) {
  std::vector<Shape> out;
  for (const Vec3& v : points) out.push_back({v});
  return out;
}

TEST(TagEdits, HalvejoinOfAModelCutInHalfGivesBackTheHalfsPatchesAndTheirMirrorImages) {
  constexpr double kTolerance = 0.05;
  for (const char* name : {"BonelessThom.mdl", "Thom2.mdl", "giraffe.mdl"}) {
    SCOPED_TRACE(name);
    const std::string whole = readBytes(kTagDir + "/" + name);
    const std::string half = cutInHalf(whole, kTolerance);
    DocumentSession session;
    openBytes(session, half);
    session.Halvejoin(kTolerance);
    const std::string joined_bytes = saved(session);
    expectListsTrue(joined_bytes);
    const Shapes original = shapesOf(whole), cut = shapesOf(half), joined = shapesOf(joined_bytes);

    // Exactly the half's patches and their mirror images; one lying on the plane is its own.
    std::vector<Shape> expected = cut.patches;
    for (const Shape& p : cut.patches) {
      Shape m;
      for (const Vec3& v : p) m.push_back(mirrored(v));
      if (!same(m, p, kTolerance, true)) expected.push_back(m);
    }
    const Tally patches = match(expected, joined.patches, kTolerance, {});
    EXPECT_EQ(patches.missing, 0u);
    EXPECT_EQ(patches.extra, 0u);

    // Every patch of the whole model on one side of the plane whose mirror image is a patch
    // of the model too is back.
    std::vector<Shape> symmetric;
    std::vector<Shape> mirrors;
    for (const Shape& p : original.patches) {
      const bool left =
          std::all_of(p.begin(), p.end(), [&](const Vec3& v) { return v.x <= kTolerance; });
      const bool right =
          std::all_of(p.begin(), p.end(), [&](const Vec3& v) { return v.x >= -kTolerance; });
      if (!left && !right) continue;
      Shape m;
      for (const Vec3& v : p) m.push_back(mirrored(v));
      symmetric.push_back(p);
      mirrors.push_back(m);
    }
    std::vector<bool> has_mirror;
    match(mirrors, original.patches, kTolerance, {}, &has_mirror);
    std::vector<Shape> one_sided;
    for (std::size_t k = 0; k < symmetric.size(); ++k)
      if (has_mirror[k]) one_sided.push_back(symmetric[k]);
    std::vector<bool> back;
    const Tally whole_patches = match(one_sided, joined.patches, kTolerance, {}, &back);
    EXPECT_EQ(whole_patches.missing, 0u);

    const Tally pts = match(original.points, joined.points, kTolerance, {});
    const Tally splines = match(original.splines, joined.splines, kTolerance, original.closed);
    Tally groups;
    for (const auto& [group, members] : original.groups) {
      const auto it = joined.groups.find(group);
      const Tally g =
          match(each(members), it == joined.groups.end() ? std::vector<Shape>{} : each(it->second),
                kTolerance, {});
      groups.back += g.back;
      groups.missing += g.missing;
      groups.extra += g.extra;
    }
    std::printf(
        "%s: patches %zu of the half and mirrors: %zu back, %zu missing, %zu extra; one-sided "
        "symmetric patches of the whole %zu: %zu back; of the whole model's %zu points %zu back, "
        "%zu missing, %zu extra; %zu splines: %zu back, %zu missing, %zu extra; group members "
        "%zu back, %zu missing, %zu extra\n",
        name, expected.size(), patches.back, patches.missing, patches.extra, one_sided.size(),
        whole_patches.back, original.points.size(), pts.back, pts.missing, pts.extra,
        original.splines.size(), splines.back, splines.missing, splines.extra, groups.back,
        groups.missing, groups.extra);
  }
}

}  // namespace
}  // namespace zevrin
