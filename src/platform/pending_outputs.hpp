#pragma once
// The temporary files of outputs not yet in place, kept where a signal handler can reach
// them: on an interrupt the handler removes them, so that no half-written file is left
// beside its target.  The tables are fixed in size and read without locks.
#include <signal.h>

#include <string>

namespace velmora {

// Holds back the interrupt signals (SIGINT, SIGTERM, SIGHUP) of this thread while it
// lives: a temporary file is created and registered, or renamed and forgotten, with
// them held, so that no interrupt falls between the two.
class interrupts_held {
  public:
    interrupts_held();
    ~interrupts_held();
    interrupts_held(const interrupts_held&) = delete;
    interrupts_held& operator=(const interrupts_held&) = delete;

  private:
    sigset_t previous_{};
};

// Registers the temporary file of one output; the slot to release it with, or -1 when
// every slot is taken or the path is too long (the file is then not removed on an
// interrupt).
[[nodiscard]] int register_pending_output(const std::string& path);

// Forgets the file of a slot (nothing for -1).
void release_pending_output(int slot) noexcept;

// Registers the list of temporary names of an output group: names one after the other,
// each ended by a zero byte, the list by an empty name, filled while the group is
// written (a name's first byte set last).  False while another group is registered.
[[nodiscard]] bool register_pending_group(char* names) noexcept;

// Forgets the registered group.
void release_pending_group() noexcept;

// Notes that an output was renamed into place (see output_in_place()).
void note_output_in_place() noexcept;

// Removes every temporary file of an output not yet committed.  Safe to call from a
// signal handler: it only reads fixed tables and calls unlink().
void remove_pending_outputs() noexcept;

// True once an output of this process was renamed into place.  The run's result is
// then on disk: an interrupt that arrives later (while the directory is synced, say)
// must not turn it into a failure.  Safe to call from a signal handler.
[[nodiscard]] bool output_in_place() noexcept;

}  // namespace velmora
