// The page's session against the desktop's: opening bytes gives the document that opening the
// file gives, every edit saves the same bytes, a file that fails keeps the open document, and
// the picture is the window's, segment for segment.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "app/session/HistoryTexts.h"
#include "app/session/uAppConst.h"
#include "tests/RecordingSurface.h"
#include "tests/TestUtil.h"
#include "util/FmxUtils.h"
#include "view/M_scr.h"
#include "web/WebSession.h"

namespace zevrin::web {
namespace {

using test::bufferOf;
using test::InScratchDir;
using test::readBytes;
using test::writeBytes;

const std::string kData = ZEVRIN_TEST_DATA;
const std::string kExamples = ZEVRIN_EXAMPLES;

std::string saved(WebSession& web) {
  std::string out;
  EXPECT_TRUE(web.Save("", [&](const char* data, std::size_t size) {
    out.append(data, size);
    return true;
  }));
  return out;
}

// Opens `path` in a desktop session (the template from a file, as the programs read it).
struct Desktop {
  explicit Desktop(const std::string& path) {
    session.TemplatePath = std::string(ZEVRIN_TEST_DATA) + "/../../data/animas_reference.mdl";
    session.CurrentFile = path;
    result = session.LoadDocument();
  }
  std::string save(const std::string& out) {
    session.SaveDocument(out);
    return readBytes(session.SaveFile);
  }
  DocumentSession session;
  StepResult result;
};

enum class Edit { None, Halvejoin, Connect, AttachAll, DetachAll, MirrorBone };

const std::vector<std::string> kFiles = {
    kExamples + "/half_box.mdl",          kData + "/halvejoin_in.mdl",
    kData + "/halvejoin_expected.mdl",    kData + "/gdal_3dface.dxf",
    kData + "/ezdxf_3dface_acad2018.dxf", kData + "/assimp_rifle_ac3d.dxf",
    kData + "/pyramid_mixed_lines.rok",   kData + "/rokdebone2_palette_only.rok",
};

class EveryEdit : public InScratchDir, public ::testing::WithParamInterface<Edit> {};

TEST_P(EveryEdit, SavesTheBytesOfTheDesktopSessionAndItsMemo) {
  const MirrorSettings rule{MirrorRule::Suffix, "_L", "_R", "mb"};
  for (const std::string& path : kFiles) {
    SCOPED_TRACE(path);
    Desktop desktop(path);
    WebSession web;
    ASSERT_TRUE(web.Open(path, bufferOf(readBytes(path)))) << web.Error(false);
    StepResult expected = desktop.result;
    switch (GetParam()) {
      case Edit::None:
        break;
      case Edit::Halvejoin:
        expected = desktop.session.Halvejoin(0.25);
        ASSERT_TRUE(web.Halvejoin("0.25"));
        break;
      case Edit::Connect:
        expected = desktop.session.ConnectGroupedSplines();
        ASSERT_TRUE(web.Connect());
        break;
      case Edit::AttachAll:
        expected = desktop.session.AttachAll();
        ASSERT_TRUE(web.AttachAll());
        break;
      case Edit::DetachAll:
        expected = desktop.session.DetachAll();
        ASSERT_TRUE(web.DetachAll());
        break;
      case Edit::MirrorBone:
        desktop.session.Shared.Mirror = rule;
        expected = desktop.session.MirrorBone(0.25);
        ASSERT_TRUE(web.MirrorBone("0.25", rule));
        EXPECT_EQ(web.Result().BonesCopied, expected.BonesCopied);
        break;
    }
    EXPECT_EQ(saved(web), desktop.save(dir_ / "out.mdl"));
    if (!expected.Memo.empty()) {
      EXPECT_EQ(web.Memo(), expected.Memo);
    }
    EXPECT_EQ(web.AttachErrors(),
              expected.AttachErrors ? expected.AttachErrors->Lines() : LineList());
    EXPECT_EQ(web.Result().LeftOut, expected.LeftOut);
    EXPECT_EQ(web.Error(false), "");
  }
}

std::string editName(const ::testing::TestParamInfo<Edit>& info) {
  static const char* const kNames[] = {"Open",      "Halvejoin", "Connect",
                                       "AttachAll", "DetachAll", "MirrorBone"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(WebSession, EveryEdit,
                         ::testing::Values(Edit::None, Edit::Halvejoin, Edit::Connect,
                                           Edit::AttachAll, Edit::DetachAll, Edit::MirrorBone),
                         editName);

TEST(WebSession, StatusLinesInBothLanguagesAfterEachCommand) {
  WebSession web;
  EXPECT_EQ(web.Status(true), "");
  const std::string name = "half_box.mdl";
  ASSERT_TRUE(web.Open(name, bufferOf(readBytes(kExamples + "/" + name))));
  EXPECT_EQ(web.FileName(), name);
  EXPECT_EQ(web.Status(true), StatusOpened(true, name));
  EXPECT_EQ(web.Status(false), "Opend half_box.mdl");
  EXPECT_EQ(web.Memo(), (std::vector<std::string>{"Number of cp=12", "Number of spline=4"}));
  ASSERT_TRUE(web.Halvejoin("0.001"));
  EXPECT_EQ(web.Status(false), "Halvejoined half_box.mdl");
  EXPECT_EQ(web.Memo(),
            (std::vector<std::string>{"Number of cp=12+8->20", "Number of spline=4+2->6"}));
  ASSERT_TRUE(web.AttachAll());
  EXPECT_EQ(web.Status(true), StatusAttached(true));
  // The memo is the edit's that last wrote it.
  EXPECT_EQ(web.Memo()[0], "Number of cp=12+8->20");
  saved(web);
  EXPECT_EQ(web.Status(false), "Saved half_box.mdl");
}

// Mirror bone on a tag file writes the memo: the counts and what the copies' point lists got,
// as the command line prints them; the saved bytes are the desktop's.
TEST(WebSession, MirrorBoneOnATagFileTellsThePointsOfTheCopies) {
  const std::string path = kData + "/tag/Thom2.mdl";
  const MirrorSettings rule{MirrorRule::Prefix, "Left", "Right", "mb"};
  Desktop desktop(path);
  desktop.session.Shared.Mirror = rule;
  const StepResult expected = desktop.session.MirrorBone(0.01);
  ASSERT_TRUE(expected.BonePointsLine);
  WebSession web;
  ASSERT_TRUE(web.Open("Thom2.mdl", bufferOf(readBytes(path))));
  ASSERT_TRUE(web.MirrorBone("0.01", rule));
  EXPECT_EQ(web.Memo(), (std::vector<std::string>{"Number of cp=874", "Number of spline=77",
                                                  *expected.BonePointsLine}));
  std::string desktop_bytes;
  ASSERT_TRUE(desktop.session.WriteDocument([&](const char* data, std::size_t size) {
    desktop_bytes.append(data, size);
    return true;
  }));
  EXPECT_EQ(saved(web), desktop_bytes);
}

// Save As in either format, as the window's dialog offers it: a bracketed model as a tag file
// gives the desktop's tag bytes; a tag file stays a tag file whatever is asked.
TEST(WebSession, SaveAsInEitherFormat) {
  const std::string half = kExamples + "/half_box.mdl";
  Desktop desktop(half);
  desktop.session.Format = SaveFormat::Tag;
  std::string desktop_tag;
  ASSERT_TRUE(desktop.session.WriteDocument([&](const char* d, std::size_t n) {
    desktop_tag.append(d, n);
    return true;
  }));
  WebSession web;
  ASSERT_TRUE(web.Open("half_box.mdl", bufferOf(readBytes(half))));
  EXPECT_FALSE(web.IsTagFile());
  const std::string bracketed = saved(web);
  std::string tag;
  ASSERT_TRUE(web.Save("", SaveFormat::Tag, [&](const char* d, std::size_t n) {
    tag.append(d, n);
    return true;
  }));
  EXPECT_EQ(tag, desktop_tag);
  EXPECT_NE(tag, bracketed);
  std::string again;
  ASSERT_TRUE(web.Save("", SaveFormat::Bracketed, [&](const char* d, std::size_t n) {
    again.append(d, n);
    return true;
  }));
  EXPECT_EQ(again, bracketed);
  // A sink that fails: no save, and the format of the last save stays.
  EXPECT_FALSE(web.Save("", SaveFormat::Tag, [](const char*, std::size_t) { return false; }));
  EXPECT_EQ(saved(web), bracketed);

  const std::string thom = readBytes(kData + "/tag/Thom2.mdl");
  ASSERT_TRUE(web.Open("Thom2.mdl", bufferOf(thom)));
  EXPECT_TRUE(web.IsTagFile());
  std::string kept;
  ASSERT_TRUE(web.Save("", SaveFormat::Bracketed, [&](const char* d, std::size_t n) {
    kept.append(d, n);
    return true;
  }));
  EXPECT_EQ(kept, thom);
}

TEST(WebSession, SaveNamesFollowSaveAs) {
  WebSession web;
  ASSERT_TRUE(web.Open("drawing.DXF", bufferOf(readBytes(kData + "/gdal_3dface.dxf"))));
  EXPECT_EQ(web.SaveName(""), "drawing.mdl");
  EXPECT_EQ(web.SaveName("out"), "out.mdl");
  EXPECT_EQ(web.SaveName("out.seg"), "out.seg");
  EXPECT_EQ(web.SaveName("out.rok"), "out.mdl");
  EXPECT_EQ(web.SaveName("my.model.mdl"), "my.model.mdl");
  EXPECT_EQ(web.SaveName("out.txt"), "out.txt");
}

// Bad input: the command line's message, and the open document, its name, memo and status
// as they were.
TEST(WebSession, AFileThatFailsKeepsTheOpenDocument) {
  WebSession web;
  ASSERT_TRUE(web.Open("half_box.mdl", bufferOf(readBytes(kExamples + "/half_box.mdl"))));
  const std::string before = saved(web);
  const std::string whole = readBytes(kData + "/halvejoin_in.mdl");
  const struct {
    std::string name;
    std::string bytes;
    std::string english;
    std::string japanese;
  } cases[] = {
      {"cut.mdl", whole.substr(0, whole.size() / 2), "cut.mdl:", "cut.mdl:"},
      {"notes.txt", "hello", "notes.txt: Error:filename Extension!!",
       "notes.txt: Error:ファイル名の拡張子が違います！！"},
      {"shape.obj", "v 0 0 0\n", "shape.obj: Error:filename Extension!!", ""},
      {"bad.dxf", "0\nSECTION\n2\nENTITIES\n0\n3DFACE\n10\nx1\n0\nEOF\n",
       "bad.dxf:8: 'x1' is not a number", "bad.dxf:8: 'x1' は浮動小数点数ではありません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string status = web.Status(false);
    EXPECT_FALSE(web.Open(c.name, bufferOf(c.bytes)));
    EXPECT_EQ(web.Error(false).substr(0, c.english.size()), c.english);
    if (!c.japanese.empty()) {
      EXPECT_EQ(web.Error(true).substr(0, c.japanese.size()), c.japanese);
    }
    EXPECT_EQ(web.FileName(), "half_box.mdl");
    EXPECT_EQ(web.Memo()[0], "Number of cp=12");
    EXPECT_EQ(web.Status(false), status);
    EXPECT_EQ(saved(web), before);
  }
  // The same message as the desktop session's error for the same bytes in a file.
  test::ScratchDir dir;
  writeBytes(dir / "cut.mdl", whole.substr(0, whole.size() / 2));
  try {
    Desktop desktop(dir / "cut.mdl");
    ADD_FAILURE() << "the cut file opened";
  } catch (const ZevrinError& e) {
    ZevrinError named = e;
    named.setFile("cut.mdl");
    EXPECT_FALSE(web.Open("cut.mdl", bufferOf(whole.substr(0, whole.size() / 2))));
    EXPECT_EQ(web.Error(true), named.describe(true));
  }
  // A tolerance that is no number changes nothing.
  EXPECT_FALSE(web.Halvejoin("0,5"));
  EXPECT_EQ(web.Error(false), "'0,5' is not a number");
  EXPECT_EQ(saved(web), before);
  EXPECT_TRUE(web.Halvejoin("0.5"));
  EXPECT_EQ(web.Error(false), "");
}

TEST(WebSession, EditsWithoutADocumentDoNothing) {
  WebSession web;
  EXPECT_FALSE(web.Halvejoin("1"));
  EXPECT_FALSE(web.Connect());
  EXPECT_FALSE(web.AttachAll());
  EXPECT_FALSE(web.DetachAll());
  EXPECT_FALSE(web.Save("x", [](const char*, std::size_t) { return true; }));
  SegmentSurface surface;
  EXPECT_FALSE(web.Draw(ViewKind::Front, 100, 100, false, surface));
  EXPECT_EQ(web.Error(false), "");
  EXPECT_EQ(web.Status(false), "");
}

// The segments and labels are the window's picture: the same lines in the same colours, the
// labels after the same lines.
TEST(WebSession, DrawingGivesTheWindowsSegmentsInEveryView) {
  for (const std::string& path : {kExamples + "/half_box.mdl", kData + "/halvejoin_in.mdl"}) {
    WebSession web;
    ASSERT_TRUE(web.Open(path, bufferOf(readBytes(path))));
    Desktop desktop(path);
    for (ViewKind view : {ViewKind::Front, ViewKind::Left, ViewKind::Top}) {
      for (bool cpid : {false, true}) {
        SCOPED_TRACE(path + " view " + std::to_string(static_cast<int>(view)) +
                     (cpid ? " cpid" : ""));
        SegmentSurface segments;
        ASSERT_TRUE(web.Draw(view, 640, 480, cpid, segments));
        test::RecordingSurface recorded;
        Mscreen screen;
        screen.SetCanvas(&recorded, 640, 480);
        screen.SetExtent(-100, 100, 100, -100);
        screen.ShowCpid = cpid;
        screen.Redisplay(desktop.session.Document.get(), view);
        ASSERT_EQ(segments.SegmentCount(), recorded.Segments.size());
        std::size_t run = 0;
        for (std::uint32_t i = 0; i < segments.SegmentCount(); ++i) {
          while (run + 1 < segments.Runs.size() && segments.Runs[run + 1].First <= i) ++run;
          const auto& r = recorded.Segments[i];
          const std::int32_t* s = &segments.Lines[4 * i];
          ASSERT_EQ((std::vector<std::int32_t>{s[0], s[1], s[2], s[3]}),
                    (std::vector<std::int32_t>{r.x0, r.y0, r.x1, r.y1}))
              << i;
          ASSERT_EQ(segments.Runs[run].Color, r.color) << i;
        }
        std::size_t texts = 0;
        for (const std::string& entry : recorded.Log) texts += entry.starts_with("text ");
        EXPECT_EQ(segments.Labels.size(), texts);
        EXPECT_EQ(cpid, !segments.Labels.empty());
        EXPECT_EQ(segments.Background, (Rgb{0, 0, 0}));
      }
    }
  }
}

// Undo and redo as the page drives them: each step gives back the bytes it had, the names and
// the title follow, a save makes the document unchanged until the next edit, and another file
// takes the steps with it.
TEST(WebSession, UndoAndRedoGiveBackEachStepsBytes) {
  WebSession web;
  const std::string path = kData + "/halvejoin_in.mdl";
  ASSERT_TRUE(web.Open("halvejoin_in.mdl", bufferOf(readBytes(path))));
  EXPECT_FALSE(web.CanUndo());
  EXPECT_FALSE(web.Modified());
  EXPECT_EQ(web.Title(), "Zevrin Ver0.56 - halvejoin_in.mdl");
  const std::string opened = saved(web);
  const std::vector<std::string> opened_memo = web.Memo();

  // A model whole already asks first; a half does not.
  EXPECT_FALSE(web.WouldDoubleModel("0.25"));
  EXPECT_FALSE(web.WouldDoubleModel("not a number"));
  ASSERT_TRUE(web.Halvejoin("0.25"));
  EXPECT_TRUE(web.WouldDoubleModel("0.25"));
  const std::string joined = saved(web);
  const std::vector<std::string> joined_memo = web.Memo();
  EXPECT_FALSE(web.Modified());  // saved just now
  ASSERT_TRUE(web.Connect());
  const std::string connected = saved(web);
  ASSERT_TRUE(web.AttachAll());
  EXPECT_TRUE(web.Modified());
  EXPECT_EQ(web.Title(), "Zevrin Ver0.56 - halvejoin_in.mdl *");
  EXPECT_EQ(web.UndoName(), "Attach all");
  EXPECT_EQ(WithoutMarks(UndoItem(true, web.UndoName())), "元に戻す: Attach all");
  EXPECT_EQ(WithoutMarks(RedoItem(false, web.RedoName())), "Redo");

  ASSERT_TRUE(web.Undo());
  EXPECT_EQ(web.Status(false), "Undid Attach all");
  EXPECT_FALSE(web.Modified());  // back at what was saved last
  ASSERT_TRUE(web.Undo());
  EXPECT_EQ(saved(web), joined);
  EXPECT_EQ(web.Memo(), joined_memo);
  ASSERT_TRUE(web.Undo());
  EXPECT_EQ(web.Memo(), opened_memo);
  std::string now;
  ASSERT_TRUE(web.Save("", [&](const char* d, std::size_t n) { return now.append(d, n), true; }));
  EXPECT_EQ(now, opened);
  EXPECT_FALSE(web.CanUndo());
  EXPECT_FALSE(web.Undo());
  EXPECT_EQ(web.RedoName(), "Halvejoin");
  ASSERT_TRUE(web.Redo());
  EXPECT_EQ(web.Status(true), "Halvejoin をやり直しました。");
  ASSERT_TRUE(web.Redo());
  EXPECT_EQ(saved(web), connected);

  // An edit after an undo drops what could have been redone; a failed edit keeps the steps.
  ASSERT_TRUE(web.Undo());
  EXPECT_FALSE(web.Halvejoin("0,5"));
  EXPECT_TRUE(web.CanRedo());
  ASSERT_TRUE(web.DetachAll());
  EXPECT_FALSE(web.CanRedo());
  EXPECT_EQ(web.UndoName(), "Detach all");

  // Another file: a document of its own, unchanged, nothing to undo.
  ASSERT_TRUE(web.Open("half_box.mdl", bufferOf(readBytes(kExamples + "/half_box.mdl"))));
  EXPECT_FALSE(web.CanUndo());
  EXPECT_FALSE(web.Modified());
}

// A step larger than the budget is not kept, and the note says so in the window's words.
TEST(WebSession, TheUndoBudgetIsKeptAndNamed) {
  WebSession web;
  web.SetUndoBudget(1);
  ASSERT_TRUE(web.Open("half_box.mdl", bufferOf(readBytes(kExamples + "/half_box.mdl"))));
  ASSERT_TRUE(web.Halvejoin("0.001"));
  EXPECT_FALSE(web.CanUndo());
  EXPECT_EQ(web.Note(false), StepNotKept(false, 1));
  EXPECT_TRUE(web.Modified());
  ASSERT_TRUE(web.Connect());
  web.SetUndoBudget(WebSession::kUndoBudget);
  ASSERT_TRUE(web.AttachAll());
  EXPECT_EQ(web.Note(false), "");
  EXPECT_TRUE(web.CanUndo());
}

TEST(WebSession, KeyboardMarksLeaveTheCaptions) {
  EXPECT_EQ(WithoutMarks("元に戻す(&U): Halvejoin"), "元に戻す: Halvejoin");
  EXPECT_EQ(WithoutMarks("&Don't Save"), "Don't Save");
  EXPECT_EQ(WithoutMarks("Fish && &Chips"), "Fish & Chips");
  EXPECT_EQ(WithoutMarks("(&"), "(");
  EXPECT_EQ(WithoutMarks("&"), "");
}

TEST(WebSession, ProgressReachesThePageDuringAnOpen) {
  WebSession web;
  std::vector<std::int32_t> main_positions;
  web.OnProgress = [&](std::int32_t main, std::int32_t) { main_positions.push_back(main); };
  ASSERT_TRUE(web.Open("f.dxf", bufferOf(readBytes(kData + "/assimp_rifle_ac3d.dxf"))));
  ASSERT_FALSE(main_positions.empty());
  // 0 and 10 at the start, 20 and 30 once the polygons are read.
  EXPECT_NE(std::find(main_positions.begin(), main_positions.end(), 30), main_positions.end());
}

}  // namespace
}  // namespace zevrin::web
