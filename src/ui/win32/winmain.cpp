// CorvidOpcDa.exe: the Windows process entry. A registration run ("/r", "/u") ends at once;
// otherwise the server thread runs beside the hidden main window's message loop, and the
// program ends when the operator ends it or when the server thread ends by itself.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "server/serverthread.h"
#include "settings/saveparams.h"
#include "settings/viewoptions.h"
#include "ui/win32/formbounds.h"
#include "ui/win32/mainform.h"
#include "ui/win32/uicommon.h"
#include "util/text.h"

namespace {

// The application's message loop, until the main window closes (WM_QUIT). An exception that
// escapes a message is shown in the exception box and the loop goes on.
void RunMessageLoop() {
  MSG message;
  for (;;) {
    try {
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got <= 0) return;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    } catch (const std::exception& e) {
      corvid::ui::ShowExceptionBox(nullptr, e.what());
    } catch (...) {
      corvid::ui::ShowExceptionBox(nullptr, "");
    }
  }
}

void Serve(corvid::ServerThread& server) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  // The window-state store, written when it goes at the end of the process.
  corvid::TSaveParamsINI params(server.ParamsPath(), false);
  params.SetMinimumColumnWidth(corvid::kParamsMinimumColumnWidth);
  corvid::ui::SetParamsStore(&params);
  {
    corvid::ui::ServerThreadHost host;
    corvid::ui::TformMain form(host);
    const bool have_window = form.Create();  // hidden: only the tray icon shows at start
    server.Start();
    if (have_window) {
      RunMessageLoop();
    } else {
      // No window station (a service or a headless session): serve until the thread ends.
      while (!server.Finished()) Sleep(200);
    }
  }
  corvid::ui::SetParamsStore(nullptr);
  server.Terminate();
  server.WaitFor();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  using corvid::ServerThread;
  using corvid::ServerThreadInstance;

  const std::string args = corvid::Utf16ToUtf8(reinterpret_cast<const char16_t*>(command_line));
  auto* server = new ServerThread(args);
  ServerThreadInstance.store(server);
  if (!server->RegistrationRun()) Serve(*server);
  ServerThreadInstance.store(nullptr);
  delete server;
  return 0;
}
