#pragma once

// What the bench's own process has used so far, read from the kernel.

#include <map>
#include <string>

namespace taperly::bench {

// CPU seconds of all the process's threads, user and system.
double cpu_seconds();

// How often the process's threads went to sleep and woke again (each costs
// a little CPU however little is done in between), and how often they were
// put aside for another thread while running: mostly the sound server, woken
// when the program hands back a piece of its audio pool.
struct Switches {
    long woke = 0;
    long preempted = 0;
};
Switches wake_ups();

// The same by thread: how often each went to sleep and woke again, by the
// thread's name ("main" for the process's first thread; threads of the
// same name are added up).
std::map<std::string, long> wake_ups_by_thread();

// Resident memory, and the part of it that is pages of the sound server's
// audio pool mapped into the process: those are the server's, shared, and
// grow only as the server hands over audio in slots not seen before.
struct Resident {
    long total_kib = -1;
    long private_kib = -1;
    long shared_kib = -1;
};
Resident resident_memory();

// Descriptors the process holds open.
int open_descriptors();

}  // namespace taperly::bench
