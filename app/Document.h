// Opening a file as the document and saving the document back: the logic that the command
// line and the window share. The window adds only its dialogs, menus and status bar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/AM5_super.h"

namespace zevrin {

// The kind of file a path names, by the extension of its file name (ASCII case ignored).
enum FileKindCode : std::int32_t {
  kFileNone = 0,     // anything else: refused
  kFileModel = 5,    // ".mdl" and ".seg": Animation:Master model and segment files
  kFileDxf = 100,    // ".dxf"
  kFileRok = 101,    // ".rok"
};
FileKindCode FileKind(const std::string& path);

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

  // Opens CurrentFile. The file is read into a new tree that replaces the document only when
  // the whole read succeeded: on an error (raised as ZevrinError naming the file and line)
  // the open document, the counters and the files on disk are as they were. A DXF or ROK
  // file is converted into the template model (TemplateFile()); the template's errors name
  // the template, and a template without a MODEL holding a MESH is one.
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
