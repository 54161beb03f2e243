#include "cli/session.h"

#include "app/data_folder.h"
#include "cli/console_ui.h"
#include "platform/native_platform.h"

namespace quoldex::cli {

int RunInvocation(const Invocation& invocation, std::ostream& out, std::ostream& err) {
  ConsoleUi ui(out, err, invocation.verbose, invocation.yes);
  platform::NativePlatform platform;
  if (invocation.maintenance) {
    const std::string folder = invocation.data_folder
                                   ? app::WithSeparator(*invocation.data_folder)
                                   : app::ChooseDataFolder(platform);
    const int status = invocation.maintenance(folder, out, err);
    out.flush();
    return status;
  }
  app::TfrmQuoldexBrowser browser(ui, platform, invocation.data_folder);
  // A file a scan leaves out is worth a line even when status texts are not
  // written (when they are, the notice is one of them).
  if (!invocation.verbose) {
    browser.Catalogue().SetOnNotice([&err](const std::string& text) { err << text << '\n'; });
  }
  browser.SetBuildTreeAtCreate(invocation.uses_tree);
  const bool created = browser.FormCreate() == app::CommandOutcome::kCompleted;
  // The state of the catalogue's files is news even without --verbose.
  if (!invocation.verbose) {
    for (const std::string& notice : browser.CatalogueNotices()) err << notice << '\n';
  }
  if (created && browser.FormShow() == app::CommandOutcome::kCompleted) {
    browser.Run([&] { invocation.command(browser, out); });
  }
  out.flush();
  browser.FormClose();
  return ui.ErrorsShown() > 0 ? kExitFailed : kExitOk;
}

}  // namespace quoldex::cli
