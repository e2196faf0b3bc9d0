#include "Interrupts.h"

#include <cstdlib>
#include <system_error>
#include <thread>

#include "FileIo.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

namespace htmlcompress {

void HandleInterrupts() {
#ifndef _WIN32
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  try {
    // A plain thread rather than a signal handler: it may take locks and
    // free memory, which removing the files needs.
    std::thread([signals] {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) return;
      velmar::fileio::RemovePendingTemporaries();
      std::_Exit(128 + signal);
    }).detach();
  } catch (const std::system_error&) {
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);  // the signals end the process as before
  }
#endif
}

}  // namespace htmlcompress
