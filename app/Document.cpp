#include "app/Document.h"

#include <filesystem>

#include "app/uAppConst.h"
#include "model/AM_const.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"

namespace fs = std::filesystem;

namespace zevrin {
namespace {

// Position of the extension's dot within `path`, or npos when its file name has none.
std::size_t extensionDot(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name_begin = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  return (dot == std::string::npos || dot < name_begin) ? std::string::npos : dot;
}

bool samePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// Hides the progress window however the load ends.
class ProgressShown {
 public:
  explicit ProgressShown(ProgressWindow* window) : window_(window) {
    if (window_) window_->Show();
  }
  ~ProgressShown() {
    if (window_) window_->Hide();
  }
  ProgressShown(const ProgressShown&) = delete;
  ProgressShown& operator=(const ProgressShown&) = delete;

 private:
  ProgressWindow* window_;
};

}  // namespace

FileKindCode FileKind(const std::string& path) {
  const std::size_t dot = extensionDot(path);
  if (dot == std::string::npos) return kFileNone;
  const std::string_view ext = std::string_view(path).substr(dot);
  // Segment files are model files too: the program saves them and must read them back.
  if (SameKeyword(ext, ".mdl") || SameKeyword(ext, ".seg")) return kFileModel;
  if (SameKeyword(ext, ".dxf")) return kFileDxf;
  if (SameKeyword(ext, ".rok")) return kFileRok;
  return kFileNone;
}

std::string DocumentSession::TemplateFile() const {
  if (!TemplatePath.empty()) return TemplatePath;
  return (fs::path(ProgramDir()) / kTemplateFileName).string();
}

LoadOutcome DocumentSession::LoadDocument() {
  if (!FileExists(CurrentFile)) return LoadOutcome::FileMissing;
  const FileKindCode kind = FileKind(CurrentFile);
  if (kind == kFileNone) {
    if (Progress) Progress->Hide();
    return LoadOutcome::WrongExtension;
  }
  ProgressShown shown(Progress);
  SetMainProgress(0);

  // The counters are set while the new file is read. A file without a mesh shows zero
  // counts rather than the previous document's, and a failed read leaves the old ones.
  SharedState& shared = Shared();
  const std::int32_t old_cps = shared.CpCount;
  const std::int32_t old_splines = shared.SplineCount;
  try {
    SetMainProgress(10);
    const LineList lines = ReadFileLines(CurrentFile);
    shared.CpCount = 0;
    shared.SplineCount = 0;
    auto root = std::make_unique<M5amsuper>();
    switch (kind) {
      case kFileModel:
        root->ReadSection(lines, 0);
        break;
      case kFileDxf:
        throw ZevrinError(ErrorKind::NotSupported, "DXF");
      case kFileRok:
        throw ZevrinError(ErrorKind::NotSupported, "ROK");
      case kFileNone:
        break;
    }
    Document = std::move(root);
  } catch (ZevrinError& e) {
    shared.CpCount = old_cps;
    shared.SplineCount = old_splines;
    if (e.file().empty()) e.setFile(CurrentFile);
    throw;
  }
  return LoadOutcome::Loaded;
}

void DocumentSession::SaveDocument(const std::string& path) {
  SaveFile = path;
  // A polygon file is never overwritten: x.dxf becomes x.mdl.
  const FileKindCode kind = FileKind(SaveFile);
  if (kind == kFileDxf || kind == kFileRok) SaveFile = SaveFile.substr(0, extensionDot(SaveFile)) + ".mdl";

  // Overwriting the opened file keeps its previous content as name + ".bak". When the opened
  // file is gone there is nothing to keep, and the save goes on.
  bool current_backed_up = false;
  if (SameKeyword(CurrentFile, SaveFile) && FileExists(CurrentFile)) {
    CopyFile(CurrentFile, CurrentFile + ".bak");
    current_backed_up = true;
  }
  if (extensionDot(SaveFile) == std::string::npos) SaveFile += ".mdl";
  // Whatever other file the save replaces is kept the same way: no save destroys a file
  // without a copy.
  if (FileExists(SaveFile) && !(current_backed_up && samePath(CurrentFile, SaveFile)))
    CopyFile(SaveFile, SaveFile + ".bak");

  LineList lines;
  Document->WriteSection(lines);
  WriteLinesFile(SaveFile, lines);
}

std::vector<std::string> DocumentSession::CountLines() {
  return {"Number of cp=" + IntToStr(Shared().CpCount),
          "Number of spline=" + IntToStr(Shared().SplineCount)};
}

}  // namespace zevrin
