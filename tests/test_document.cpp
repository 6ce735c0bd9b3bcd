// Opening and saving documents: file kinds, backups, failures that must leave everything as it
// was, the language rule and the status texts.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "app/session/Document.h"
#include "app/session/uAppConst.h"
#include "model/tree/AM_const.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"
#include "util/FilePath.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;
using test::crlf;
using test::readBytes;
using test::ScratchDir;
using test::writeBytes;

const std::string kModelA = "[MODELFILE]\nName=A\n[ENDMODELFILE]\n";
const std::string kModelB = "[MODELFILE]\r\n  Name=B  \r\n[ENDMODELFILE]";
const std::string kWrittenB = crlf({"[MODELFILE]", "Name=B", "[ENDMODELFILE]"});

TEST(FileKinds, ByExtensionIgnoringCase) {
  const auto kind = [](const char* path) { return FileKindOf(path, nullptr); };
  EXPECT_EQ(kind("/w/MODEL.MDL"), FileKind::Model);
  EXPECT_EQ(kind("/w/arm.Seg"), FileKind::Model);
  EXPECT_EQ(kind("model.Dxf"), FileKind::Dxf);
  EXPECT_EQ(kind("a.b/model.ROK"), FileKind::Rok);
  EXPECT_EQ(kind("model.mdl.txt"), FileKind::None);
  EXPECT_EQ(kind("model"), FileKind::None);
  EXPECT_EQ(kind("dir.mdl/model"), FileKind::None);
  EXPECT_EQ(kind("model."), FileKind::None);
  EXPECT_EQ(kind("/w/.mdl"), FileKind::Model);      // a name that is all extension
  EXPECT_EQ(kind("/w/model.obj"), FileKind::None);  // no polygon reader given
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override { session.Shared.Counts = {7, 3}; }
  void open(const std::string& path) {
    session.CurrentFile = path;
    ASSERT_EQ(session.LoadDocument().Outcome, LoadOutcome::Loaded);
  }
  ScratchDir dir;
  DocumentSession session;
};

TEST_F(Session, LoadThenSaveMakesTheBackupAndWritesCrLf) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  session.SaveDocument(session.CurrentFile);
  EXPECT_EQ(session.SaveFile, a);
  EXPECT_EQ(readBytes(a + ".bak"), kModelB);
  EXPECT_EQ(readBytes(a), kWrittenB);
  EXPECT_EQ(session.CountLines(),
            (std::vector<std::string>{"Number of cp=0", "Number of spline=0"}));
}

TEST_F(Session, MissingFileAndWrongExtensionLeaveTheOpenDocument) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelA);
  open(a);
  M5amsuper* doc = session.Document.get();
  session.CurrentFile = dir / "gone.mdl";
  EXPECT_EQ(session.LoadDocument().Outcome, LoadOutcome::FileMissing);
  writeBytes(dir / "notes.txt", kModelA);
  session.CurrentFile = dir / "notes.txt";
  EXPECT_EQ(session.LoadDocument().Outcome, LoadOutcome::WrongExtension);
  session.CurrentFile = dir.path().string();  // a folder is no file
  EXPECT_EQ(session.LoadDocument().Outcome, LoadOutcome::FileMissing);
  EXPECT_EQ(session.Document.get(), doc);
}

TEST_F(Session, FailedLoadKeepsDocumentAndCountersAndNamesFileAndLine) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelA);
  open(a);
  session.Shared.Counts.Cps = 12;
  M5amsuper* doc = session.Document.get();
  const std::string bad = dir / "bad.mdl";
  writeBytes(bad, "[MODELFILE]\n[MODEL]\nName=x\n");
  session.CurrentFile = bad;
  try {
    session.LoadDocument();
    FAIL() << "no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.describe(false), bad + ":2: List index out of range (3)");
  }
  EXPECT_EQ(session.Document.get(), doc);
  EXPECT_EQ(session.Shared.Counts.Cps, 12);
}

