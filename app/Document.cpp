#include "app/Document.h"

#include <filesystem>

#include "app/uAppConst.h"
#include "import/M_dxf.h"
#include "import/M_rok.h"
#include "import/PolyImport.h"
#include "mesh/AM5_cplist.h"
#include "model/AM_const.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"
#include "util/TextWriter.h"

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

void stepMain() {
  if (ProgressBar* bar = Shared().ProgressMain) bar->StepIt();
}

const PolygonFileReader* g_polygon_reader = nullptr;

// The faces of a DXF or ROK file from its text, or of a registered format from its path.
// The text is released once read: at a million faces it is the largest thing held.
std::unique_ptr<Mpolycommon> readPolygons(FileKindCode kind, FileBuffer& bytes,
                                          const std::string& path, bool expand_inserts) {
  std::unique_ptr<Mpolycommon> polygons;
  if (kind == kFileForeign) return g_polygon_reader->Read(path);
  if (kind == kFileDxf) {
    auto dxf = std::make_unique<Mdxf>();
    dxf->ExpandInserts = expand_inserts;
    polygons = std::move(dxf);
  } else {
    polygons = std::make_unique<Mrok>();
  }
  polygons->ReadText(bytes.view());
  bytes = FileBuffer();
  return polygons;
}

// A polygon file becomes the template model with the faces converted into its mesh. Errors
// of the template name the template.
void readPolygonDocument(FileKindCode kind, FileBuffer& bytes, const std::string& path,
                         bool expand_inserts, const std::string& template_file, M5amsuper& root) {
  if (ProgressBar* bar = Shared().ProgressMain) bar->SetStep(10);
  stepMain();
  std::unique_ptr<Mpolycommon> polygons = readPolygons(kind, bytes, path, expand_inserts);
  SetMainProgress(20);
  stepMain();
  try {
    const LineList template_lines = ReadFileLines(template_file);
    root.ReadSection(template_lines, 0);
    if (!HasPolygonTarget(root)) throw ZevrinError(ErrorKind::TemplateNoMesh, template_file);
  } catch (ZevrinError& e) {
    if (e.file().empty()) e.setFile(template_file);
    throw;
  }
  root.ImportPolygons(*polygons);
}

}  // namespace

FileKindCode FileKind(const std::string& path) {
  const std::size_t dot = extensionDot(path);
  if (dot == std::string::npos) return kFileNone;
  const std::string_view ext = std::string_view(path).substr(dot);
  // Segment files are model files too: the program saves them and must read them back.
  if (SameKeyword(ext, ".mdl") || SameKeyword(ext, ".seg")) return kFileModel;
  if (SameKeyword(ext, ".dxf")) return kFileDxf;
  if (SameKeyword(ext, ".rok")) return kFileRok;
  if (g_polygon_reader && g_polygon_reader->Reads(ext)) return kFileForeign;
  return kFileNone;
}

void SetPolygonFileReader(const PolygonFileReader* reader) { g_polygon_reader = reader; }
const PolygonFileReader* GetPolygonFileReader() { return g_polygon_reader; }

std::unique_ptr<Mpolycommon> ReadPolygonFile(const std::string& path, bool expand_inserts) {
  const FileKindCode kind = FileKind(path);
  if (kind == kFileNone || kind == kFileModel) return nullptr;
  try {
    FileBuffer bytes;
    if (kind != kFileForeign) bytes = ReadFileBuffer(path);
    return readPolygons(kind, bytes, path, expand_inserts);
  } catch (ZevrinError& e) {
    if (e.file().empty()) e.setFile(path);
    throw;
  }
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
    // Model and DXF files are read straight from their bytes, line by line, with no copy of
    // their lines.
    FileBuffer bytes;
    if (kind != kFileForeign) bytes = ReadFileBuffer(CurrentFile);
    shared.CpCount = 0;
    shared.SplineCount = 0;
    auto root = std::make_unique<M5amsuper>();
    switch (kind) {
      case kFileModel: {
        LineSource source(bytes.view());
        root->ReadFrom(source);
        break;
      }
      case kFileDxf:
      case kFileRok:
      case kFileForeign:
        readPolygonDocument(kind, bytes, CurrentFile, ExpandInserts, TemplateFile(), *root);
        break;
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
  if (kind == kFileDxf || kind == kFileRok || kind == kFileForeign)
    SaveFile = SaveFile.substr(0, extensionDot(SaveFile)) + ".mdl";

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

  // The lines go to the file as they are made, in large blocks.
  WriteFileAtomically(SaveFile, [&](const ByteSink& sink) {
    TextWriter out(sink);
    Document->Write(out);
    return out.Finish();
  });
}

namespace {

// The frame of every edit: the progress window shown with both bars at 0, the attach error
// file held back until the edit is complete.
template <class Edit>
void runEdit(ProgressWindow* progress, Edit&& edit) {
  ProgressShown shown(progress);
  SetMainProgress(0);
  if (ProgressBar* sub = Shared().ProgressSub) sub->SetPosition(0);
  AttachErrorDeferral deferral;
  edit();
  deferral.Flush();
}

}  // namespace

std::vector<std::string> DocumentSession::Halvejoin(double tolerance) {
  if (!Document) return {};
  Document->CheckHalvejoin();
  runEdit(Progress, [&] { Document->Halvejoin(tolerance); });
  const SharedState& s = Shared();
  const auto line = [](const char* key, std::int32_t before, std::int32_t after) {
    return key + IntToStr(before) + "+" + IntToStr(static_cast<std::int64_t>(after) - before) +
           "->" + IntToStr(after);
  };
  return {line("Number of cp=", s.CpCountBefore, s.CpCount),
          line("Number of spline=", s.SplineCountBefore, s.SplineCount)};
}

std::vector<std::string> DocumentSession::ConnectGroupedSplines() {
  if (!Document) return {};
  Document->CheckConnect();
  SharedState& s = Shared();
  s.CpCountBefore = s.CpCount;
  s.SplineCountBefore = s.SplineCount;
  runEdit(Progress, [&] { Document->ConnectGroupedSplines(); });
  return {"Number of cp=" + IntToStr(s.CpCountBefore) + "->" + IntToStr(s.CpCount),
          "Number of spline=" + IntToStr(s.SplineCountBefore) + "->" + IntToStr(s.SplineCount)};
}

void DocumentSession::AttachAll() {
  if (Document) runEdit(Progress, [&] { Document->AttachAll(); });
}

void DocumentSession::DetachAll() {
  if (Document) runEdit(Progress, [&] { Document->DetachAll(); });
}

void DocumentSession::MirrorBone(double tolerance) {
  if (Document) runEdit(Progress, [&] { Document->MirrorBone(tolerance); });
}

std::vector<std::string> DocumentSession::CountLines() {
  return {"Number of cp=" + IntToStr(Shared().CpCount),
          "Number of spline=" + IntToStr(Shared().SplineCount)};
}

}  // namespace zevrin
