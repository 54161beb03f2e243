#include "cli/grep_command.h"

#include <filesystem>
#include <memory>

#include "cli/console_ui.h"
#include "cli/output.h"
#include "cli/utf8_path.h"
#include "grep/grep_dialog.h"
#include "platform/interrupt_as_escape.h"

namespace quoldex::cli {
namespace {

int ScopeOf(const GrepRequest& request) {
  if (request.by_ancestors) return grep::kScopeAncestors;
  if (request.by_directory) return grep::kScopeDirectory;
  if (request.by_package) return grep::kScopePackage;
  return grep::kScopeAllClasses;
}

}  // namespace

void GrepCommand(app::TfrmQuoldexBrowser& browser, const GrepRequest& request, std::ostream& out) {
  grep::TdlgGrep& dialog = browser.dlgGrep();
  auto* console = dynamic_cast<ConsoleUi*>(&browser.GetUi());
  const bool verbose = console != nullptr && console->Verbose();

  platform::InterruptAsEscapeScope interrupt_as_escape;
  // The dialog hands over to the window system before each file: that is
  // where a pending Ctrl+C presses Cancel.
  dialog.SetOnChange([&](uint32_t what) {
    if (!(what & grep::kGrepStatus)) return;
    // Progress only: the summary is written once, at the end.
    const std::string& text = dialog.StatusText();
    if (verbose && (text.starts_with("Searching ") || text.starts_with("Found in ")))
      console->Err() << text << '\n' << std::flush;
    if (dialog.Searching() && platform::IsEscapeDown()) dialog.bbtnCancelClick();
  });
  struct Detach {
    grep::TdlgGrep& dialog;
    ~Detach() { dialog.SetOnChange(nullptr); }
  } detach{dialog};

  dialog.ShowGrep(request.ancestors, request.package, ScopeOf(request), {.goModeless = true});
  if (request.by_directory) {
    dialog.SetDirectory(
        PathText(std::filesystem::absolute(Utf8Path(request.directory)).lexically_normal()));
    dialog.SetMask(request.mask);
  }
  dialog.edtSearchForChange(request.text);
  try {
    dialog.actStartSearchExecute();
  } catch (...) {
    if (console) console->Err() << dialog.StatusText() << '\n';
    throw;
  }
  for (const grep::GrepResult& row : dialog.Results()) {
    WriteLine(out, {row.name, row.file, row.location});
  }
  out.flush();
  if (console) console->Err() << dialog.StatusText() << '\n' << std::flush;
}

void AddGrepCommand(CLI::App& app, Invocation& invocation) {
  auto request = std::make_shared<GrepRequest>();
  CLI::App* grep = app.add_subcommand(
      "grep",
      "The grep dialog's Go: the files that hold TEXT (ignoring case), a line each as\n"
      "Name<TAB>File<TAB>Location (the byte offset of the first match; empty for\n"
      "--directory). Scope: every catalogued class unless one option names another.\n"
      "The status line (\"Search Complete, (N files searched, M files found.)\") ends\n"
      "the error output. Ctrl+C is Cancel: the rows found so far are written and the\n"
      "status line reads \"Search Canceled\".");
  grep->add_option("TEXT", request->text, "Text to search files for (not empty)")
      ->required()
      ->check(CLI::Validator(
          [](std::string& text) { return text.empty() ? "TEXT is empty" : std::string(); }, ""));
  CLI::Option* ancestors = grep->add_option("--ancestors", request->ancestors,
                                            "Search the files of the ancestors of CLASS");
  ancestors->type_name("CLASS");
  CLI::Option* directory = grep->add_option("--directory", request->directory,
                                            "Search every file below DIR that matches the mask");
  directory->type_name("DIR");
  grep->add_option("--mask", request->mask, "File mask of --directory (default *.uc)")
      ->type_name("MASK")
      ->needs(directory);
  CLI::Option* package =
      grep->add_option("--package", request->package, "Search the files of package NAME");
  package->type_name("NAME");
  ancestors->excludes(directory)->excludes(package);
  directory->excludes(package);
  grep->callback([&invocation, request, ancestors, directory, package] {
    request->by_ancestors = ancestors->count() > 0;
    request->by_directory = directory->count() > 0;
    request->by_package = package->count() > 0;
    invocation.uses_tree = false;  // the dialog searches its own table
    invocation.command = [copy = *request](app::TfrmQuoldexBrowser& b, std::ostream& out) {
      GrepCommand(b, copy, out);
    };
  });
}

}  // namespace quoldex::cli
