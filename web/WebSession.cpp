#include "web/WebSession.h"

#include <exception>
#include <limits>
#include <utility>

#include "app/session/DocumentExport.h"
#include "app/session/HistoryTexts.h"
#include "app/session/uAppConst.h"
#include "mesh/M_export.h"
#include "model/tree/AM_const.h"
#include "util/FilePath.h"
#include "util/Ustrlib.h"

namespace zevrin::web {

// The two bars of a command, reported together whenever one moves.
class WebSession::Bars : public ProgressWindow {
 public:
  explicit Bars(WebSession& owner) : main_(*this), sub_(*this), owner_(owner) {}
  void Show() override {}
  void Hide() override {}
  ProgressBar* MainBar() override { return &main_; }
  ProgressBar* SubBar() override { return &sub_; }

 private:
  class Bar : public BasicProgressBar {
   public:
    explicit Bar(Bars& bars) : bars_(bars) {}

   protected:
    void Changed() override { bars_.changed(); }

   private:
    Bars& bars_;
  };

  void changed() {
    if (owner_.OnProgress) owner_.OnProgress(main_.Position(), sub_.Position());
  }

  Bar main_;
  Bar sub_;
  WebSession& owner_;
};

WebSession::WebSession() : bars_(std::make_unique<Bars>(*this)) {
  session_.Progress = bars_.get();
  session_.TemplateText = kBuiltInTemplate;
  // One thread: the page's WebAssembly has no others.
  session_.Polygons.ParallelFromBytes = std::numeric_limits<std::size_t>::max();
  session_.Polygons.Import.ThreadedFromFaces = std::numeric_limits<std::size_t>::max();
}

WebSession::~WebSession() = default;

template <class Command>
bool WebSession::run(Command&& command) {
  error_.reset();
  other_error_.clear();
  try {
    command();
    return true;
  } catch (const ZevrinError& e) {
    error_ = e;
  } catch (const std::exception& e) {
    // Out of memory, mostly: the command line says the same.
    other_error_ = std::string("zevrin: ") + e.what();
  }
  return false;
}

template <class Edit>
StepResult WebSession::edit(const char* caption, Edit&& body) {
  note_ = nullptr;
  StepResult result = history_.Apply(session_, EditName(caption), memo_,
                                     [&](DocumentSession& s) { return body(s); });
  const std::size_t budget = history_.Budget();
  if (history_.LastNotKept()) {
    note_ = [budget](bool japanese) { return StepNotKept(japanese, budget); };
  } else if (const std::int32_t dropped = history_.LastDropped(); dropped > 0) {
    note_ = [budget, dropped](bool japanese) {
      return OldestStepsDropped(japanese, dropped, budget);
    };
  }
  return result;
}

std::string WebSession::Error(bool japanese) const {
  if (error_) return error_->describe(japanese);
  return other_error_;
}

LineList WebSession::AttachErrors() const {
  return result_.AttachErrors ? result_.AttachErrors->Lines() : LineList();
}

bool WebSession::Open(const std::string& name, FileBuffer bytes) {
  return run([&] {
    StepResult result = session_.LoadDocumentBytes(name, std::move(bytes));
    if (result.Outcome != LoadOutcome::Loaded) {
      ZevrinError e(ErrorKind::WrongExtension, name);
      e.setFile(name);
      throw e;
    }
    // The old document's steps go with it.
    history_.Reset();
    note_ = nullptr;
    result_ = std::move(result);
    memo_ = result_.Memo;
    status_ = [file = name](bool japanese) { return StatusOpened(japanese, file); };
  });
}

bool WebSession::Halvejoin(const std::string& tolerance) {
  if (!HasDocument()) return false;
  return run([&] {
    const double t = StrToFloat(tolerance);
    result_ = edit("&Halvejoin", [t](DocumentSession& s) { return s.Halvejoin(t); });
    memo_ = result_.Memo;
    status_ = [file = FileName()](bool japanese) { return StatusHalvejoined(japanese, file); };
  });
}

bool WebSession::Connect() {
  if (!HasDocument()) return false;
  return run([&] {
    result_ = edit("&Connect grouped splines",
                   [](DocumentSession& s) { return s.ConnectGroupedSplines(); });
    memo_ = result_.Memo;
    status_ = [file = FileName()](bool japanese) { return StatusConnected(japanese, file); };
  });
}

bool WebSession::AttachAll() {
  if (!HasDocument()) return false;
  return run([&] {
    result_ = edit("&Attach all", [](DocumentSession& s) { return s.AttachAll(); });
    status_ = [](bool japanese) { return StatusAttached(japanese); };
  });
}

bool WebSession::DetachAll() {
  if (!HasDocument()) return false;
  return run([&] {
    result_ = edit("&Detach all", [](DocumentSession& s) { return s.DetachAll(); });
    status_ = [](bool japanese) { return StatusDetached(japanese); };
  });
}

bool WebSession::MirrorBone(const std::string& tolerance, const MirrorSettings& rule) {
  if (!HasDocument()) return false;
  return run([&] {
    const double t = StrToFloat(tolerance);
    session_.Shared.Mirror = rule;
    result_ = edit("&Mirror Bone", [t](DocumentSession& s) { return s.MirrorBone(t); });
    // A tag file's copies list points too: the memo tells what they were given, and what not.
    if (result_.BonePointsLine) {
      memo_ = session_.CountLines();
      memo_.push_back(*result_.BonePointsLine);
    }
    status_ = [](bool japanese) { return StatusBoneMirrored(japanese); };
  });
}

bool WebSession::Undo() {
  if (!CanUndo()) return false;
  return run([&] {
    const std::string name = history_.UndoName();
    note_ = nullptr;
    memo_ = history_.Undo(session_, memo_);
    result_ = StepResult();
    status_ = [name](bool japanese) { return Undone(japanese, name); };
  });
}

bool WebSession::Redo() {
  if (!CanRedo()) return false;
  return run([&] {
    const std::string name = history_.RedoName();
    note_ = nullptr;
    memo_ = history_.Redo(session_, memo_);
    result_ = StepResult();
    status_ = [name](bool japanese) { return Redone(japanese, name); };
  });
}

bool WebSession::WouldDoubleModel(const std::string& tolerance) const {
  if (!HasDocument()) return false;
  try {
    return HasPointsOnBothSides(*session_.Document, StrToFloat(tolerance));
  } catch (const ZevrinError&) {
    return false;
  }
}

std::string WebSession::Title() const {
  return zevrin::Title(kProgramCaption, HasDocument() ? FileName() : std::string(), Modified());
}

std::string WebSession::SaveName(const std::string& requested) const {
  return session_.SaveNameOf(requested.empty() ? FileName() : requested);
}

bool WebSession::Save(const std::string& name, const ByteSink& sink) {
  if (!HasDocument()) return false;
  return run([&] {
    const std::string saved = SaveName(name);
    if (!session_.WriteDocument(sink)) throw ZevrinError(ErrorKind::CannotWrite, saved);
    // The bytes are the user's now: nothing would be lost by closing the page.
    history_.MarkSaved();
    status_ = [saved](bool japanese) { return StatusSavedAs(japanese, saved); };
  });
}

bool WebSession::Save(const std::string& name, SaveFormat format, const ByteSink& sink) {
  if (!HasDocument()) return false;
  const SaveFormat was = session_.Format;
  session_.Format = IsTagFile() ? SaveFormat::Tag : format;
  if (Save(name, sink)) return true;
  session_.Format = was;  // nothing was saved: the next save writes as before
  return false;
}

bool WebSession::ExportObj(const ByteSink& sink) {
  if (!HasDocument()) return false;
  return run([&] {
    const std::string name = ReplaceExtension(FileName(), ".obj");
    std::string text;
    for (const std::string& line : WriteObjPolylines(*session_.Document)) (text += line) += '\n';
    if (!sink(text.data(), text.size())) throw ZevrinError(ErrorKind::CannotWrite, name);
    status_ = [name](bool japanese) { return StatusSavedAs(japanese, name); };
  });
}

// --- Polygon files of the formats beyond model, DXF and ROK files ---

void WebSession::SetPolygonReader(const PolygonFileReader* reader) {
  session_.PolygonReader = reader;
}

bool WebSession::ExportPatches(const std::string& name, bool triangulate,
                               const PolygonFileWriter& writer,
                               const std::function<void(const WrittenFile&)>& receive) {
  if (!HasDocument()) return false;
  return run([&] {
    std::vector<WrittenFile> files;
    ExportOptions options;
    options.Triangulate = triangulate;
    const ExportResult result = ExportPatchFiles(session_, name, writer, options, files);
    for (const WrittenFile& f : files) receive(f);
    memo_ = result.Memo;
    status_ = [file = result.Files.front()](bool japanese) {
      return StatusSavedAs(japanese, file);
    };
  });
}

// --- end of polygon files ---

bool WebSession::Draw(ViewKind direction, std::int32_t width, std::int32_t height, bool cpid,
                      SegmentSurface& out) {
  if (!HasDocument()) return false;
  // A drawing error leaves the last command's error and status alone.
  try {
    WithFile(FileName(),
             [&] { DrawAsAtStart(out, width, height, session_.Document.get(), direction, cpid); });
    return true;
  } catch (const ZevrinError& e) {
    error_ = e;
  }
  return false;
}

}  // namespace zevrin::web
