#pragma once

namespace taperly {

// Hands memory the program freed back to the system where the allocator
// keeps it for reuse. Cheap enough for the rare moments it is asked for.
void hand_back_freed_memory();

}  // namespace taperly
