// Hostile files, each opened as a user would open it: every one ends in a clear error naming
// the file and the line, or opens as the rules say, never in a crash or a hang.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/session/Document.h"
#include "model/tree/AM_const.h"
#include "tests/TestUtil.h"
#include "util/Errors.h"

namespace zevrin {
namespace {

namespace fs = std::filesystem;

std::string mesh(const std::string& body) {
  return "[MODELFILE]\n[MODEL]\n[MESH]\n" + body + "[ENDMESH]\n[ENDMODEL]\n[ENDMODELFILE]\n";
}

class Hostile : public test::InScratchDir {
 protected:
  // The error a load of `bytes` (saved as `name`) gives, with the path shown as FILE; the
  // empty text when it opens.
  std::string openError(const std::string& bytes, const std::string& name = "h.mdl") {
    test::writeBytes(dir_ / name, bytes);
    session_.CurrentFile = dir_ / name;
    try {
      loaded_ = session_.LoadDocument();
      if (loaded_.Outcome != LoadOutcome::Loaded) return "not opened";
    } catch (const ZevrinError& e) {
      std::string text = e.describe(false);
      const std::string path = dir_ / name;
      if (text.compare(0, path.size(), path) == 0) text.replace(0, path.size(), "FILE");
      return text;
    }
    return "";
  }

