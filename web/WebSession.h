// The page's document: a DocumentSession that opens files from their bytes, saves into
// bytes, draws into a segment list and keeps, for the page to show, what the last command
// said (memo, status and error texts in either language, the attach errors). The page's
// worker drives one WebSession; the WebAssembly module only passes its calls on.
//
// No command writes a file or starts a thread: the template model is built in, and the
// two-thread reading and import paths are set to their one-thread forms.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "app/session/EditHistory.h"
#include "import/PolygonWriter.h"
#include "model/AM5_segment.h"
#include "util/Errors.h"
#include "util/FmxUtils.h"
#include "view/M_scr.h"
#include "view/SegmentSurface.h"

namespace zevrin::web {

// The template model "animas_reference.mdl" that polygon files are converted into, as
// shipped in data/ (the build puts its text here).
extern const char* const kBuiltInTemplate;

class WebSession {
 public:
  WebSession();
  ~WebSession();
  WebSession(const WebSession&) = delete;
  WebSession& operator=(const WebSession&) = delete;

  // Called with both bars' positions (0 to 100) whenever one of them moves during a command.
  std::function<void(std::int32_t main, std::int32_t sub)> OnProgress;

  // What the page's undo steps may hold together: the page's whole memory is at most 4 GiB,
  // shared with the document and the copy an edit works on, so it keeps less than the window.
  static constexpr std::size_t kUndoBudget = std::size_t{512} << 20;

  // The commands. Each returns true when it ran. When it fails, Error() tells why and the
  // document, its name and the memo are as they were: a file that does not open never
  // replaces the open one. Edits without a document do nothing and return false. Every edit
  // that succeeds becomes the newest step to undo, as in the window.
  bool Open(const std::string& name, FileBuffer bytes);
  // `tolerance` as the user typed it ("." as the decimal point); a text that is no number
  // fails before anything changes.
  bool Halvejoin(const std::string& tolerance);
  bool Connect();
  bool AttachAll();
  bool DetachAll();
  bool MirrorBone(const std::string& tolerance, const MirrorSettings& rule);
  // Takes back the newest edit, or does the last one taken back again; false when there is
  // none. The memo shown with that document comes back with it.
  bool Undo();
  bool Redo();
  // Whether Halvejoin with this tolerance should ask first: the model has points on both
  // sides of X = 0 already and would be doubled. A text that is no number asks nothing (the
  // edit itself then fails with the number's error).
  bool WouldDoubleModel(const std::string& tolerance) const;
  // The document counts as saved, as after Save: for a page that builds the document anew by
  // running its commands again, where the save itself needs no bytes a second time.
  void MarkSaved() { history_.MarkSaved(); }

  // The document as the saved file's bytes, handed to `sink` in blocks, and the name Save As
  // gives it for `requested` (the opened name when empty): a polygon extension becomes
  // ".mdl", none gets ".mdl". The status then says it was saved under that name.
  std::string SaveName(const std::string& requested) const;
  bool Save(const std::string& name, const ByteSink& sink);
  // Save As in a chosen format, as the window's Save dialog offers it: a tag file saves as a
  // tag file whatever is asked; any other model in either format. The format then stays for
  // the next Save.
  bool Save(const std::string& name, SaveFormat format, const ByteSink& sink);
  // Whether the document came from a tag file (which saves in no other format).
  bool IsTagFile() const { return HasDocument() && session_.IsTagFile(); }
  // The splines as OBJ polylines (the command line's export --polylines), lines ended by LF.
  bool ExportObj(const ByteSink& sink);

  // --- Polygon files of the formats beyond model, DXF and ROK files ---
  // The reader Open hands those names to; not owned, may be absent (then they are refused as
  // a wrong extension). The page's reader takes faces read in a worker of their own.
  void SetPolygonReader(const PolygonFileReader* reader);
  // The patches as the polygon file `name` (its extension picks the format), as the command
  // line's export writes them (`triangulate`: its --triangulate), nothing written: each file
  // made, the one asked for first, then a .gltf file's buffer, goes to `receive`. The memo and
  // the status say what the window's File > Export says.
  bool ExportPatches(const std::string& name, bool triangulate, const PolygonFileWriter& writer,
                     const std::function<void(const WrittenFile&)>& receive);
  // --- end of polygon files ---

  // The picture of the document as the window draws it on a picture of width x height
  // pixels, seen from `direction`, the control points labelled when `cpid` is set. Nothing
  // is drawn without a document. A coordinate beyond 32 bits of pixels fails (RangeCheck).
  bool Draw(ViewKind direction, std::int32_t width, std::int32_t height, bool cpid,
            SegmentSurface& out);

  bool HasDocument() const { return session_.Document != nullptr; }
  bool CanUndo() const { return HasDocument() && history_.CanUndo(); }
  bool CanRedo() const { return HasDocument() && history_.CanRedo(); }
  // The edit that Undo or Redo would take back or do again (empty: none).
  std::string UndoName() const { return CanUndo() ? history_.UndoName() : std::string(); }
  std::string RedoName() const { return CanRedo() ? history_.RedoName() : std::string(); }
  // Whether the document differs from what was last opened or saved.
  bool Modified() const { return HasDocument() && history_.Modified(); }
  // The page's title: the program, the file and "*" once it changed.
  std::string Title() const;
  // The note beside the status line that the last edit left: the undo budget's (empty: none).
  std::string Note(bool japanese) const { return note_ ? note_(japanese) : std::string(); }
  void SetUndoBudget(std::size_t bytes) { history_.SetBudget(bytes); }
  // The opened file's name; empty before the first open.
  const std::string& FileName() const { return session_.CurrentFile; }
  // The memo's lines, as the last command that writes the memo left them.
  const std::vector<std::string>& Memo() const { return memo_; }
  // The status line of the last command that succeeded (empty before any).
  std::string Status(bool japanese) const { return status_ ? status_(japanese) : std::string(); }
  // The last command's error as the command line prints it ("FILE:LINE: message"); empty
  // when it succeeded.
  std::string Error(bool japanese) const;
  // The lines of "attach_err.txt" that the last command would have the command line write;
  // empty when every attachment resolved.
  LineList AttachErrors() const;
  // The last command's result (counts, what a save leaves out, bones copied).
  const StepResult& Result() const { return result_; }

 private:
  class Bars;
  // Runs `command`; on success takes its result and its status text.
  template <class Command>
  bool run(Command&& command);
  // Runs an edit through the undo history under the name of its menu item.
  template <class Edit>
  StepResult edit(const char* caption, Edit&& body);

  std::unique_ptr<Bars> bars_;
  DocumentSession session_;
  EditHistory history_{kUndoBudget};
  StepResult result_;
  std::function<std::string(bool)> note_;
  std::vector<std::string> memo_;
  std::function<std::string(bool)> status_;
  // The last command's error: a ZevrinError, or another exception's text.
  std::optional<ZevrinError> error_;
  std::string other_error_;
};

}  // namespace zevrin::web
