// Opening a file as the document and saving the document back, and the whole-model edits as
// commands with their memo lines: the logic that the command line and the window share. The
// window adds only its dialogs, menus and status bar.
//
// The session is the one place that keeps state between commands (the counters that the memo
// reports, the renaming rule of Mirror bone, the debug switch); every load and edit gets what
// it needs as arguments and hands back a StepResult.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/AM5_segment.h"
#include "model/TagModel.h"
#include "model/tree/AM5_super.h"
#include "util/FmxUtils.h"
#include "util/Threads.h"

namespace zevrin {

class Mpolycommon;
class PolygonFileReader;

// The kind of file a path names, by the extension of its file name (ASCII case ignored).
enum class FileKind : std::int32_t {
  None = 0,       // anything else: refused
  Model = 5,      // ".mdl" and ".seg": Animation:Master model and segment files
  Dxf = 100,      // ".dxf"
  Rok = 101,      // ".rok"
  Foreign = 102,  // any other extension `reader` takes
};
FileKind FileKindOf(const std::string& path, const PolygonFileReader* reader);

// How polygon files are read.
struct PolygonOptions {
  // A DXF file's INSERT entities bring the faces of their blocks (Mdxf::ExpandInserts).
  bool ExpandInserts = false;
  // A DXF text from this size on is read in two halves at once (Mdxf::ParallelFromBytes).
  std::size_t ParallelFromBytes = ThreadedFrom(std::size_t{8} << 20);
  ImportOptions Import;
};

// The faces of the polygon file at `path` (DXF, ROK or a format `reader` takes), with the
// reader's errors naming the file. None for a model file or an extension no reader takes.
std::unique_ptr<Mpolycommon> ReadPolygonFile(const std::string& path, const PolygonOptions& options,
                                             const PolygonFileReader* reader, StepContext& step);

// Shows and hides whatever carries the two progress bars while a file is read or an edit
// runs, and lends the bars.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual ProgressBar* MainBar() = 0;
  virtual ProgressBar* SubBar() = 0;
  // Set (from any thread) when the user stops the step; none: steps cannot be stopped.
  virtual const std::atomic<bool>* CancelFlag() { return nullptr; }
};

// Shows a progress window (if any) for its lifetime: it hides however the step ends.
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

// The two model-file formats a document saves in: the bracketed version-5 format, and the tag
// format of the modeller's later versions.
enum class SaveFormat {
  Bracketed,
  Tag,
};

enum class LoadOutcome {
  Loaded,          // the new document replaced the old one
  FileMissing,     // no file at CurrentFile; nothing changed
  WrongExtension,  // the extension names no file kind; nothing changed
};

// What the next save leaves out of what was read: the sections Halvejoin marked (bones and
// their children, groups, sections the program does not interpret).
struct SaveOmissions {
  std::int32_t Bones = 0;
  std::int32_t Groups = 0;
  std::int32_t Sections = 0;
  // Lines of a tag file's lists that named a point an edit took away.
  std::int64_t ListLines = 0;
  friend bool operator==(const SaveOmissions&, const SaveOmissions&) = default;
};
SaveOmissions OmissionsOf(const M5amsuper& root);

// What one command did, as its memo, the window and the files it may write need it.
struct StepResult {
  LoadOutcome Outcome = LoadOutcome::Loaded;
  // The counters after the command (CountsBefore as the memo of Halvejoin and Connect shows it).
  MeshCounts Counts;
  MeshCounts CountsBefore;
  // The attachments the command left without a target: its last resolution that found any.
  std::optional<AttachReport> AttachErrors;
  std::vector<DumpFile> Dumps;
  SaveOmissions LeftOut;
  // Mirror bone: the bones copied.
  std::int32_t BonesCopied = 0;
  // Mirror bone on a tag file (none on a bracketed one): what became of the point ids its
  // copied bones listed, and the memo line that tells it, shown after the bones copied.
  std::optional<TagBonePoints> BonePoints;
  std::optional<std::string> BonePointsLine;
  // The memo's lines after the command; none for a command that leaves the memo alone.
  std::vector<std::string> Memo;
};

// Writes the files a command's result asks for, each into the current folder: the attach
// error file when some attachment was left without a target, and the diagnostic dumps.
void WriteResultFiles(const StepResult& result);

// What the program keeps between commands.
struct SharedState {
  bool DebugDump = false;   // nothing sets it: the diagnostic dumps stay off
  MeshCounts Counts;        // CpCount, SplineCount: the last mesh read or changed
  MeshCounts CountsBefore;  // CpCountBefore, SplineCountBefore
  MirrorSettings Mirror;
};

