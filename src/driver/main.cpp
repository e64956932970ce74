#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "driver/run.hpp"
#include "platform/atomic_output.hpp"
#include "platform/messages.hpp"
#include "platform/standard_streams.hpp"

namespace {

// An interrupted run removes the output it was writing, keeps the old file and ends with
// the status a shell gives a process ended by that signal.  Once the output is in place
// the run has done its work: it finishes as it would have without the signal.
extern "C" void end_interrupted_run(int sig) {
    if (velmora::output_in_place()) return;
    velmora::remove_pending_outputs();
    static constexpr char text[] = "\nInterrupted.\n";
    (void)!write(STDERR_FILENO, text, sizeof text - 1);
    _exit(128 + sig);
}

// Input files are mapped into memory; one that another program shortens while it is
// read makes the reading fault.  The run then fails as any other whose input can't be
// read: the output it was writing is removed and the old file kept.
extern "C" void end_run_on_lost_input(int) {
    velmora::remove_pending_outputs();
    static constexpr char text[] =
        "\nFatal: An input file was shortened or could not be read while it was read; "
        "no output was written.\n";
    (void)!write(STDERR_FILENO, text, sizeof text - 1);
    _exit(1);
}

void handle_interrupts() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = end_interrupted_run;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
    struct sigaction lost {};
    lost.sa_handler = end_run_on_lost_input;
    sigemptyset(&lost.sa_mask);
    sigaction(SIGBUS, &lost, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (!velmora::open_missing_standard_descriptors()) return 1;
    handle_interrupts();
    try {
        return velmora::run(argc, argv);
    } catch (const std::bad_alloc&) {
        velmora::report("\nFatal: Out of memory!\n");
        return 1;
    }
}
