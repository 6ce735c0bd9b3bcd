#include "app/session/DocumentExport.h"

#include <filesystem>

#include "app/session/Document.h"
#include "import/PolygonWriter.h"
#include "model/PatchPolygons.h"
#include "util/Errors.h"
#include "util/FilePath.h"
#include "util/FmxUtils.h"

namespace zevrin {
namespace {

[[noreturn]] void refuse(ErrorKind kind, const std::string& file) {
  ZevrinError e(kind, file);
  e.setFile(file);
  throw e;
}

std::string countLine(const char* key, std::size_t n) {
  return key + IntToStr(static_cast<std::int64_t>(n));
}

}  // namespace

ExportResult ExportPatchFiles(DocumentSession& session, const std::string& path,
                              const PolygonFileWriter& writer, const ExportOptions& options,
                              std::vector<WrittenFile>& files) {
  if (!session.Document) refuse(ErrorKind::NoPatches, session.CurrentFile);
  const std::string_view extension = FileExtension(path);
  if (!writer.Writes(extension)) refuse(ErrorKind::WrongExtension, path);

  ExportResult result;
  std::unique_ptr<Mpatches> polygons;
  {
    // The progress window stays up while the patches are found.
    ProgressShown shown(session.Progress);
    ProgressWindow* window = session.Progress;
    StepContext step(window ? Progress(window->MainBar(), window->SubBar(), window->CancelFlag())
                            : Progress());
    step.Bars.SetMain(0);
    PatchPolygonOptions patch_options;
    patch_options.RestLayer = std::filesystem::path(session.CurrentFile).stem().string();
    patch_options.Triangulate = options.Triangulate || !writer.HoldsQuads(extension);
    polygons = WithFile(session.CurrentFile,
                        [&] { return PatchPolygons(*session.Document, patch_options, step); });
  }
  result.Counts = polygons->Counts;
  result.FacesWritten = polygons->Faces.size();
  if (polygons->Faces.empty()) refuse(ErrorKind::NoPatches, session.CurrentFile);

  files = writer.Write(*polygons, path);
  polygons.reset();
  for (const WrittenFile& f : files) result.Files.push_back(f.Path);

  const PatchCounts& c = result.Counts;
  result.Memo = {countLine("Number of patch=", c.Faces()) + countLine(" (triangle=", c.Triangles) +
                     countLine(" quad=", c.Quads) +
                     (c.Pentagons > 0 ? countLine(" pentagon=", c.Pentagons) : std::string()) + ")",
                 countLine("Number of hole=", c.Holes),
                 countLine("Number of unorientable=", c.Unorientable)};
  return result;
}

ExportResult ExportPatches(DocumentSession& session, const std::string& path,
                           const PolygonFileWriter& writer, const ExportOptions& options) {
  std::vector<WrittenFile> files;
  ExportResult result = ExportPatchFiles(session, path, writer, options, files);
  for (auto it = files.rbegin(); it != files.rend(); ++it) {
    if (FileExists(it->Path)) CopyFile(it->Path, it->Path + ".bak", session.Writer);
    const std::string& bytes = it->Bytes;
    WriteFileAtomically(
        it->Path, [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); },
        session.Writer);
  }
  return result;
}

}  // namespace zevrin
