#include "app/real_parts.h"

#include <cstdlib>
#include <string_view>

#include "app/system_clock.h"
#include "link/serial_scanner_port.h"
#include "recorder/sound_recorder.h"

namespace taperly {

namespace {

bool run_at_start() {
    const char* value = std::getenv("TAPERLY_RUN_AT_START");
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace

Form1Parts make_real_parts(const std::string& folder, const QString& help_page) {
    return Form1Parts{[](LinkLostHandler on_link_lost) -> std::unique_ptr<ScannerPort> {
                          return std::make_unique<SerialScannerPort>(std::move(on_link_lost));
                      },
                      make_sound_recorder(folder),
                      std::make_unique<SystemClock>(),
                      folder,
                      help_page,
                      run_at_start()};
}

}  // namespace taperly
