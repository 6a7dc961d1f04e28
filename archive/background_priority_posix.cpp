#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "archive/background_priority.h"

namespace taperly {

void lower_this_threads_priority() {
    // On Linux a thread has a niceness of its own; the process keeps its own.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, thread, 10);
}

}  // namespace taperly