  DocumentSession session_;
  StepResult loaded_;  // of the last load
};

// The attach error file a result asks for, as it is written.
std::string attachErrors(const StepResult& result) {
  return result.AttachErrors ? test::crlf(result.AttachErrors->Lines()) : std::string();
}

TEST_F(Hostile, MalformedModelFilesNameTheirLine) {
  const std::pair<std::string, std::string> cases[] = {
      // Truncated records and missing end lines.
      {mesh("CPs=2\n0 0 1\n0 0 0\n0\n0\n0 0 2\n"), "FILE:4: List index out of range (6)"},
      {"[MODELFILE]\n[MODEL]\nName=x\n", "FILE:2: List index out of range (3)"},
      {"", "FILE: List index out of range (0)"},
      {mesh("CPs=2147483647\n0 0 1\n0 0 0\n0\n"), "FILE:4: List index out of range (4)"},
      // Flag words out of range, and numbers the grammar refuses.
      {mesh("CPs=1\n4294967296 0 1\n0 0 0\n0\n0\n"), "FILE:5: Range check error"},
      {mesh("CPs=1\n-1 0 1\n0 0 0\n0\n0\n"), "FILE:5: Range check error"},
      {mesh("CPs=1\n0 0 1\n1e999 0 0\n0\n0\n"), "FILE:6: '1e999' is not a number"},
      {mesh("CPs=1\n0 0 1\nnan 0 0\n0\n0\n"), "FILE:6: 'nan' is not a number"},
      {mesh("CPs=1\n0 0 1\ninf 0 0\n0\n0\n"), "FILE:6: 'inf' is not a number"},
      {mesh("CPs=1\n0 0 0x10\n0 0 0\n0\n0\n"), "FILE:5: '0x10' is not an integer"},
      {mesh("CPs=1\n0 0 1\n1,5 0 0\n0\n0\n"), "FILE:6: '1,5' is not a number"},
      {mesh("CPs=1\n0 0 1\n0 0\n0\n0\n"), "FILE:6: '' is not a number"},
      {mesh("CPs=1\n0 0 1\n0 0 0\n0 0\n0\n"), "FILE:7: '' is not a number"},
      {mesh("CPs=1\n0 0 2147483648\n0 0 0\n0\n0\n"), "FILE:5: '2147483648' is not an integer"},
      {"[MODELFILE]\n[MODEL]\nBounds=1 2 3\n[ENDMODEL]\n[ENDMODELFILE]\n",
       "FILE:3: '' is not a number"},
      {"[MODELFILE]\n[MODEL]\n[GROUP]\nCount=x\n[ENDGROUP]\n[ENDMODEL]\n[ENDMODELFILE]\n",
       "FILE:4: 'x' is not an integer"},
      {"[MODELFILE]\n[SEGMENT]\nPivot=0 0\n[ENDSEGMENT]\n[ENDMODELFILE]\n",
       "FILE:3: '' is not a number"},
      // A NUL byte ends the text: the end lines after it are never seen.
      {std::string("[MODELFILE]\nA=1\n\0[ENDMODELFILE]\n", 30),
       "FILE:1: List index out of range (2)"},
      // A later version's tag format is no bracketed section file.
      {"<MODEL>\n<NAME>x</NAME>\n</MODEL>\n", "FILE:1: List index out of range (3)"},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(openError(bytes), expected) << bytes;
}

TEST_F(Hostile, DeepNestingIsRefusedAtTheLimit) {
  std::string deep;
  for (int k = 0; k < 100000; ++k) deep += "[S]\n";
  for (int k = 0; k < 100000; ++k) deep += "[ENDS]\n";
  EXPECT_EQ(openError(deep), "FILE:" + std::to_string(kMaxSectionDepth + 1) +
                                 ": Sections nested too deeply (at most " +
                                 std::to_string(kMaxSectionDepth) + " levels)");
  std::string bones = "[MODELFILE]\n";
  for (int k = 0; k < 100000; ++k) bones += "[SEGMENT]\n";
  EXPECT_EQ(openError(bones), "FILE:" + std::to_string(kMaxSectionDepth + 1) +
                                  ": Sections nested too deeply (at most " +
                                  std::to_string(kMaxSectionDepth) + " levels)");
}

TEST_F(Hostile, AHundredMegabyteLineIsJustALine) {
  std::string bytes = "[MODELFILE]\nKey=";
  bytes.append(100u << 20, 'x');
  bytes += "\n[ENDMODELFILE]\n";
  EXPECT_EQ(openError(bytes), "");
  session_.SaveDocument(dir_ / "out.mdl");
  EXPECT_EQ(fs::file_size(dir_ / "out.mdl"), bytes.size() + 3);  // CR LF on each of 3 lines
}

TEST_F(Hostile, AttachmentRingsAndSelfAttachmentOpenAndAreReported) {
  EXPECT_EQ(openError(mesh("CPs=3\n0 1 1\n1\n0\n0\n0 1 2\n3\n0\n0\n0 1 3\n2\n0\n0\n")), "");
  EXPECT_EQ(attachErrors(loaded_),
            test::crlf({"アタッチ先が無い", "num_of_cp=3", "cpid=1 at_cpid=1", "cpid=2 at_cpid=3",
                        "cpid=3 at_cpid=2"}));
  // Every edit finishes on it.
  EXPECT_EQ(session_.Halvejoin(0.1).Memo.size(), 2u);
  session_.AttachAll();
  session_.DetachAll();
  session_.SaveDocument(dir_ / "ring_out.mdl");
}

TEST_F(Hostile, IdsAtThe32BitLimitsMirrorWithoutOverflow) {
  EXPECT_EQ(openError(mesh("CPs=3\n0 0 2147483647\n1 0 0\n0\n0\n0 0 -2147483648\n2 0 0\n0\n0\n"
                           "0 1 5\n2147483647\n0\n0\n")),
            "");
  const StepResult joined = session_.Halvejoin(0.1);
  EXPECT_EQ(joined.Memo, test::lines({"Number of cp=3+3->6", "Number of spline=1+1->2"}));
  session_.SaveDocument(dir_ / "limits.mdl");
  const std::string saved = test::readBytes(dir_ / "limits.mdl");
  // Renumbered 1..3; the copies 4..6, the attached copy following its target's copy.
  EXPECT_NE(saved.find("0 1 6\r\n4\r\n"), std::string::npos);
  EXPECT_FALSE(loaded_.AttachErrors);
  EXPECT_FALSE(joined.AttachErrors);
}

TEST_F(Hostile, NamesInAnyEncodingComeBackByteForByte) {
  const std::string sjis = "\x83\x5c\x83\x74\x83\x67";  // a Shift-JIS word with 0x5C bytes
  const std::string broken = "\xff\xfe\xc3(";           // not UTF-8 at all
  const std::string bytes = "[MODELFILE]\r\n[MODEL]\r\n[GROUP]\r\nName=" + sjis +
                            "\r\nCount=0\r\n[ENDGROUP]\r\n[SEGMENT]\r\nName=" + broken +
                            "\r\n[ENDSEGMENT]\r\n[ENDMODEL]\r\n[ENDMODELFILE]\r\n";
  EXPECT_EQ(openError(bytes), "");
  session_.SaveDocument(dir_ / "names.mdl");
  EXPECT_EQ(test::readBytes(dir_ / "names.mdl"), bytes);
  EXPECT_EQ(openError(mesh("CPs=1\n0 0 " + broken + "\n0 0 0\n0\n0\n")),
            "FILE:5: '" + broken + "' is not an integer");
}

TEST_F(Hostile, PolygonFilesThatCannotBeRead) {
  // A DXF whose last group code has no value line, and ROK faces naming what is not there.
  EXPECT_EQ(openError("0\nSECTION\n2\nENTITIES\n0\n", "odd.dxf"),
            "FILE:5: List index out of range (5)");
  EXPECT_EQ(openError("ROKU4\r\nPOINT\r\n1\r\n0\r\n0\r\n0\r\nLINE0\r\n1\r\n1\r\n9\r\n0\r\n"
                      "0\r\nFACE0\r\n1\r\n0\r\n0\r\n1\r\n1\r\nEND00\r\n",
                      "missing.rok")
                .find("which the file does not list"),
            std::string::npos);
}

}  // namespace
}  // namespace zevrin
