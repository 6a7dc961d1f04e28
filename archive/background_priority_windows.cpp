#include <windows.h>

#include "archive/background_priority.h"

namespace taperly {

void lower_this_threads_priority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace taperly