TEST_F(Session, NulByteEndsTheText) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, std::string("[MODELFILE]\nA=1\n[ENDMODELFILE]\n\0garbage", 40));
  open(a);
  writeBytes(a, std::string("[MODELFILE]\nA=1\0\n[ENDMODELFILE]\n", 31));
  EXPECT_THROW(session.LoadDocument(), ZevrinError);
}

TEST_F(Session, SaveAsExtensionRules) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  const std::pair<std::string, std::string> cases[] = {{"out", "out.mdl"},
                                                       {"out.seg", "out.seg"},
                                                       {"out.rok", "out.mdl"},
                                                       {"pic.DXF", "pic.mdl"},
                                                       {"x.txt", "x.txt"}};
  for (const auto& [given, written] : cases) {
    session.SaveDocument(dir / given);
    EXPECT_EQ(session.SaveFile, dir / written);
    EXPECT_EQ(readBytes(dir / written), kWrittenB) << given;
  }
  EXPECT_FALSE(fs::exists(a + ".bak"));
  EXPECT_EQ(session.CurrentFile, a);
}

TEST_F(Session, EveryReplacedFileIsBackedUpFirst) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  // Save As onto another existing file.
  const std::string other = dir / "other.mdl";
  writeBytes(other, "old other");
  session.SaveDocument(other);
  EXPECT_EQ(readBytes(other + ".bak"), "old other");
  // Save As "a" onto the opened "a.mdl".
  session.SaveDocument(dir / "a");
  EXPECT_EQ(readBytes(a + ".bak"), kModelB);
  // Save As a path that differs only in case backs up the opened file, as on the original
  // platform, and writes the other name.
  writeBytes(a, "before case");
  session.SaveDocument(dir / "A.MDL");
  EXPECT_EQ(readBytes(a + ".bak"), "before case");
  EXPECT_EQ(readBytes(dir / "A.MDL"), kWrittenB);
}

TEST_F(Session, SaveAfterSaveAsWritesTheOpenedFileAgain) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  session.SaveDocument(dir / "b.mdl");
  writeBytes(a, "edited elsewhere");
  session.SaveDocument(session.CurrentFile);
  EXPECT_EQ(session.SaveFile, a);
  EXPECT_EQ(readBytes(a + ".bak"), "edited elsewhere");
  EXPECT_EQ(readBytes(a), kWrittenB);
}

TEST_F(Session, PolygonDocumentSavesBesideWithoutTouchingThePolygonFile) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  // As after a DXF load: the opened path is the drawing.
  const std::string drawing = dir / "shape.dxf";
  writeBytes(drawing, "0\nEOF\n");
  writeBytes(dir / "shape.mdl", "earlier conversion");
  session.CurrentFile = drawing;
  session.SaveDocument(session.CurrentFile);
  EXPECT_EQ(session.SaveFile, dir / "shape.mdl");
  EXPECT_EQ(readBytes(drawing), "0\nEOF\n");
  EXPECT_EQ(readBytes(dir / "shape.mdl.bak"), "earlier conversion");
  EXPECT_FALSE(fs::exists(drawing + ".bak"));
}

TEST_F(Session, SaveGoesOnWhenTheOpenedFileIsGone) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  fs::remove(a);
  session.SaveDocument(session.CurrentFile);
  EXPECT_EQ(readBytes(a), kWrittenB);
  EXPECT_FALSE(fs::exists(a + ".bak"));
}

TEST_F(Session, SaveKeepsPermissionsAndFollowsLinks) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  fs::permissions(a, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  open(a);
  session.SaveDocument(a);
  EXPECT_EQ(fs::status(a).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string link = dir / "link.mdl";
  fs::create_symlink(a, link);
  session.SaveDocument(link);
  EXPECT_TRUE(fs::is_symlink(link));
}

// Counts the files in the scratch folder, so that no temporary file is left behind.
std::size_t fileCount(const ScratchDir& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path()), {}));
}

