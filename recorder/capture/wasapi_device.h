#pragma once

#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <string>

namespace taperly {

// The recording device to capture from: the one `wanted` names (its id, else
// part of its friendly name in any case), else Windows' default recording
// device for the console, by the same rule as the PulseAudio twin's. Null,
// with the reason in `problem`, when there is none. COM must be initialised
// on the calling thread.
Microsoft::WRL::ComPtr<IMMDevice> open_recording_device(const std::string& wanted,
                                                        std::string& problem);

}  // namespace taperly
