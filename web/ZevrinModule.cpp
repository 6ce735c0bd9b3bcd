// The WebAssembly module of the page's workers: the web session's calls for JavaScript, and
// the reading of Assimp's formats, which a worker of its own runs (readPolygons) as the
// desktop's reader process does. Bytes cross the boundary through views of the module's
// memory, which the worker copies at once.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/session/HistoryTexts.h"
#include "app/session/uAppConst.h"
#include "import/assimp/FaceStream.h"
#include "import/assimp/M_assimp_export.h"
#include "import/assimp/ReaderPolicy.h"
#include "util/Ustrlib.h"
#include "web/WebSession.h"

namespace zevrin::web {
namespace {

using emscripten::val;

std::string joined(const std::vector<std::string>& lines, const char* end) {
  std::string text;
  for (const std::string& line : lines) (text += line) += end;
  return text;
}

std::uint32_t rgb(Rgb c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }

// A ByteSink that hands each block to a JavaScript function as a view of the memory.
ByteSink toJs(val receive) {
  return [receive](const char* data, std::size_t size) {
    receive(val(emscripten::typed_memory_view(size, reinterpret_cast<const std::uint8_t*>(data))));
    return true;
  };
}

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// The polygon formats of Assimp, as the reader worker read them: Read gives the faces of the
// face stream it sent, or raises the error the page named for a worker that did not answer,
// as the desktop's reader does with its process's answer.
class ReadFaces : public PolygonFileReader {
 public:
  ReadFaces() : extensions_(AssimpExtensions()) {}
  bool Reads(std::string_view extension) const override {
    const std::string ext = FoldedLower(extension);
    for (const std::string& e : extensions_)
      if (e == ext) return true;
    return false;
  }
  std::unique_ptr<Mpolycommon> Read(const std::string& path, StepContext& /*step*/) const override {
    if (failure) {
      ZevrinError e = *failure;
      e.setFile(path);
      throw e;
    }
    return DecodeFaceStream(answer.view(), path, memory_bytes / kMiB);
  }
  std::string Patterns() const override {
    std::string out;
    for (const std::string& ext : extensions_) out += (out.empty() ? "*" : " *") + ext;
    return out;
  }

  FileBuffer answer;
  std::uint64_t memory_bytes = 0;  // the reader worker's limit
  std::optional<ZevrinError> failure;

 private:
  std::vector<std::string> extensions_;
};

class Page {
 public:
  Page() { session_.SetPolygonReader(&faces_); }

  // Room for a file's bytes, which JavaScript writes there before Open.
  std::uintptr_t Reserve(std::size_t size) {
    pending_.data.reset(new char[size ? size : 1]);
    pending_.size = size;
    return reinterpret_cast<std::uintptr_t>(pending_.data.get());
  }
  bool Open(const std::string& name) { return session_.Open(name, std::move(pending_)); }
  // Opens the polygon file `name` from the face stream the reader worker sent (reserved and
  // written as a file's bytes are), or, when `failure` names how that worker ended without an
  // answer ("timeout" past `seconds`, "crashed" with `reason`), fails with the desktop's error
  // for it. `memory_bytes`: the worker's limit, which an out-of-memory answer names.
  bool OpenRead(const std::string& name, double memory_bytes, const std::string& failure,
                double seconds, const std::string& reason) {
    faces_.answer = std::move(pending_);
    faces_.memory_bytes = static_cast<std::uint64_t>(memory_bytes);
    faces_.failure.reset();
    if (failure == "timeout")
      faces_.failure = ZevrinError(ErrorKind::ReaderTimeout, ReaderSecondsText(seconds));
    else if (!failure.empty())
      faces_.failure = ZevrinError(ErrorKind::ReaderCrashed, reason);
    const bool ok = session_.Open(name, FileBuffer());
    faces_.answer = FileBuffer();
    return ok;
  }
  // " .3ds .obj ...": the extensions the reader worker reads.
  std::string PolygonExtensions() const {
    std::string out;
    for (const std::string& ext : AssimpExtensions()) (out += ' ') += ext;
    return out;
  }
  // The patches as the polygon file `name`, as `zevrin export` writes it; `receive(name,
  // bytes)` gets each file made, the one asked for first.
  bool ExportPatches(const std::string& name, bool triangulate, val receive) {
    return session_.ExportPatches(name, triangulate, writer_, [&](const WrittenFile& f) {
      receive(f.Path, val(emscripten::typed_memory_view(
                          f.Bytes.size(), reinterpret_cast<const std::uint8_t*>(f.Bytes.data()))));
    });
  }

