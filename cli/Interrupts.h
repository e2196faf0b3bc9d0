// Ending the command cleanly on SIGINT, SIGTERM and SIGHUP.

#ifndef VELMAR_CLI_INTERRUPTS_H_
#define VELMAR_CLI_INTERRUPTS_H_

namespace htmlcompress {

// From now on the three signals wait for a thread of their own, which
// removes the temporary files of saves in progress and ends the process with
// status 128 + the signal's number (130, 143, 129), as shells expect. Call it
// before starting other threads: they inherit the blocked signals. Does
// nothing where the system has no such signals.
void HandleInterrupts();

}  // namespace htmlcompress

#endif  // VELMAR_CLI_INTERRUPTS_H_