TEST_F(Session, FailedWriteIsAnErrorAndLeavesTargetAndBackupIntact) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  writeBytes(a + ".bak", "previous backup");
  writeBytes(a, "current content");
  const std::size_t files = fileCount(dir);
  // Every write stops short: the backup copy fails first.
  session.Writer = [](const char*, std::size_t size, std::FILE*) { return size / 2; };
  try {
    session.SaveDocument(a);
    ADD_FAILURE() << "no error";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::CannotWrite);
    EXPECT_EQ(e.message(false), "Cannot write file " + a + ".bak");
  }
  session.Writer = nullptr;
  EXPECT_EQ(readBytes(a + ".bak"), "previous backup");
  EXPECT_EQ(readBytes(a), "current content");
  EXPECT_EQ(fileCount(dir), files);

  // Only the model's write fails: the backup is fresh, the model untouched.
  int calls = 0;
  session.Writer = [&](const char* data, std::size_t size, std::FILE* f) {
    return ++calls == 1 ? std::fwrite(data, 1, size, f) : 0;
  };
  EXPECT_THROW(session.SaveDocument(a), ZevrinError);
  session.Writer = nullptr;
  EXPECT_EQ(readBytes(a + ".bak"), "current content");
  EXPECT_EQ(readBytes(a), "current content");
  EXPECT_EQ(fileCount(dir), files);
}

TEST_F(Session, FileSizeLimitMakesTheSaveFailWithoutDamage) {
  // A real failing device: the file-size limit of a child process.
  const std::string a = dir / "a.mdl";
  std::string big = "[MODELFILE]\n";
  for (int k = 0; k < 2000; ++k) big += "Line=" + std::to_string(k) + "\n";
  big += "[ENDMODELFILE]\n";
  writeBytes(a, big);
  open(a);
  const std::string target = dir / "b.mdl";
  writeBytes(target, "keep me");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      session.SaveDocument(target);
    } catch (const ZevrinError& e) {
      _exit(e.kind() == ErrorKind::CannotWrite ? 0 : 2);
    }
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readBytes(target), "keep me");
  EXPECT_EQ(readBytes(target + ".bak"), "keep me");
}

TEST_F(Session, DevicesAreNeverReplaced) {
  const std::string a = dir / "a.mdl";
  writeBytes(a, kModelB);
  open(a);
  const std::string fifo = dir / "pipe.mdl";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(session.SaveDocument(fifo), ZevrinError);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(CopyFiles, EmptySourceExactChunkAndMissingSource) {
  ScratchDir dir;
  writeBytes(dir / "empty", "");
  CopyFile(dir / "empty", dir / "empty.copy");
  EXPECT_TRUE(fs::exists(dir / "empty.copy"));
  EXPECT_EQ(readBytes(dir / "empty.copy"), "");
  const std::string chunk(8192, 'z');
  writeBytes(dir / "chunk", chunk);
  CopyFile(dir / "chunk", dir / "chunk.copy");
  EXPECT_EQ(readBytes(dir / "chunk.copy"), chunk);
  fs::create_directory(dir / "sub");
  CopyFile(dir / "chunk", dir / "sub");
  EXPECT_EQ(readBytes(dir / "sub/chunk"), chunk);
  try {
    CopyFile(dir / "none", dir / "x");
    FAIL();
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.message(true), "ファイル " + (dir / "none") + " は開けません");
  }
  try {
    CopyFile(dir / "chunk", dir / "no/such/folder/x");
    FAIL();
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.message(false), "Cannot create file " + (dir / "no/such/folder/x"));
  }
}

