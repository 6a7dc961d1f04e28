#include <windows.h>

#include "uploads/background_thread.h"

namespace taperly {

void run_in_background() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace taperly
