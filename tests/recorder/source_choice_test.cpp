#include "recorder/capture/source_choice.h"

#include <gtest/gtest.h>

#include <ostream>

namespace taperly {
namespace {

using Kind = ServerAnswer::Kind;

const std::vector<SoundSource> kSources{
    {"alsa_output.usb.monitor", "Monitor of USB Speakers", true},
    {"alsa_input.usb-scanner", "USB Audio Line In", false},
    {"alsa_input.pci", "Built-in Microphone", false},
};

struct ChoiceCase {
    const char* name;
    ServerAnswer answer;
    std::string wanted;
    SourceChoice expected;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) {
    *out << c.name;
}

class SourceChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(SourceChoiceTest, TakesTheInputAskedForOrSaysWhyNone) {
    EXPECT_EQ(choose_source(GetParam().answer, GetParam().wanted), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SourceChoiceTest,
    ::testing::Values(
        ChoiceCase{"server_default",
                   {Kind::kAnswered, "alsa_input.pci", kSources},
                   "",
                   {"alsa_input.pci", ""}},
        ChoiceCase{"default_gone_first_real_input",
                   {Kind::kAnswered, "alsa_input.unplugged", kSources},
                   "",
                   {"alsa_input.usb-scanner", ""}},
        ChoiceCase{"by_name_before_description",
                   {Kind::kAnswered, "alsa_input.pci", kSources},
                   "alsa_input.usb-scanner",
                   {"alsa_input.usb-scanner", ""}},
        ChoiceCase{"by_description_any_case",
                   {Kind::kAnswered, "alsa_input.pci", kSources},
                   "usb audio",
                   {"alsa_input.usb-scanner", ""}},
        ChoiceCase{"asked_for_is_missing",
                   {Kind::kAnswered, "alsa_input.pci", kSources},
                   "Scanner Dongle",
                   {"", "no sound input matches TAPERLY_AUDIO_INPUT=Scanner Dongle"}},
        ChoiceCase{"only_monitors",
                   {Kind::kAnswered, "", {kSources[0]}},
                   "",
                   {"", "the sound server offers no input (is a microphone or line-in there?)"}},
        ChoiceCase{
            "server_gone", {Kind::kNoServer, "", {}}, "", {"", "the sound server is not running"}},
        ChoiceCase{"server_frozen",
                   {Kind::kSilent, "", {}},
                   "usb",
                   {"", "the sound server does not answer"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
