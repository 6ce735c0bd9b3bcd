// zevrin: the command line. Every edit of the window, in batch.
#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/session/Document.h"
#include "app/session/DocumentExport.h"
#include "app/session/uAppConst.h"
#include "cli/TermProgress.h"
#include "import/M_poly.h"
#include "import/assimp/M_assimp.h"
#include "import/assimp/M_assimp_export.h"
#include "mesh/M_export.h"
#include "model/AM5_segment.h"
#include "model/ShadedModel.h"
#include "util/Errors.h"
#include "util/FilePath.h"
#include "util/FmxUtils.h"
#include "util/Ustrlib.h"
#include "view/M_scr.h"
#include "view/ShadedRaster.h"
#include "view/SvgSurface.h"
#include "view/qt/QtSurface.h"
#include "view/qt/RgbaPng.h"

namespace zevrin::cli {
namespace {

struct Options {
  std::string lang;  // "ja", "en" or empty: from the environment
  bool quiet = false;
  std::string file;
  std::string output;
  bool in_place = false;
  std::string template_path;  // empty: the template beside the program
  bool expand_inserts = false;
  double reader_timeout = 0;  // seconds; 0: the default, growing with the file's size
  std::string format;         // "tag", "v5" or empty: the format of the file opened
};

bool japanese(const Options& o) {
  if (o.lang == "ja") return true;
  if (o.lang == "en") return false;
  return JapaneseFromEnvironment();
}

void status(const Options& o, const std::string& text) {
  if (!o.quiet) std::cerr << text << '\n';
}

const char* const kFileHelp = "Model (.mdl, .seg) or polygon file (DXF, ROK, OBJ, STL, PLY, ...)";

// A session for one run: the polygon formats of Assimp, the terminal's bars.
struct Session {
  explicit Session(const Options& o) : progress(!o.quiet) {
    session.Progress = &progress;
    session.PolygonReader = &assimp;
    session.TemplatePath = o.template_path;
    session.Polygons.ExpandInserts = o.expand_inserts;
    assimp.Limits.Seconds = o.reader_timeout;
  }
  AssimpPolygonReader assimp;
  TermProgress progress;
  DocumentSession session;
};

// Loads o.file as the session's document; the window's status-bar outcomes are errors here.
// Returns the memo lines.
std::vector<std::string> load(DocumentSession& session, const Options& o) {
  session.CurrentFile = o.file;
  const StepResult result = session.LoadDocument();
  if (result.Outcome != LoadOutcome::Loaded) {
    const ErrorKind kind = result.Outcome == LoadOutcome::FileMissing ? ErrorKind::FileMissing
                                                                      : ErrorKind::WrongExtension;
    ZevrinError e(kind, o.file);
    e.setFile(o.file);
    throw e;
  }
  WriteResultFiles(result);
  return result.Memo;
}

void printLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::cout << line << '\n';
}

int runInfo(const Options& o) {
  Session run(o);
  printLines(load(run.session, o));
  status(o, StatusOpened(japanese(o), run.session.CurrentFile));
  return 0;
}

// Save for --in-place, Save As for -o, each with its status text.
void save(DocumentSession& session, const Options& o) {
  if (o.format == "tag") session.Format = SaveFormat::Tag;
  if (o.format == "v5") session.Format = SaveFormat::Bracketed;
  if (o.in_place) {
    session.SaveDocument(session.CurrentFile);
    status(o, StatusSaved(japanese(o), session.SaveFile));
  } else {
    session.SaveDocument(o.output);
    status(o, StatusSavedAs(japanese(o), session.SaveFile));
  }
}

int runConvert(const Options& o) {
  Session run(o);
  printLines(load(run.session, o));
  save(run.session, o);
  return 0;
}

// The options of mirror-bone; the renaming settings start as the defaults.
struct MirrorOptions {
  std::string tolerance;  // converted before anything is read
  std::string rule = "append";
  std::string word = kDefaultMirrorWord;
  std::string replacement = kDefaultMirrorReplacement;
  std::string append = kDefaultMirrorAppend;
};

int runMirrorBone(const Options& o, const MirrorOptions& m) {
  // A mistyped tolerance must fail before the file is even read.
  const double tolerance = StrToFloat(m.tolerance);
  const MirrorRule rule = m.rule == "prefix"   ? MirrorRule::Prefix
                          : m.rule == "suffix" ? MirrorRule::Suffix
                                               : MirrorRule::Append;
  Session run(o);
  DocumentSession& session = run.session;
  load(session, o);
  session.Shared.Mirror = MirrorSettings{rule, m.word, m.replacement, m.append};
  const StepResult result = session.MirrorBone(tolerance);
  WriteResultFiles(result);
  printLines(session.CountLines());
  // A tag file's copies list points too: what they were given, and what not.
  if (result.BonePointsLine) printLines({*result.BonePointsLine});
  status(o, StatusBoneMirrored(japanese(o)));
  save(session, o);
  return 0;
}

// Loads FILE, runs one whole-model edit, prints its memo lines and status text, and saves.
template <class Edit>
int runEdit(const Options& o, Edit&& edit) {
  Session run(o);
  load(run.session, o);
  const StepResult result = edit(run.session);
  WriteResultFiles(result);
  printLines(result.Memo);
  save(run.session, o);
  return 0;
}

int runHalvejoin(const Options& o, const std::string& tolerance_text) {
  // A mistyped tolerance must fail before the file is even read.
  const double tolerance = StrToFloat(tolerance_text);
  return runEdit(o, [&](DocumentSession& session) {
    StepResult result = session.Halvejoin(tolerance);
    status(o, StatusHalvejoined(japanese(o), session.CurrentFile));
    return result;
  });
}

int runConnect(const Options& o) {
  return runEdit(o, [&](DocumentSession& session) {
    StepResult result = session.ConnectGroupedSplines();
    status(o, StatusConnected(japanese(o), session.CurrentFile));
    return result;
  });
}

int runAttachAll(const Options& o) {
  return runEdit(o, [&](DocumentSession& session) {
    StepResult result = session.AttachAll();
    status(o, StatusAttached(japanese(o)));
    return result;
  });
}

int runDetachAll(const Options& o) {
  return runEdit(o, [&](DocumentSession& session) {
    StepResult result = session.DetachAll();
    status(o, StatusDetached(japanese(o)));
    return result;
  });
}

// The options of render.
struct RenderOptions {
  std::string view = "front";
  std::string size = "800x600";
  bool cpid = false;
  std::string output;
  // The shaded picture instead of the wireframe, turned from the view's direction.
  bool shaded = false;
  double yaw = 0;
  double pitch = 0;
  bool no_splines = false;
};

// A picture side beyond this is refused: 16384 x 16384 is already a gigabyte of raster.
constexpr std::int32_t kMaxPictureSide = 16384;

// Reads "WxH" with both sides from 1 to kMaxPictureSide; false for anything else.
bool parsePictureSize(std::string_view text, std::int32_t& width, std::int32_t& height) {
  const auto side = [](std::string_view s, std::int32_t& v) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() && v >= 1 && v <= kMaxPictureSide;
  };
  const std::size_t x = text.find('x');
  return x != std::string_view::npos && side(text.substr(0, x), width) &&
         side(text.substr(x + 1), height);
}

