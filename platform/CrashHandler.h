#pragma once

#include <cstddef>

// Writes a crash report when the process dies of SIGSEGV, SIGBUS, SIGFPE,
// SIGILL or SIGABRT, then lets the signal take its usual course (the process
// still dies of it, with a core dump where those are enabled).
//
// The report is a text file in the report directory: the signal, the process
// id, the time, the files the program asked to attach with their
// descriptions, and a backtrace. The program names its files through a
// callback that fills fixed text slots; it runs inside the signal handler,
// so it must only copy text that already exists (no allocation, no locks).
class CCrashHandler {
public:
    static constexpr std::size_t kSlots = 2;
    static constexpr std::size_t kSlotSize = 256;

    // The files of one report. Empty slots are left out of the report.
    struct CReport {
        char files[kSlots][kSlotSize];
        char descriptions[kSlots][kSlotSize];
    };
    using Callback = void (*)(CReport& report);

    // Installs the handler; reports go to `directory` (made when missing,
    // at crash time). A later call replaces directory and callback. False
    // when the directory name is over 1023 bytes or a handler cannot be set.
    static bool Install(const char* directory, Callback callback);
    // Puts back the handlers that were there before Install.
    static void Uninstall();

    // Copies text to the end of a slot, cut to fit; safe in the handler.
    static void AppendToSlot(char (&slot)[kSlotSize], const char* text);
};
