#include "app/session/Document.h"

#include <filesystem>

#include "app/session/uAppConst.h"
#include "import/M_dxf.h"
#include "import/M_rok.h"
#include "model/AM5_group.h"
#include "model/AM5_model.h"
#include "model/TagModel.h"
#include "model/tree/AM5_nosection.h"
#include "util/Errors.h"
#include "util/FilePath.h"
#include "util/TextWriter.h"

namespace fs = std::filesystem;

namespace zevrin {
namespace {

// Whether the file at `path` begins with the line of a tag file.
bool startsAsTagFile(const std::string& path) {
  std::string head;
  try {
    head = ReadFileHead(path, 16);
  } catch (const ZevrinError&) {
    return false;  // the read proper names the error
  }
  return IsTagFileText(head);
}

bool samePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// The faces of a DXF or ROK file from its text, or of another format from its path. The text
// is released once read: at a million faces it is the largest thing held.
std::unique_ptr<Mpolycommon> readPolygons(FileKind kind, FileBuffer& bytes, const std::string& path,
                                          const PolygonOptions& options,
                                          const PolygonFileReader* reader, StepContext& step) {
  if (kind == FileKind::Foreign) return reader->Read(path, step);
  std::unique_ptr<Mpolycommon> polygons;
  if (kind == FileKind::Dxf) {
    auto dxf = std::make_unique<Mdxf>();
    dxf->ExpandInserts = options.ExpandInserts;
    dxf->ParallelFromBytes = options.ParallelFromBytes;
    polygons = std::move(dxf);
  } else {
    polygons = std::make_unique<Mrok>();
  }
  polygons->ReadText(bytes.view(), step);
  bytes = FileBuffer();
  return polygons;
}

// A polygon file becomes the template model with the faces converted into its mesh. Errors
// of the template name the template.
void readPolygonDocument(FileKind kind, FileBuffer& bytes, const std::string& path,
                         const PolygonOptions& options, const PolygonFileReader* reader,
                         const std::string& template_file,
                         const std::optional<std::string>& template_text, M5amsuper& root,
                         StepContext& step) {
  step.Bars.SetMainStep(10);
  step.Bars.StepMain();
  std::unique_ptr<Mpolycommon> polygons = readPolygons(kind, bytes, path, options, reader, step);
  step.Bars.SetMain(20);
  step.Bars.StepMain();
  WithFile(template_text ? kTemplateFileName : template_file, [&] {
    const LineList template_lines =
        template_text ? SplitLines(*template_text) : ReadFileLines(template_file);
    root.ReadSection(template_lines, 0, step);
    if (!HasPolygonTarget(root)) throw ZevrinError(ErrorKind::TemplateNoMesh, template_file);
  });
  step.Import = options.Import;
  root.ImportPolygons(*polygons, step);
}

// The mirrored bones below `root`, of either format.
std::int32_t mirroredBones(const M5amsuper& root) {
  std::int32_t count = 0;
  WalkTree(root, [&](const M5amsuper& node) {
    if (const auto* bone = dynamic_cast<const M5segment*>(&node); bone && bone->MirroredCopy)
      ++count;
    if (const auto* bone = dynamic_cast<const TagBone*>(&node); bone && bone->MirroredCopy) ++count;
    return WalkOn::Into;
  });
  return count;
}

std::string countLine(const char* key, std::int32_t before, std::int32_t after, bool with_change) {
  std::string line = key + IntToStr(before);
  if (with_change) line += "+" + IntToStr(static_cast<std::int64_t>(after) - before);
  return line + "->" + IntToStr(after);
}

}  // namespace

FileKind FileKindOf(const std::string& path, const PolygonFileReader* reader) {
  const std::string_view ext = FileExtension(path);
  if (ext.empty()) return FileKind::None;
  // Segment files are model files too: the program saves them and must read them back.
  if (SameKeyword(ext, ".mdl") || SameKeyword(ext, ".seg")) return FileKind::Model;
  if (SameKeyword(ext, ".dxf")) return FileKind::Dxf;
  if (SameKeyword(ext, ".rok")) return FileKind::Rok;
  if (reader && reader->Reads(ext)) return FileKind::Foreign;
  return FileKind::None;
}

std::unique_ptr<Mpolycommon> ReadPolygonFile(const std::string& path, const PolygonOptions& options,
                                             const PolygonFileReader* reader, StepContext& step) {
  const FileKind kind = FileKindOf(path, reader);
  if (kind == FileKind::None || kind == FileKind::Model) return nullptr;
  return WithFile(path, [&] {
    FileBuffer bytes;
    if (kind != FileKind::Foreign) bytes = ReadFileBuffer(path);
    return readPolygons(kind, bytes, path, options, reader, step);
  });
}

SaveOmissions OmissionsOf(const M5amsuper& root) {
  SaveOmissions out;
  WalkTree(root, [&](const M5amsuper& node) {
    if (const auto* model = dynamic_cast<const TagModel*>(&node))
      out.ListLines += model->ListLinesLeftOut;
    if (!node.IsSuppressed()) return WalkOn::Into;
    if (dynamic_cast<const M5segment*>(&node)) {
      ++out.Bones;  // its child bones are counted as they are met
      return WalkOn::Into;
    }
    if (dynamic_cast<const M5group*>(&node)) {
      ++out.Groups;
    } else {
      ++out.Sections;  // with everything inside it
    }
    return WalkOn::Over;
  });
  return out;
}

void WriteResultFiles(const StepResult& result) {
  if (result.AttachErrors) WriteLinesFile(AttachReport::kFileName, result.AttachErrors->Lines());
  for (const DumpFile& dump : result.Dumps) WriteLinesFile(dump.Name, dump.Lines);
}

std::string DocumentSession::TemplateFile() const {
  if (!TemplatePath.empty()) return TemplatePath;
  return (fs::path(ProgramDir()) / kTemplateFileName).string();
}

std::unique_ptr<StepContext> DocumentSession::newStep() const {
  auto step = std::make_unique<StepContext>(
      Progress ? zevrin::Progress(Progress->MainBar(), Progress->SubBar(), Progress->CancelFlag())
               : zevrin::Progress());
  step->DebugDump = Shared.DebugDump;
  step->Sections = &ModelFileSections();
  step->TagNodes = &MakeTagNode;
  return step;
}

StepResult DocumentSession::finish(StepContext& step) {
  StepReport& report = step.Report;
  if (report.Before) Shared.CountsBefore = *report.Before;
  if (report.After) Shared.Counts = *report.After;
  StepResult result;
  result.Counts = Shared.Counts;
  result.CountsBefore = Shared.CountsBefore;
  result.AttachErrors = std::move(report.AttachErrors);
  result.Dumps = std::move(report.Dumps);
  if (Document) result.LeftOut = OmissionsOf(*Document);
  return result;
}

StepResult DocumentSession::LoadDocument() {
  StepResult refused;
  if (!FileExists(CurrentFile)) {
    refused.Outcome = LoadOutcome::FileMissing;
    return refused;
  }
  FileKind kind = KindOf(CurrentFile);
  // A tag file is one by its first line, whatever its name.
  if (kind != FileKind::Model && startsAsTagFile(CurrentFile)) kind = FileKind::Model;
  if (kind == FileKind::None) {
    if (Progress) Progress->Hide();
    refused.Outcome = LoadOutcome::WrongExtension;
    return refused;
  }
  return load(CurrentFile, kind, [&] {
    // Model and DXF files are read straight from their bytes, line by line, with no copy of
    // their lines.
    return kind != FileKind::Foreign ? ReadFileBuffer(CurrentFile) : FileBuffer();
  });
}

StepResult DocumentSession::LoadDocumentBytes(const std::string& name, FileBuffer bytes) {
  FileKind kind = KindOf(name);
  if (IsTagFileText(bytes.view())) kind = FileKind::Model;
  if (kind == FileKind::None) {
    StepResult refused;
    refused.Outcome = LoadOutcome::WrongExtension;
    return refused;
  }
  StepResult result = load(name, kind, [&] { return std::move(bytes); });
  CurrentFile = name;
  return result;
}

template <class Read>
StepResult DocumentSession::load(const std::string& name, FileKind kind, Read&& read) {
  ProgressShown shown(Progress);
  const std::unique_ptr<StepContext> step = newStep();
  step->Bars.SetMain(0);
  WithFile(name, [&] {
    step->Bars.SetMain(10);
    FileBuffer bytes = read();
    std::unique_ptr<M5amsuper> root;
    if (kind == FileKind::Model && IsTagFileText(bytes.view())) root = std::make_unique<TagFile>();
    if (!root) root = std::make_unique<M5amsuper>();
    if (kind == FileKind::Model) {
      LineSource source(bytes.view());
      root->ReadFrom(source, *step);
    } else {
      readPolygonDocument(kind, bytes, name, Polygons, PolygonReader, TemplateFile(), TemplateText,
                          *root, *step);
    }
    Format = IsTagDocument(*root) ? SaveFormat::Tag : SaveFormat::Bracketed;
    Document = std::move(root);
  });
  // A file without a mesh shows zero counts rather than the previous document's.
  Shared.Counts = MeshCounts{};
  StepResult result = finish(*step);
  result.Memo = CountLines();
  return result;
}

std::string DocumentSession::modelPathOf(const std::string& path) const {
  // A polygon file is never overwritten: x.dxf becomes x.mdl.
  const FileKind kind = KindOf(path);
  if (kind == FileKind::Dxf || kind == FileKind::Rok || kind == FileKind::Foreign)
    return ReplaceExtension(path, ".mdl");
  return path;
}

std::string DocumentSession::SaveNameOf(const std::string& path) const {
  std::string name = modelPathOf(path);
  if (ExtensionDot(name) == std::string::npos) name += ".mdl";
  return name;
}

bool DocumentSession::WriteDocument(const ByteSink& sink) const {
  TextWriter out(sink);
  if (Format == SaveFormat::Tag && !IsTagDocument(*Document)) {
    zevrin::Progress quiet;
    TagFileFrom(*Document, quiet)->Write(out);
  } else {
    Document->Write(out);
  }
  return out.Finish();
}

bool DocumentSession::IsTagFile() const { return Document && IsTagDocument(*Document); }

void DocumentSession::SaveDocument(const std::string& path) {
  if (Format == SaveFormat::Bracketed && IsTagFile())
    throw ZevrinError(ErrorKind::TagFromTagOnly, "");
  SaveFile = modelPathOf(path);

  // Overwriting the opened file keeps its previous content as name + ".bak". When the opened
  // file is gone there is nothing to keep, and the save goes on.
  bool current_backed_up = false;
  if (SameKeyword(CurrentFile, SaveFile) && FileExists(CurrentFile)) {
    CopyFile(CurrentFile, CurrentFile + ".bak", Writer);
    current_backed_up = true;
  }
  if (ExtensionDot(SaveFile) == std::string::npos) SaveFile += ".mdl";
  // Whatever other file the save replaces is kept the same way: no save destroys a file
  // without a copy.
  if (FileExists(SaveFile) && !(current_backed_up && samePath(CurrentFile, SaveFile)))
    CopyFile(SaveFile, SaveFile + ".bak", Writer);

  // The lines go to the file as they are made, in large blocks.
  WriteFileAtomically(
      SaveFile, [&](const ByteSink& sink) { return WriteDocument(sink); }, Writer);
}

std::vector<std::string> DocumentSession::CountLines() const {
  return {"Number of cp=" + IntToStr(Shared.Counts.Cps),
          "Number of spline=" + IntToStr(Shared.Counts.Splines)};
}

namespace {

// The frame of every edit: the progress window shown with both bars at 0.
template <class Edit>
void runEdit(ProgressWindow* progress, StepContext& step, Edit&& edit) {
  ProgressShown shown(progress);
  step.Bars.SetMain(0);
  if (ProgressBar* sub = step.Bars.Sub()) sub->SetPosition(0);
  edit();
}

}  // namespace

StepResult DocumentSession::Halvejoin(double tolerance) {
  if (!Document) return {};
  Document->CheckHalvejoin();
  const std::unique_ptr<StepContext> step = newStep();
  runEdit(Progress, *step, [&] { Document->Halvejoin(tolerance, *step); });
  StepResult result = finish(*step);
  const MeshCounts& b = result.CountsBefore;
  const MeshCounts& a = result.Counts;
  result.Memo = {countLine("Number of cp=", b.Cps, a.Cps, true),
                 countLine("Number of spline=", b.Splines, a.Splines, true)};
  return result;
}

StepResult DocumentSession::ConnectGroupedSplines() {
  if (!Document) return {};
  Document->CheckConnect();
  const std::unique_ptr<StepContext> step = newStep();
  Shared.CountsBefore = Shared.Counts;
  runEdit(Progress, *step, [&] { Document->ConnectGroupedSplines(*step); });
  StepResult result = finish(*step);
  const MeshCounts& b = result.CountsBefore;
  const MeshCounts& a = result.Counts;
  result.Memo = {countLine("Number of cp=", b.Cps, a.Cps, false),
                 countLine("Number of spline=", b.Splines, a.Splines, false)};
  return result;
}

StepResult DocumentSession::AttachAll() {
  if (!Document) return {};
  const std::unique_ptr<StepContext> step = newStep();
  runEdit(Progress, *step, [&] { Document->AttachAll(*step); });
  return finish(*step);
}

StepResult DocumentSession::DetachAll() {
  if (!Document) return {};
  const std::unique_ptr<StepContext> step = newStep();
  runEdit(Progress, *step, [&] { Document->DetachAll(*step); });
  return finish(*step);
}

StepResult DocumentSession::MirrorBone(double tolerance) {
  if (!Document) return {};
  const std::unique_ptr<StepContext> step = newStep();
  const std::int32_t before = mirroredBones(*Document);
  std::optional<TagBonePoints> points;
  runEdit(Progress, *step, [&] {
    if (auto* tag = dynamic_cast<TagFile*>(Document.get())) {
      points = MirrorTagBones(*tag, tolerance, Shared.Mirror, step->Bars);
    } else {
      Document->MirrorBone(tolerance, Shared.Mirror);
    }
  });
  StepResult result = finish(*step);
  result.BonesCopied = mirroredBones(*Document) - before;
  if (points) {
    result.BonePoints = points;
    // The window, the page and the command line show this line as it is.
    result.BonePointsLine = "Number of cp given to copied bones=" + IntToStr(points->Carried) +
                            " (left out=" + IntToStr(points->LeftOut) + ")";
  }
  return result;
}

}  // namespace zevrin
