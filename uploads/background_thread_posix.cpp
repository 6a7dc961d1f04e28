#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "uploads/background_thread.h"

namespace taperly {

void run_in_background() {
    // On Linux a thread's niceness is its own; as far below as a user may go.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
}

}  // namespace taperly
