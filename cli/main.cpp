// zevrin: the command line. Every edit of the window, in batch.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>

#include "app/Document.h"
#include "app/uAppConst.h"
#include "cli/TermProgress.h"
#include "util/Errors.h"

namespace zevrin::cli {
namespace {

struct Options {
  std::string lang;  // "ja", "en" or empty: from the environment
  bool quiet = false;
  std::string file;
  std::string output;
  bool in_place = false;
};

bool japanese(const Options& o) {
  if (o.lang == "ja") return true;
  if (o.lang == "en") return false;
  return JapaneseFromEnvironment();
}

void status(const Options& o, const std::string& text) {
  if (!o.quiet) std::cerr << text << '\n';
}

// Loads o.file as the session's document; the window's status-bar outcomes are errors here.
void load(DocumentSession& session, const Options& o) {
  session.CurrentFile = o.file;
  switch (session.LoadDocument()) {
    case LoadOutcome::Loaded:
      return;
    case LoadOutcome::FileMissing: {
      ZevrinError e(ErrorKind::FileMissing, o.file);
      e.setFile(o.file);
      throw e;
    }
    case LoadOutcome::WrongExtension: {
      ZevrinError e(ErrorKind::WrongExtension, o.file);
      e.setFile(o.file);
      throw e;
    }
  }
}

void printCounts() {
  for (const std::string& line : DocumentSession::CountLines()) std::cout << line << '\n';
}

int runInfo(const Options& o) {
  TermProgress progress(!o.quiet);
  DocumentSession session;
  session.Progress = &progress;
  load(session, o);
  printCounts();
  status(o, StatusOpened(japanese(o), session.CurrentFile));
  return 0;
}

int runConvert(const Options& o) {
  TermProgress progress(!o.quiet);
  DocumentSession session;
  session.Progress = &progress;
  load(session, o);
  printCounts();
  if (o.in_place) {
    session.SaveDocument(session.CurrentFile);
    status(o, StatusSaved(japanese(o), session.SaveFile));
  } else {
    session.SaveDocument(o.output);
    status(o, StatusSavedAs(japanese(o), session.SaveFile));
  }
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
      "and conversion of DXF 3DFACE and RokkakuDaiou .rok polygon files into models.",
      "zevrin"};
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--lang", o.lang, "Language of messages (default: from LC_ALL, LC_MESSAGES, LANG)")
      ->check(CLI::IsMember({"ja", "en"}));
  app.add_flag("-q,--quiet", o.quiet, "No progress bar and no status text");

  auto* info = app.add_subcommand("info", "Open FILE and print its control-point and spline counts");
  info->add_option("FILE", o.file, "Model (.mdl, .seg), DXF or ROK file")->required();

  auto* convert = app.add_subcommand("convert", "Open FILE and save it as a model file");
  convert->add_option("FILE", o.file, "Model (.mdl, .seg), DXF or ROK file")->required();
  addOutputOptions(convert, o);

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
