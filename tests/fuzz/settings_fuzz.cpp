// Any bytes in the settings file give values the lists and the timer can take.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const taperly::StoredSettings stored =
        taperly::parse_settings(std::string(reinterpret_cast<const char*>(data), size));
    if (stored.port_index &&
        (*stored.port_index < -1 || *stored.port_index >= taperly::kPortCount)) {
        __builtin_trap();
    }
    if (stored.speed_index &&
        (*stored.speed_index < -1 || *stored.speed_index >= taperly::kSpeedCount)) {
        __builtin_trap();
    }
    if (stored.poll_interval_ms && *stored.poll_interval_ms < 1) {
        __builtin_trap();
    }
    return 0;
}
