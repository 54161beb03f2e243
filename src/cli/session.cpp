#include "cli/session.h"

#include "cli/console_ui.h"
#include "platform/posix_platform.h"

namespace quoldex::cli {

int RunInvocation(const Invocation& invocation, std::ostream& out, std::ostream& err) {
  ConsoleUi ui(out, err, invocation.verbose, invocation.yes);
  platform::PosixPlatform platform;
  app::TfrmQuoldexBrowser browser(ui, platform, invocation.data_folder);
  // A file a scan leaves out is worth a line even when status texts are not
  // written (when they are, the notice is one of them).
  if (!invocation.verbose) {
    browser.Catalogue().SetOnNotice([&err](const std::string& text) { err << text << '\n'; });
  }
  if (browser.FormCreate() == app::CommandOutcome::kCompleted &&
      browser.FormShow() == app::CommandOutcome::kCompleted) {
    browser.Run([&] { invocation.command(browser, out); });
  }
  out.flush();
  browser.FormClose();
  return ui.ErrorsShown() > 0 ? kExitFailed : kExitOk;
}

}  // namespace quoldex::cli