  bool Halvejoin(const std::string& tolerance) { return session_.Halvejoin(tolerance); }
  bool Connect() { return session_.Connect(); }
  bool AttachAll() { return session_.AttachAll(); }
  bool DetachAll() { return session_.DetachAll(); }
  bool MirrorBone(const std::string& tolerance, int rule, const std::string& word,
                  const std::string& replacement, const std::string& append) {
    const MirrorRule r = rule == 1   ? MirrorRule::Prefix
                         : rule == 2 ? MirrorRule::Suffix
                                     : MirrorRule::Append;
    return session_.MirrorBone(tolerance, MirrorSettings{r, word, replacement, append});
  }

  bool Undo() { return session_.Undo(); }
  bool Redo() { return session_.Redo(); }
  bool WouldDoubleModel(const std::string& tolerance) {
    return session_.WouldDoubleModel(tolerance);
  }
  bool MarkSaved() {
    session_.MarkSaved();
    return session_.HasDocument();
  }

  std::string SaveName(const std::string& requested) { return session_.SaveName(requested); }
  bool Save(const std::string& name, val receive) { return session_.Save(name, toJs(receive)); }
  bool SaveInFormat(const std::string& name, bool tag, val receive) {
    return session_.Save(name, tag ? SaveFormat::Tag : SaveFormat::Bracketed, toJs(receive));
  }
  bool IsTagFile() const { return session_.IsTagFile(); }
  bool ExportObj(val receive) { return session_.ExportObj(toJs(receive)); }

  void SetProgress(val report) {
    session_.OnProgress = [report](std::int32_t main, std::int32_t sub) { report(main, sub); };
  }

  bool HasDocument() const { return session_.HasDocument(); }
  std::string FileName() const { return session_.FileName(); }
  std::string Memo() const { return joined(session_.Memo(), "\n"); }
  std::string Status(bool japanese) const { return session_.Status(japanese); }
  std::string Error(bool japanese) const { return session_.Error(japanese); }
  std::string AttachErrors() const { return joined(session_.AttachErrors(), "\r\n"); }
  bool CanUndo() const { return session_.CanUndo(); }
  bool CanRedo() const { return session_.CanRedo(); }
  bool Modified() const { return session_.Modified(); }
  std::string Title() const { return session_.Title(); }
  std::string Note(bool japanese) const { return session_.Note(japanese); }
  // The texts the page shows for the history and its questions, as the window words them
  // (without the window's keyboard marks), one a line: the undo button, the redo button, the
  // question before an edited document is replaced or closed, its title and its three
  // buttons, the question before Halvejoin doubles a model and its title, the status of a
  // cancelled command, and the two formats of Save As.
  std::string Texts(bool ja) const {
    const std::string file = session_.FileName();
    return joined({WithoutMarks(UndoItem(ja, session_.UndoName())),
                   WithoutMarks(RedoItem(ja, session_.RedoName())), SaveChanges(ja, file),
                   SaveChangesTitle(ja), WithoutMarks(SaveButton(ja)),
                   WithoutMarks(DiscardButton(ja)), CancelButton(ja), AlreadyWhole(ja),
                   AlreadyWholeTitle(ja), Cancelled(ja), kBracketedFilter, kTagFilter},
                  "\n");
  }

  // The picture: afterwards Lines, Runs and Labels describe it until the next Draw.
  bool Draw(int direction, int width, int height, bool cpid) {
    surface_ = SegmentSurface();
    if (!session_.Draw(ViewKindOfItem(direction), width, height, cpid, surface_)) return false;
    runs_.clear();
    for (const SegmentSurface::Run& r : surface_.Runs)
      runs_.insert(runs_.end(), {r.First, rgb(r.Color)});
    labels_.clear();
    label_text_.clear();
    for (const SegmentSurface::Label& l : surface_.Labels) {
      labels_.insert(labels_.end(), {l.X, l.Y, static_cast<std::int32_t>(l.After),
                                     static_cast<std::int32_t>(rgb(l.Color)),
                                     static_cast<std::int32_t>(rgb(l.Background)), l.PointSize});
      (label_text_ += l.Text) += '\n';
    }
    return true;
  }
  // x0, y0, x1, y1 per segment.
  val Lines() const {
    return val(emscripten::typed_memory_view(surface_.Lines.size(), surface_.Lines.data()));
  }
  // First segment and colour (0xRRGGBB) per run of one colour.
  val Runs() const { return val(emscripten::typed_memory_view(runs_.size(), runs_.data())); }
  // x, y, segments before it, colour, background, point size per label; the texts one a line.
  val Labels() const { return val(emscripten::typed_memory_view(labels_.size(), labels_.data())); }
  std::string LabelTexts() const { return label_text_; }
  std::uint32_t Background() const { return rgb(surface_.Background); }