enum class PictureKind { None, Png, Svg };

// By the extension of the file name, ASCII case ignored.
PictureKind pictureKind(std::string_view path) {
  if (HasExtension(path, ".png")) return PictureKind::Png;
  if (HasExtension(path, ".svg")) return PictureKind::Svg;
  return PictureKind::None;
}

// Draws the document as the window does: the view set up as at the window's start, then a
// redisplay. A coordinate the picture cannot hold is the model's fault, so the error names it.
void drawDocument(DrawSurface& surface, std::int32_t width, std::int32_t height,
                  DocumentSession& session, ViewKind direction, bool cpid) {
  WithFile(session.CurrentFile,
           [&] { DrawAsAtStart(surface, width, height, session.Document.get(), direction, cpid); });
}

void writeBytes(const std::string& path, const char* data, std::size_t size) {
  WriteFileAtomically(path, [&](const ByteSink& sink) { return sink(data, size); });
}

// Qt's own notes (a missing runtime folder, the platform in use) are no concern of a batch
// run; only its real failures are shown.
void qtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << text.toStdString() << '\n';
}

int runRender(const Options& o, const RenderOptions& r) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  parsePictureSize(r.size, width, height);  // already checked while parsing
  const ViewKind direction = r.view == "left"  ? ViewKind::Left
                             : r.view == "top" ? ViewKind::Top
                                               : ViewKind::Front;
  Session run(o);
  DocumentSession& session = run.session;
  printLines(load(session, o));
  if (r.shaded) {
    // Drawn in software, so that the picture depends on no display and no graphics driver.
    StepContext step(Progress(run.progress.MainBar(), run.progress.SubBar()));
    const ShadedScene scene = WithFile(
        session.CurrentFile, [&] { return BuildShadedScene(*session.Document, step.Bars); });
    OrbitCamera camera = OrbitCamera::ForView(direction);
    camera.Orbit(r.yaw, r.pitch);
    FitScene(camera, scene, width, height);
    ShadedStyle style;
    style.DrawSplines = !r.no_splines;
    const QByteArray png = PngOf(RenderShaded(scene, camera, width, height, style));
    if (png.isEmpty()) throw ZevrinError(ErrorKind::CannotWrite, r.output);
    writeBytes(r.output, png.constData(), static_cast<std::size_t>(png.size()));
    printLines({"Number of patch=" + std::to_string(scene.Patches),
                "Number of hole=" + std::to_string(scene.Holes),
                "Number of unorientable=" + std::to_string(scene.Unorientable)});
  } else if (pictureKind(r.output) == PictureKind::Svg) {
    SvgSurface surface(width, height);
    drawDocument(surface, width, height, session, direction, r.cpid);
    const std::string text = surface.Text();
    writeBytes(r.output, text.data(), text.size());
  } else {
    // The raster picture's fonts need a QGuiApplication; with no display the offscreen
    // platform serves, unless the user chose one.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(qtMessages);
    int qt_argc = 1;
    char qt_name[] = "zevrin";
    char* qt_argv[] = {qt_name, nullptr};
    QGuiApplication gui(qt_argc, qt_argv);
    QtSurface surface(width, height);
    drawDocument(surface, width, height, session, direction, r.cpid);
    const QByteArray png = surface.Png();
    if (png.isEmpty()) throw ZevrinError(ErrorKind::CannotWrite, r.output);
    writeBytes(r.output, png.constData(), static_cast<std::size_t>(png.size()));
  }
  status(o, StatusSavedAs(japanese(o), r.output));
  return 0;
}