class Environment : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(n);
      saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(n);
    }
  }
  void TearDown() override {
    for (const auto& [n, v] : saved_) {
      if (v)
        setenv(n.c_str(), v->c_str(), 1);
      else
        unsetenv(n.c_str());
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(Environment, JapaneseExactlyWhenTheFirstSetVariableSaysJa) {
  EXPECT_FALSE(JapaneseFromEnvironment());
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_TRUE(JapaneseFromEnvironment());
  setenv("LC_MESSAGES", "", 1);  // set but empty: skipped
  EXPECT_TRUE(JapaneseFromEnvironment());
  setenv("LC_MESSAGES", "C", 1);
  EXPECT_FALSE(JapaneseFromEnvironment());
  setenv("LC_ALL", "ja", 1);
  EXPECT_TRUE(JapaneseFromEnvironment());
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_FALSE(JapaneseFromEnvironment());
}

TEST(StatusTexts, BothLanguages) {
  EXPECT_EQ(StatusOpened(true, "/m/a.mdl"), "/m/a.mdl を読み込みました。");
  EXPECT_EQ(StatusOpened(false, "/m/a.mdl"), "Opend /m/a.mdl");
  EXPECT_EQ(StatusSaved(true, "/m/a.mdl"), "/m/a.mdlへ上書き保存しました");
  EXPECT_EQ(StatusSaved(false, "/m/a.mdl"), "Saved as /m/a.mdl");
  EXPECT_EQ(StatusSavedAs(true, "/m/b.mdl"), "/m/b.mdlへ保存しました");
  EXPECT_EQ(StatusSavedAs(false, "/m/b.mdl"), "Saved /m/b.mdl");
  EXPECT_EQ(ZevrinError(ErrorKind::FileMissing, "").message(true),
            "Error:ファイルが存在しません！！");
  EXPECT_EQ(ZevrinError(ErrorKind::WrongExtension, "").message(false),
            "Error:filename Extension!!");
}

TEST(FilePaths, ExtensionsOfTheFileNameOnly) {
  EXPECT_EQ(FileExtension("/w/a.b/model.MDL"), ".MDL");
  EXPECT_EQ(FileExtension("/w/a.b/model"), "");
  EXPECT_EQ(FileExtension("model.tar.gz"), ".gz");
  EXPECT_EQ(FileExtension("model."), ".");
  EXPECT_EQ(FileExtension("dir/"), "");
  EXPECT_TRUE(HasExtension("x/Y.Png", ".png"));
  EXPECT_FALSE(HasExtension("x.png/y", ".png"));
  EXPECT_EQ(ReplaceExtension("/w/a.b/model.dxf", ".mdl"), "/w/a.b/model.mdl");
  EXPECT_EQ(ReplaceExtension("/w/a.b/model", ".mdl"), "/w/a.b/model.mdl");
}

// A model with a bone, a group, a section of its own and a point attached to nothing.
const std::string kEverything =
    "[MODELFILE]\n[MODEL]\n[MESH]\nCPs=2\n0 0 1\n1 0 0\n0\n0\n0 1 2\n99\n0\n0\n[ENDMESH]\n"
    "[GROUP]\nName=g\nCount=1\n1\n[ENDGROUP]\n[SEGMENT]\nName=arm\nPivot=1 0 0\nEnd=2 0 0\n"
    "[SEGMENT]\nName=hand\nPivot=2 0 0\nEnd=3 0 0\n[ENDSEGMENT]\n[ENDSEGMENT]\n[DECALS]\n"
    "[ENDDECALS]\n[ENDMODEL]\n[ENDMODELFILE]\n";

TEST_F(Session, StepsReportWhatTheyDidAndTheCoreWritesNoFile) {
  // Everything a step has to say comes back in its result: the folder it runs in stays
  // empty until a front end writes the result's files.
  const ScratchDir cwd;
  const fs::path old = fs::current_path();
  fs::current_path(cwd.path());
  writeBytes(dir / "all.mdl", kEverything);
  session.CurrentFile = dir / "all.mdl";
  const StepResult loaded = session.LoadDocument();
  ASSERT_TRUE(loaded.AttachErrors);
  EXPECT_EQ(loaded.AttachErrors->Problems,
            (std::vector<AttachProblem>{{2, 99, AttachProblemKind::NoSuchPoint}}));
  EXPECT_EQ(loaded.Memo, (std::vector<std::string>{"Number of cp=2", "Number of spline=1"}));
  EXPECT_EQ(loaded.LeftOut, SaveOmissions{});

  session.Shared.Mirror = MirrorSettings{MirrorRule::Append, "", "", "_r"};
  const StepResult mirrored = session.MirrorBone(0.5);
  EXPECT_EQ(mirrored.BonesCopied, 2);
  EXPECT_TRUE(mirrored.Memo.empty());

  const StepResult joined = session.Halvejoin(0.1);
  EXPECT_EQ(joined.CountsBefore, (MeshCounts{2, 1}));
  EXPECT_EQ(joined.Counts, (MeshCounts{3, 1}));
  // Four bones (two and their copies), the group and the section of its own.
  EXPECT_EQ(joined.LeftOut, (SaveOmissions{4, 1, 1}));
  EXPECT_TRUE(joined.AttachErrors);
  EXPECT_EQ(session.AttachAll().BonesCopied, 0);
  EXPECT_TRUE(fs::is_empty(cwd.path()));

  WriteResultFiles(joined);
  EXPECT_EQ(readBytes(cwd / "attach_err.txt"),
            crlf({"アタッチ先が無い", "num_of_cp=3", "cpid=2 at_cpid=0"}));
  fs::current_path(old);
}

TEST_F(Session, DiagnosticDumpsComeBackOnlyWhenAsked) {
  writeBytes(dir / "all.mdl", kEverything);
  session.CurrentFile = dir / "all.mdl";
  session.LoadDocument();
  EXPECT_TRUE(session.Halvejoin(0.1).Dumps.empty());
  session.Shared.DebugDump = true;
  session.LoadDocument();
  std::vector<std::string> names;
  for (const DumpFile& d : session.Halvejoin(0.1).Dumps) names.push_back(d.Name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"3_cp_renumber.txt", "3_cp_renumber splines.txt", "6_sd.txt",
                                      "6_sd splines.txt", "7_hook_cor.txt",
                                      "7_hook_cor splines.txt", "9b_attach_cor splines.txt"}));
}

