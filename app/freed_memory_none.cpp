#include "app/freed_memory.h"

namespace taperly {

// The system's own heap decommits what is freed by itself.
void hand_back_freed_memory() {}

}  // namespace taperly
