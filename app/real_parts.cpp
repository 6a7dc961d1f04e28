#include "app/real_parts.h"

#include "app/system_clock.h"
#include "link/serial_scanner_port.h"
#include "recorder/sound_recorder.h"

namespace taperly {

Form1Parts make_real_parts(const std::string& folder, const QString& help_page) {
    return Form1Parts{[](LinkLostHandler on_link_lost) -> std::unique_ptr<ScannerPort> {
                          return std::make_unique<SerialScannerPort>(std::move(on_link_lost));
                      },
                      make_sound_recorder(folder), std::make_unique<SystemClock>(), folder,
                      help_page};
}

}  // namespace taperly
