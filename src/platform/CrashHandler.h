#pragma once

// Writes a crash report when the process dies of a fatal signal or an
// uncaught exception, then lets it end. The report goes to
// <temp>/AppName/v1.0-YYYYMMDD-HHMMSS-<pid>-<tid>.dmp and holds the signal,
// the fault address, the thread id, a backtrace and the memory map. The
// handler itself uses async-signal-safe calls only.

#include <string>

namespace platform {

// Installs the handlers; the temporary directory is read now, not at the crash.
void InstallCrashHandler();

// "<temp>AppName", the folder the reports go to.
std::string CrashDumpDirectory();

} // namespace platform
