// The crash record: when the launcher dies of a fault, a signal handler writes what it knows (signal,
// fault address, thread, backtrace, memory map) to "orl.bin Y-M-D h_m_s.dmp" in the working folder and
// ends the process quietly. When the record cannot be written, the previous disposition runs.
#pragma once

#include <ctime>
#include <string>

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT, keeping the dispositions it
// replaces. Returns 1.
int InstallCrashHandler();
// Puts the kept dispositions back. Returns 1.
int RemoveCrashHandler();

// The local time's offset from UTC at t, as the handler takes it for the record's name: from the time
// zone's changes over the three years after installation, worked out when it was installed, since
// the handler may not call localtime.
long CrashUtcOffsetAt(std::time_t t);

// The record's file name for a local time: "orl.bin 2024-3-7 9_5_3.dmp".
std::string CrashRecordName(const std::tm& local);
