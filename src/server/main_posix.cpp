// corvid-opcd: the headless server. Runs the server thread until SIGINT or SIGTERM, or until the
// server thread ends by itself (the client wait passed and no client holds the server).
#include <malloc.h>
#include <signal.h>
#include <time.h>

#include <string>

#include "server/serverthread.h"
#include "util/log.h"

int main(int argc, char** argv) {
  using corvid::ServerThread;
  using corvid::ServerThreadInstance;

  // One heap for every thread. The server thread allocates nearly all of the process's memory
  // (100,000 channels: some 100 MB at the download); in a heap of a thread's own, glibc grows it
  // a page at a time, one system call each, where the process's main heap grows in large steps.
#ifdef M_ARENA_MAX
  mallopt(M_ARENA_MAX, 1);
#endif

  // Signals are taken by sigtimedwait below, never by a handler in another thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }

  auto* server = new ServerThread(command_line);
  ServerThreadInstance.store(server);
  if (!server->RegistrationRun()) {
    server->Start();
    const timespec poll_period{0, 200 * 1000 * 1000};
    while (!server->Finished()) {
      if (sigtimedwait(&stop_signals, nullptr, &poll_period) > 0) {
        corvid::WriteLog("WARNING\tЗавершение работы оператором");
        break;
      }
    }
    server->Terminate();
    server->WaitFor();
  }
  ServerThreadInstance.store(nullptr);
  delete server;
  return 0;
}
