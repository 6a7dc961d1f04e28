#include "recorder/takes/native_file.h"
#include "recorder/wave_recorder.h"

namespace taperly {

bool is_bare_file_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(name_breakers()) == std::string::npos;
}

}  // namespace taperly