enum class ExportKind { None, Polygons, Dxf };

ExportKind exportKind(std::string_view path) {
  if (HasExtension(path, ".dxf")) return ExportKind::Dxf;
  if (AssimpPolygonWriter().Writes(FileExtension(path))) return ExportKind::Polygons;
  return ExportKind::None;
}

// The options of export.
struct ExportOptionsCli {
  std::string output;
  bool triangulate = false;
  bool polylines = false;
};

// An export replaces a file as a save does: the old one is kept as OUT.bak, so that even an
// export over the polygon file it read loses nothing.
void writeLines(const std::string& path, const LineList& lines) {
  if (FileExists(path)) CopyFile(path, path + ".bak");
  std::string text;
  for (const std::string& line : lines) (text += line) += '\n';
  writeBytes(path, text.data(), text.size());
}

// The patches of the document as faces, in the format of OUT's extension. With --polylines
// (OBJ only) the splines as polylines instead. DXF: the faces of a polygon file, read again
// (the document keeps only the splines made of them), so a model file has none to give.
int runExport(const Options& o, const ExportOptionsCli& x) {
  Session run(o);
  DocumentSession& session = run.session;
  const std::string& output = x.output;
  if (exportKind(output) == ExportKind::Dxf) {
    if (!FileExists(o.file)) load(session, o);  // the missing-file error of every command
    StepContext step(Progress(run.progress.MainBar(), run.progress.SubBar()));
    std::unique_ptr<Mpolycommon> polygons =
        ReadPolygonFile(o.file, session.Polygons, session.PolygonReader, step);
    if (!polygons) {
      ZevrinError e(ErrorKind::WrongExtension, o.file);
      e.setFile(o.file);
      throw e;
    }
    LineList lines;
    polygons->WriteDxf(lines);
    writeLines(output, lines);
  } else if (x.polylines) {
    printLines(load(session, o));
    writeLines(output, WriteObjPolylines(*session.Document));
  } else {
    printLines(load(session, o));
    const AssimpPolygonWriter writer;
    ExportOptions options;
    options.Triangulate = x.triangulate;
    printLines(ExportPatches(session, output, writer, options).Memo);
  }
  status(o, StatusSavedAs(japanese(o), output));
  return 0;
}

