// The signal handlers behind InterruptWatch.
#include "host/interrupt.h"

#include <atomic>
#include <csignal>

namespace zqx::host {

namespace {

// Lock-free, so the handler may store into it.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

using Handler = void (*)(int);
Handler g_previousInt = SIG_DFL;
Handler g_previousTerm = SIG_DFL;

extern "C" void recordSignal(int number) {
    g_signal.store(number);
    // The next signal ends the process: a user pressing Ctrl-C twice means it.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

}  // namespace

InterruptWatch::InterruptWatch() {
    g_signal.store(0);
    g_previousInt = std::signal(SIGINT, recordSignal);
    g_previousTerm = std::signal(SIGTERM, recordSignal);
    // A signal the caller chose to ignore (nohup, a background job of a script) stays ignored.
    if (g_previousInt == SIG_IGN) std::signal(SIGINT, SIG_IGN);
    if (g_previousTerm == SIG_IGN) std::signal(SIGTERM, SIG_IGN);
}

InterruptWatch::~InterruptWatch() {
    std::signal(SIGINT, g_previousInt == SIG_ERR ? SIG_DFL : g_previousInt);
    std::signal(SIGTERM, g_previousTerm == SIG_ERR ? SIG_DFL : g_previousTerm);
}

bool InterruptWatch::requested() { return g_signal.load() != 0; }

int InterruptWatch::signalNumber() { return g_signal.load(); }

int InterruptWatch::exitStatus() { return 128 + g_signal.load(); }

const char* InterruptWatch::signalName() { return g_signal.load() == SIGINT ? "SIGINT" : "SIGTERM"; }

}  // namespace zqx::host
