#pragma once

namespace taperly {

// Lowers the calling thread below the others of the program, so that a
// long build of the index waits for the window's thread (and the polls it
// runs) rather than the reverse, on a machine whose processors are busy.
// Does nothing where the system refuses.
void lower_this_threads_priority();

}  // namespace taperly