 private:
  ReadFaces faces_;  // before the session, which refers to it
  AssimpPolygonWriter writer_;
  WebSession session_;
  FileBuffer pending_;
  SegmentSurface surface_;
  std::vector<std::uint32_t> runs_;
  std::vector<std::int32_t> labels_;
  std::string label_text_;
};

// The reader worker's one call: the file `path`, which the worker wrote into the module's
// file system, read as the desktop's reader process reads it (ReaderMain.cpp), its answer (the
// face stream) handed to `receive` in blocks. Refused allocations answer out of memory: the
// worker's memory has the limit the page gave it.
void ReadPolygons(const std::string& path, val receive) {
  AnswerRefusedAllocationsAsOutOfMemory();
  FaceStreamWriter out([&](const char* data, std::size_t size) {
    receive(val(emscripten::typed_memory_view(size, reinterpret_cast<const std::uint8_t*>(data))));
    return true;
  });
  AnswerFile(path, out);
}

// The reader's limits for a file of `file_bytes` bytes, as the desktop gives them.
double ReaderSeconds(double file_bytes) {
  return PolygonReaderLimits::DefaultSeconds(static_cast<std::uint64_t>(file_bytes));
}
double ReaderMemoryBytes(double file_bytes) {
  return static_cast<double>(
      PolygonReaderLimits::DefaultMemoryBytes(static_cast<std::uint64_t>(file_bytes)));
}

}  // namespace
}  // namespace zevrin::web

EMSCRIPTEN_BINDINGS(zevrin) {
  emscripten::function("readPolygons", &zevrin::web::ReadPolygons);
  emscripten::function("readerSeconds", &zevrin::web::ReaderSeconds);
  emscripten::function("readerMemoryBytes", &zevrin::web::ReaderMemoryBytes);
  using zevrin::web::Page;
  emscripten::class_<Page>("Page")
      .constructor<>()
      .function("reserve", &Page::Reserve)
      .function("open", &Page::Open)
      .function("openRead", &Page::OpenRead)
      .function("polygonExtensions", &Page::PolygonExtensions)
      .function("exportPatches", &Page::ExportPatches)
      .function("halvejoin", &Page::Halvejoin)
      .function("connect", &Page::Connect)
      .function("attachAll", &Page::AttachAll)
      .function("detachAll", &Page::DetachAll)
      .function("mirrorBone", &Page::MirrorBone)
      .function("saveName", &Page::SaveName)
      .function("save", &Page::Save)
      .function("saveInFormat", &Page::SaveInFormat)
      .function("isTagFile", &Page::IsTagFile)
      .function("exportObj", &Page::ExportObj)
      .function("setProgress", &Page::SetProgress)
      .function("hasDocument", &Page::HasDocument)
      .function("fileName", &Page::FileName)
      .function("memo", &Page::Memo)
      .function("status", &Page::Status)
      .function("error", &Page::Error)
      .function("attachErrors", &Page::AttachErrors)
      .function("draw", &Page::Draw)
      .function("lines", &Page::Lines)
      .function("runs", &Page::Runs)
      .function("labels", &Page::Labels)
      .function("labelTexts", &Page::LabelTexts)
      .function("undo", &Page::Undo)
      .function("redo", &Page::Redo)
      .function("wouldDoubleModel", &Page::WouldDoubleModel)
      .function("markSaved", &Page::MarkSaved)
      .function("canUndo", &Page::CanUndo)
      .function("canRedo", &Page::CanRedo)
      .function("modified", &Page::Modified)
      .function("title", &Page::Title)
      .function("note", &Page::Note)
      .function("texts", &Page::Texts)
      .function("background", &Page::Background);
}
