#include "recorder/capture/source_choice.h"

#include <algorithm>
#include <cctype>

namespace taperly {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

SourceChoice choose_source(const ServerAnswer& answer, const std::string& wanted) {
    switch (answer.kind) {
        case ServerAnswer::Kind::kNotAsked:
        case ServerAnswer::Kind::kNoServer:
            return {{}, "the sound server is not running"};
        case ServerAnswer::Kind::kSilent:
            return {{}, "the sound server does not answer"};
        case ServerAnswer::Kind::kAnswered:
            break;
    }
    const auto& sources = answer.sources;
    if (!wanted.empty()) {
        for (const SoundSource& source : sources) {
            if (source.name == wanted) {
                return {source.name, {}};
            }
        }
        const std::string part = lower(wanted);
        for (const SoundSource& source : sources) {
            if (lower(source.description).find(part) != std::string::npos) {
                return {source.name, {}};
            }
        }
        return {{}, "no sound input matches TAPERLY_AUDIO_INPUT=" + wanted};
    }
    for (const SoundSource& source : sources) {
        if (source.name == answer.default_source) {
            return {source.name, {}};
        }
    }
    for (const SoundSource& source : sources) {
        if (!source.monitor) {
            return {source.name, {}};
        }
    }
    return {{}, "the sound server offers no input (is a microphone or line-in there?)"};
}

}  // namespace taperly
