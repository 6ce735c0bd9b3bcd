// Opening a file as the document and saving the document back: the logic that the command
// line and the window share. The window adds only its dialogs, menus and status bar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/AM5_super.h"

namespace zevrin {

class Mpolycommon;

// The kind of file a path names, by the extension of its file name (ASCII case ignored).
enum FileKindCode : std::int32_t {
  kFileNone = 0,       // anything else: refused
  kFileModel = 5,      // ".mdl" and ".seg": Animation:Master model and segment files
  kFileDxf = 100,      // ".dxf"
  kFileRok = 101,      // ".rok"
  kFileForeign = 102,  // any other extension the registered polygon reader takes
};
FileKindCode FileKind(const std::string& path);

// A reader of the polygon formats the core does not read itself. The core knows only this
// interface; the programs register a reader built on a general import library, so that the
// core stays free of it. Model, DXF and ROK paths never reach it.
class PolygonFileReader {
 public:
  virtual ~PolygonFileReader() = default;
  // Whether files with this extension (".obj": with the dot, any ASCII case) are read.
  virtual bool Reads(std::string_view extension) const = 0;
  // The faces of the file at `path`; errors are ZevrinErrors naming the file.
  virtual std::unique_ptr<Mpolycommon> Read(const std::string& path) const = 0;
  // The extensions read, as "*.obj *.stl ...", for an Open dialog's filter.
  virtual std::string Patterns() const = 0;
};
// Registers `reader` for every session (none: no extension beyond the core's own). The reader
// must outlive its registration.
void SetPolygonFileReader(const PolygonFileReader* reader);
const PolygonFileReader* GetPolygonFileReader();

// The faces of the polygon file at `path` (DXF, ROK or a registered format), with the
// reader's errors naming the file; `expand_inserts` as Mdxf::ExpandInserts. None for a model
// file or an extension no reader takes.
std::unique_ptr<Mpolycommon> ReadPolygonFile(const std::string& path, bool expand_inserts);

// Shows and hides whatever carries the two progress bars while a file is read.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
};

enum class LoadOutcome {
  Loaded,          // the new document replaced the old one
  FileMissing,     // no file at CurrentFile; nothing changed
  WrongExtension,  // the extension names no file kind; nothing changed
};

class DocumentSession {
 public:
  std::string CurrentFile;  // the opened path; saving never changes it
  std::string SaveFile;     // the path the last save wrote (or was about to write)
  std::unique_ptr<M5amsuper> Document;
  ProgressWindow* Progress = nullptr;  // not owned; may be absent
  // Where the template model is read from; empty: beside the program.
  std::string TemplatePath;
  // A DXF file's INSERT entities bring the faces of their blocks (Mdxf::ExpandInserts).
  bool ExpandInserts = false;

  // Opens CurrentFile. The file is read into a new tree that replaces the document only when
  // the whole read succeeded: on an error (raised as ZevrinError naming the file and line)
  // the open document, the counters and the files on disk are as they were. A DXF or ROK
  // file, or one the registered polygon reader takes, is converted into the template model
  // (TemplateFile()); the template's errors name the template, and a template without a MODEL
  // holding a MESH is one.
  LoadOutcome LoadDocument();

  // Writes the document to `path`: a polygon file's extension becomes ".mdl", a path without
  // extension gets ".mdl", and every existing file that the save replaces is first copied to
  // its full name plus ".bak". The file is replaced whole or not at all. Requires an open
  // document.
  void SaveDocument(const std::string& path);

  // The memo lines after a load or an edit.
  static std::vector<std::string> CountLines();

  // The whole-model edits. Without a document they do nothing. Each first checks what could
  // fail part way (a short "Bounds=" line, a group id that is no integer), so that an error
  // leaves the document as it was, and the attach error file is written once the edit is
  // complete. They return the memo lines of the edit.
  std::vector<std::string> Halvejoin(double tolerance);
  std::vector<std::string> ConnectGroupedSplines();
  void AttachAll();
  void DetachAll();
  void MirrorBone(double tolerance);

  std::string TemplateFile() const;
};

}  // namespace zevrin
