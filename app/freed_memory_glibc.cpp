#include <malloc.h>

#include "app/freed_memory.h"

namespace taperly {

void hand_back_freed_memory() {
    // glibc returns only the free top of a heap by itself; free pages
    // between chunks in use stay resident until trimmed.
    ::malloc_trim(0);
}

}  // namespace taperly
