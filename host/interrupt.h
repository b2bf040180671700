// Stopping a run cleanly on SIGINT or SIGTERM: the handler only records the signal; the run stops
// taking files, discards the file in hand and reports how far it came.
#pragma once

namespace zqx::host {

// While an InterruptWatch exists, SIGINT and SIGTERM are recorded instead of ending the process
// (unless the process was started with them ignored, which stays so); a second signal of either
// kind ends it at once (the default action). The destructor puts the
// previous handlers back. One watch at a time, made and destroyed on the main thread.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Whether a signal came; safe to call from any thread.
    static bool requested();
    // The signal that came (SIGINT or SIGTERM), or 0.
    static int signalNumber();
    // The exit status for it: 128 + the signal number (130 for SIGINT, 143 for SIGTERM).
    static int exitStatus();
    // "SIGINT" or "SIGTERM".
    static const char* signalName();
};

// Thrown where a file in hand is discarded because of a signal.
struct Interrupted {};

}  // namespace zqx::host