// -o OUT or --in-place, exactly one of them.
void addOutputOptions(CLI::App* cmd, Options& o) {
  auto* out = cmd->add_option("-o,--output", o.output,
                              "Save as OUT (a polygon extension becomes .mdl, none gets .mdl; an "
                              "existing OUT is kept as OUT.bak)");
  auto* in_place =
      cmd->add_flag("--in-place", o.in_place, "Overwrite FILE, keeping the old one as FILE.bak");
  out->excludes(in_place);
  in_place->excludes(out);
  cmd->add_option("--format", o.format,
                  "Save as a tag file (\"tag\": the format of the modeller's versions 14 and "
                  "later) or a bracketed version-5 file (\"v5\"); default: the format opened (a "
                  "polygon file: v5). A tag file saves as a tag file only")
      ->check(CLI::IsMember({"tag", "v5"}))
      ->type_name("tag|v5");
  cmd->callback([cmd, out, in_place] {
    if (out->count() == 0 && in_place->count() == 0)
      throw CLI::RequiredError("one of -o,--output and --in-place");
    (void)cmd;
  });
}

int run(int argc, char** argv) {
  Options o;
  CLI::App app{
      "Zevrin: whole-model edits for Animation:Master version-5 model files (.mdl, .seg),\n"
      "and conversion of polygon files (DXF 3DFACE, RokkakuDaiou .rok, and OBJ, STL, PLY, 3DS,\n"
      "FBX and the other formats Assimp reads) into models.",
      "zevrin"};
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--lang", o.lang, "Language of messages (default: from LC_ALL, LC_MESSAGES, LANG)")
      ->check(CLI::IsMember({"ja", "en"}));
  app.add_flag("-q,--quiet", o.quiet, "No progress bar and no status text");
  app.add_option("--template", o.template_path,
                 "The model that a DXF or ROK file is converted into (default: " +
                     std::string(kTemplateFileName) + " beside the program)")
      ->type_name("PATH");
  app.add_flag("--expand-inserts", o.expand_inserts,
               "A DXF file's INSERT entities bring the faces of the blocks they place, moved, "
               "scaled and turned as the insert says");

  app.add_option("--reader-timeout", o.reader_timeout,
                 "Seconds the separate process that reads OBJ, STL, PLY and the other Assimp "
                 "formats may take (default: 10, and 1 more per MiB of the file)")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);

  auto* info =
      app.add_subcommand("info", "Open FILE and print its control-point and spline counts");
  info->add_option("FILE", o.file, kFileHelp)->required();

  auto* convert = app.add_subcommand("convert", "Open FILE and save it as a model file");
  convert->add_option("FILE", o.file, kFileHelp)->required();
  addOutputOptions(convert, o);

  MirrorOptions m;
  auto* mirror = app.add_subcommand(
      "mirror-bone", "Copy every bone off the X = 0 plane, mirrored, with a new name");
  mirror->add_option("FILE", o.file, "Model file (.mdl, .seg)")->required();
  mirror
      ->add_option("-t,--tolerance", m.tolerance,
                   "A bone whose pivot or end lies farther than TOL from the plane is copied")
      ->type_name("TOL")
      ->required();
  mirror
      ->add_option("--rule", m.rule,
                   "prefix: a copy's name beginning with AAA gets BBB in its place; suffix: "
                   "one ending with AAA likewise; append: TEXT is appended. A name the rule "
                   "does not match gets TEXT appended too (default: append)")
      ->type_name("RULE")
      ->check(CLI::IsMember({"prefix", "suffix", "append"}));
  mirror->add_option("--word", m.word, "The word AAA the rules look for (default: left)")
      ->type_name("AAA");
  mirror->add_option("--replacement", m.replacement, "The replacement BBB (default: right)")
      ->type_name("BBB");
  mirror->add_option("--append", m.append, "The appended TEXT (default: mb)")->type_name("TEXT");
  addOutputOptions(mirror, o);

  std::string halvejoin_tolerance;
  auto* halvejoin = app.add_subcommand(
      "halvejoin", "Mirror a half model across X = 0 and join the halves into one mesh");
  halvejoin->add_option("FILE", o.file, kFileHelp)->required();
  halvejoin
      ->add_option("-t,--tolerance", halvejoin_tolerance,
                   "Points nearer than TOL to the plane X = 0 are moved onto it first")
      ->type_name("TOL")
      ->required();
  addOutputOptions(halvejoin, o);

  auto* connect = app.add_subcommand(
      "connect", "Join the splines of each group whose ends meet exactly; the groups are used up");
  connect->add_option("FILE", o.file, kFileHelp)->required();
  addOutputOptions(connect, o);

  auto* attach_all = app.add_subcommand(
      "attach-all", "Weld the control points that lie at exactly the same position");
  attach_all->add_option("FILE", o.file, kFileHelp)->required();
  addOutputOptions(attach_all, o);

  auto* detach_all = app.add_subcommand(
      "detach-all", "Give every attached control point its position as its own coordinates");
  detach_all->add_option("FILE", o.file, kFileHelp)->required();
  addOutputOptions(detach_all, o);

  RenderOptions r;
  auto* render = app.add_subcommand(
      "render", "Open FILE and draw it as the window does, into a PNG or SVG picture");
  render->add_option("FILE", o.file, kFileHelp)->required();
  render->add_option("--view", r.view, "Direction of view: front, left or top (default: front)")
      ->check(CLI::IsMember({"front", "left", "top"}));
  render
      ->add_option("--size", r.size,
                   "Picture size WxH in pixels, each side 1 to " + std::to_string(kMaxPictureSide) +
                       " (default: 800x600)")
      ->type_name("WxH")
      ->check([](const std::string& text) -> std::string {
        std::int32_t w = 0;
        std::int32_t h = 0;
        return parsePictureSize(text, w, h) ? "" : "SIZE must be WxH, for example 800x600";
      });
  auto* cpid = render->add_flag("--cpid", r.cpid, "Label the control points with their numbers");
  auto* shaded = render->add_flag(
      "--shaded", r.shaded,
      "The patches shaded (PNG only): front grey, back red-orange, sets that cannot turn one "
      "way tinted violet, hole outlines yellow, splines dark over them");
  const auto angle = [](const std::string& text) -> std::string {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(v) &&
                   std::fabs(v) <= 3600
               ? ""
               : "an angle in degrees from -3600 to 3600";
  };
  auto* yaw = render
                  ->add_option("--yaw", r.yaw,
                               "--shaded: turn about the model's up axis by D degrees from "
                               "--view's direction (90 turns the front view into the left)")
                  ->type_name("D")
                  ->check(angle);
  auto* pitch = render
                    ->add_option("--pitch", r.pitch,
                                 "--shaded: raise the viewer by D degrees after --yaw, "
                                 "lower it for D < 0")
                    ->type_name("D")
                    ->check(angle);
  auto* no_splines =
      render->add_flag("--no-splines", r.no_splines, "--shaded: the surface without its splines");
  yaw->needs(shaded);
  pitch->needs(shaded);
  no_splines->needs(shaded);
  cpid->excludes(shaded);
  shaded->excludes(cpid);
  render->add_option("-o,--output", r.output, "The picture: OUT.png or OUT.svg")
      ->type_name("OUT")
      ->required()
      ->check([](const std::string& path) -> std::string {
        return pictureKind(path) == PictureKind::None ? "OUT must end in .png or .svg" : "";
      });

  ExportOptionsCli x;
  auto* export_cmd = app.add_subcommand(
      "export",
      "Write FILE's patches as a polygon file (OBJ, glTF, STL, PLY, FBX, Collada), "
      "its splines as OBJ polylines, or a polygon file's faces as DXF");
  export_cmd->add_option("FILE", o.file, "Model (.mdl, .seg) or polygon file")->required();
  export_cmd
      ->add_option("-o,--output", x.output,
                   "OUT.obj, .gltf, .glb, .stl, .ply, .fbx or .dae: every loop of three or four "
                   "spline segments as a face at the resolved positions, one mesh per group "
                   "holding all its corners and the rest in one named after FILE (an existing "
                   "OUT is kept as OUT.bak); OUT.dxf: the faces of a polygon FILE as 3DFACE "
                   "entities")
      ->type_name("OUT")
      ->required()
      ->check([](const std::string& path) -> std::string {
        return exportKind(path) == ExportKind::None
                   ? "OUT must end in .obj, .gltf, .glb, .stl, .ply, .fbx, .dae or .dxf"
                   : "";
      });
  render->callback([&r] {
    if (r.shaded && pictureKind(r.output) != PictureKind::Png)
      throw CLI::ValidationError("--shaded", "draws PNG pictures only: OUT must end in .png");
  });

  auto* triangulate = export_cmd->add_flag(
      "--triangulate", x.triangulate,
      "Split every quad into two triangles along its shorter diagonal (STL and glTF always)");
  auto* polylines = export_cmd->add_flag(
      "--polylines", x.polylines,
      "OUT.obj: one polyline per spline through its control points instead of the faces");
  triangulate->excludes(polylines);
  polylines->excludes(triangulate);
  export_cmd->callback([&x] {
    if (x.polylines && !HasExtension(x.output, ".obj"))
      throw CLI::ValidationError("--polylines", "writes OBJ files only: OUT must end in .obj");
    if (x.triangulate && exportKind(x.output) == ExportKind::Dxf)
      throw CLI::ValidationError("--triangulate",
                                 "a DXF export writes the polygon file's faces as they are");
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  try {
    if (info->parsed()) return runInfo(o);
    if (convert->parsed()) return runConvert(o);
    if (render->parsed()) return runRender(o, r);
    if (mirror->parsed()) return runMirrorBone(o, m);
    if (halvejoin->parsed()) return runHalvejoin(o, halvejoin_tolerance);
    if (connect->parsed()) return runConnect(o);
    if (attach_all->parsed()) return runAttachAll(o);
    if (detach_all->parsed()) return runDetachAll(o);
    if (export_cmd->parsed()) return runExport(o, x);
  } catch (const ZevrinError& e) {
    std::cerr << e.describe(japanese(o)) << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "zevrin: " << e.what() << '\n';
    return 1;
  }
  return 2;
}

}  // namespace
}  // namespace zevrin::cli

int main(int argc, char** argv) { return zevrin::cli::run(argc, argv); }
