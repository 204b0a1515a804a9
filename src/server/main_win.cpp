// CorvidOpcDa.exe: the Windows process entry. A registration run ("/r", "/u") ends at once;
// otherwise the server thread runs beside the hidden main window's message loop, and the
// program ends when the operator closes it or when the server thread ends by itself.
#include <windows.h>

#include <string>

#include "server/serverthread.h"
#include "util/log.h"
#include "util/text.h"

namespace {

constexpr UINT_PTR kWatchTimer = 1;
constexpr wchar_t kWindowClass[] = L"CorvidOpcDaMain";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER: {
      corvid::ServerThread* server = corvid::ServerThreadInstance.load();
      if (server == nullptr || server->Finished()) DestroyWindow(window);
      return 0;
    }
    case WM_CLOSE:
    case WM_ENDSESSION:
      corvid::WriteLog("WARNING\tЗавершение работы оператором");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

HWND CreateHiddenMainWindow(HINSTANCE instance) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassW(&window_class) == 0) return nullptr;
  HWND window =
      CreateWindowW(kWindowClass, L"Corvid OPC DA v2.2", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                    CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
  if (window != nullptr) SetTimer(window, kWatchTimer, 1000, nullptr);
  return window;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  using corvid::ServerThread;
  using corvid::ServerThreadInstance;

  const std::string args = corvid::Utf16ToUtf8(reinterpret_cast<const char16_t*>(command_line));
  auto* server = new ServerThread(args);
  ServerThreadInstance.store(server);
  if (!server->RegistrationRun()) {
    HWND window = CreateHiddenMainWindow(instance);
    server->Start();
    if (window != nullptr) {
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    } else {
      // No window station (a service or a headless session): serve until the thread ends.
      while (!server->Finished()) Sleep(200);
    }
    server->Terminate();
    server->WaitFor();
  }
  ServerThreadInstance.store(nullptr);
  delete server;
  return 0;
}
