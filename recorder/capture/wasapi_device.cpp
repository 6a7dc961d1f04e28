#include "recorder/capture/wasapi_device.h"

#include <windows.h>
// The property keys are defined here, not taken from a library.
#include <initguid.h>

#include <functiondiscoverykeys_devpkey.h>

#include "recorder/capture/default_source.h"
#include "recorder/capture/source_choice.h"

namespace taperly {

namespace {

using Microsoft::WRL::ComPtr;

std::string utf8(const wchar_t* text) {
    if (text == nullptr) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring utf16(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1) {
        return {};
    }
    std::wstring out(static_cast<std::size_t>(size - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), size);
    return out;
}

std::string device_id(IMMDevice* device) {
    LPWSTR id = nullptr;
    if (FAILED(device->GetId(&id))) {
        return {};
    }
    std::string out = utf8(id);
    CoTaskMemFree(id);
    return out;
}

std::string friendly_name(IMMDevice* device) {
    ComPtr<IPropertyStore> properties;
    if (FAILED(device->OpenPropertyStore(STGM_READ, &properties))) {
        return {};
    }
    PROPVARIANT name;
    PropVariantInit(&name);
    std::string out;
    if (SUCCEEDED(properties->GetValue(PKEY_Device_FriendlyName, &name)) && name.vt == VT_LPWSTR) {
        out = utf8(name.pwszVal);
    }
    PropVariantClear(&name);
    return out;
}

// The recording devices as the choice of inputs sees a sound server's.
ServerAnswer recording_devices(IMMDeviceEnumerator* devices) {
    ServerAnswer answer;
    answer.kind = ServerAnswer::Kind::kAnswered;
    ComPtr<IMMDevice> default_device;
    if (SUCCEEDED(devices->GetDefaultAudioEndpoint(eCapture, eConsole, &default_device))) {
        answer.default_source = device_id(default_device.Get());
    }
    ComPtr<IMMDeviceCollection> all;
    UINT count = 0;
    if (FAILED(devices->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &all)) ||
        FAILED(all->GetCount(&count))) {
        return answer;
    }
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (SUCCEEDED(all->Item(i, &device))) {
            answer.sources.push_back({device_id(device.Get()), friendly_name(device.Get())});
        }
    }
    return answer;
}

}  // namespace

ComPtr<IMMDevice> open_recording_device(const std::string& wanted, std::string& problem) {
    ComPtr<IMMDeviceEnumerator> devices;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&devices)))) {
        problem = "Windows' sound devices cannot be reached";
        return nullptr;
    }
    const ServerAnswer answer = recording_devices(devices.Get());
    if (answer.sources.empty()) {
        problem = "Windows has no recording device (is a microphone or line-in there?)";
        return nullptr;
    }
    const SourceChoice choice = choose_source(answer, wanted);
    ComPtr<IMMDevice> device;
    if (choice.name.empty()) {
        problem = choice.problem;
    } else if (FAILED(devices->GetDevice(utf16(choice.name).c_str(), &device))) {
        problem = "the recording device \"" + choice.name + "\" went away";
        device = nullptr;
    }
    return device;
}

}  // namespace taperly