TEST_F(Session, AStoppedLoadLeavesTheOpenDocument) {
  test::StoppableProgress window;
  session.Progress = &window;
  writeBytes(dir / "all.mdl", kEverything);
  session.CurrentFile = dir / "all.mdl";
  session.LoadDocument();
  const M5amsuper* open = session.Document.get();
  window.stop = true;
  try {
    session.LoadDocument();
    ADD_FAILURE() << "not stopped";
  } catch (const ZevrinError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Cancelled);
  }
  EXPECT_EQ(session.Document.get(), open);
  EXPECT_THROW(session.Halvejoin(0.1), ZevrinError);
  window.stop = false;
  EXPECT_EQ(session.ConnectGroupedSplines().Memo.size(), 2u);
  session.Progress = nullptr;
}

TEST(Progress, SubBarPacing) {
  BasicProgressBar sub;
  Progress bars(nullptr, &sub);
  bars.ResetSub();
  for (int k = 0; k < 5; ++k) bars.StepSub(0);  // total 0: a step on every call
  EXPECT_EQ(sub.Position(), 5);
  bars.ResetSub();
  for (int k = 0; k < 22; ++k) bars.StepSub(1050);  // every eleventh call
  EXPECT_EQ(sub.Position(), 2);
  bars.ResetSub();
  for (int k = 0; k < 10; ++k) bars.StepSub(150);  // every second call
  EXPECT_EQ(sub.Position(), 5);
  Progress none;
  none.StepSub(3);  // no bar: nothing to move, nothing breaks
}

}  // namespace
}  // namespace zevrin