class DocumentSession {
 public:
  std::string CurrentFile;  // the opened path; saving never changes it
  std::string SaveFile;     // the path the last save wrote (or was about to write)
  std::unique_ptr<M5amsuper> Document;
  ProgressWindow* Progress = nullptr;  // not owned; may be absent
  // Where the template model is read from; empty: beside the program.
  std::string TemplatePath;
  // The template model's text, when it comes with the program rather than from a file (the
  // page's build has no files); its errors name kTemplateFileName. Takes precedence over
  // TemplatePath.
  std::optional<std::string> TemplateText;
  PolygonOptions Polygons;
  // Reads the formats beyond model, DXF and ROK files; not owned, may be absent.
  const PolygonFileReader* PolygonReader = nullptr;
  // Writes the bytes of every save, when set (the tests make writes fail with it).
  WriteHook Writer;
  SharedState Shared;
  // The format the next save writes: the opened file's (a polygon file's is bracketed); a save
  // in the tag format of a bracketed document converts it (TagFileFrom). A tag document saves
  // in the tag format only.
  SaveFormat Format = SaveFormat::Bracketed;

  FileKind KindOf(const std::string& path) const { return FileKindOf(path, PolygonReader); }

  // Opens CurrentFile. The file is read into a new tree that replaces the document only when
  // the whole read succeeded: on an error (raised as ZevrinError naming the file and line,
  // or ErrorKind::Cancelled when the progress window's flag stopped it) the open document,
  // the counters and the files on disk are as they were. A DXF or ROK
  // file, or one the polygon reader takes, is converted into the template model
  // (TemplateFile()); the template's errors name the template, and a template without a MODEL
  // holding a MESH is one. A file without a mesh shows zero counts.
  StepResult LoadDocument();

  // Opens `bytes` as the content of a file named `name` (a model, DXF or ROK file by the
  // name's extension; a format of the polygon reader is read by that reader from `name`, and
  // `bytes` go unused: the page's reader takes the faces its reader worker sent). Nothing is read
  // from disk but the template. As LoadDocument, but CurrentFile becomes `name` only when the file
  // opened: on a refusal or an error the document and CurrentFile are as they were, and errors name
  // `name`.
  StepResult LoadDocumentBytes(const std::string& name, FileBuffer bytes);

  // Writes the document to `path`: a polygon file's extension becomes ".mdl", a path without
  // extension gets ".mdl", and every existing file that the save replaces is first copied to
  // its full name plus ".bak". The file is replaced whole or not at all. Requires an open
  // document.
  void SaveDocument(const std::string& path);

  // The name a save to `path` writes (SaveDocument's extension rules), without saving.
  std::string SaveNameOf(const std::string& path) const;
  // Writes the document to `sink` as a save writes it into its file; false when the sink
  // failed. Requires an open document.
  bool WriteDocument(const ByteSink& sink) const;

  // The memo lines of the counters as they stand.
  std::vector<std::string> CountLines() const;

  // Whether the open document is a tag file.
  bool IsTagFile() const;

  // The whole-model edits. Without a document they do nothing and return an empty result.
  // On a tag file each keeps its lists of point ids true: Attach all and Detach all keep every
  // id, Halvejoin and Connect take the lists along (RemapTagLists), Mirror bone's copies list
  // the points across the plane (MirrorTagBones); a tag file's hooks keep their targets.
  // Each first checks what could fail part way (a short "Bounds=" line, a group id that is no
  // integer), so that an error leaves the document as it was. An edit stopped through the
  // progress window's flag raises ErrorKind::Cancelled part way: the caller restores the
  // document it kept.
  StepResult Halvejoin(double tolerance);
  StepResult ConnectGroupedSplines();
  StepResult AttachAll();
  StepResult DetachAll();
  // Under the renaming rule in Shared.Mirror. On a tag file the copies list the points across
  // the plane from their sources' (MirrorTagBones).
  StepResult MirrorBone(double tolerance);

  std::string TemplateFile() const;

 private:
  // A step of this session: its bars and switches.
  std::unique_ptr<StepContext> newStep() const;
  // The result of `step`, with the counters taken over from its report.
  StepResult finish(StepContext& step);
  // Reads the file named `name` of `kind`, whose bytes `read` gives, into a new document.
  template <class Read>
  StepResult load(const std::string& name, FileKind kind, Read&& read);
  // `path` with a polygon file's extension replaced by ".mdl".
  std::string modelPathOf(const std::string& path) const;
};

}  // namespace zevrin
