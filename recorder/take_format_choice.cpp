#include "recorder/take_format_choice.h"

#include <cstdio>
#include <string_view>

namespace taperly {

bool flac_asked(const char* setting) {
    if (setting == nullptr) {
        return false;
    }
    const std::string_view value(setting);
    if (value == "flac") {
        return true;
    }
    if (!value.empty() && value != "wav") {
        std::fprintf(stderr,
                     "Taperly: TAPERLY_FORMAT=%s is neither wav nor flac; takes are stored as "
                     "WAV\n",
                     setting);
    }
    return false;
}

}  // namespace taperly
