#include "tools/demo/demo_report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "tools/demo/wave_summary.h"

namespace taperly::demo {

namespace {

// Quieter than this, a take of the test tone has lost its sound.
constexpr double kSilentDbfs = -60.0;

int count_lines_ending(const std::string& path, const std::string& ending) {
    std::ifstream log(path, std::ios::binary);
    std::string line;
    int count = 0;
    while (std::getline(log, line)) {
        if (line.size() >= ending.size() &&
            line.compare(line.size() - ending.size(), ending.size(), ending) == 0) {
            ++count;
        }
    }
    return count;
}

std::string measured(const WaveSummary& summary) {
    char text[96];
    std::snprintf(text, sizeof text, "%6.2f s  %6.1f dBFS  %5.0f Hz", summary.seconds,
                  summary.rms_dbfs, summary.crossing_hz);
    return text;
}

// The visible WAV files in the folder; hidden ones are takes being written.
std::set<std::string> wave_files(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && entry.path().extension() == ".wav" && name[0] != '.') {
            names.insert(name);
        }
    }
    return names;
}

}  // namespace

PromptAnswers count_prompt_answers(const std::string& command_log_path) {
    // The log writes a carriage return as the two characters \r.
    return {count_lines_ending(command_log_path, "KEY,P,P\\r"),
            count_lines_ending(command_log_path, "KEY,E,P\\r")};
}

std::vector<std::string> report_takes(std::ostream& out, const DemoPlan& plan,
                                      const std::vector<WatchedTake>& takes,
                                      const std::string& takes_folder,
                                      const PromptAnswers& answers) {
    std::vector<std::string> wrong;
    std::set<std::string> unexplained = wave_files(takes_folder);
    out << "Takes:\n";
    for (const WatchedTake& take : takes) {
        const std::string path = (std::filesystem::path(takes_folder) / take.name).string();
        unexplained.erase(take.name);
        if (take.repeat) {
            if (take.existing_file_untouched) {
                out << "  " << take.name << " exists already: not saved, existing file untouched\n";
            } else {
                out << "  " << take.name << " existed already and was WRITTEN OVER\n";
                wrong.push_back(take.name + " was written over");
            }
            continue;
        }
        const std::optional<WaveSummary> summary = summarise_wave(path);
        if (!summary) {
            out << "  " << take.name << " was NOT SAVED\n";
            wrong.push_back(take.name + " was not saved");
            continue;
        }
        out << "  " << take.name << "  " << measured(*summary) << "\n";
        if (summary->rms_dbfs < kSilentDbfs || summary->seconds <= 0.0) {
            wrong.push_back(take.name + " holds no sound");
        }
    }
    for (const std::string& name : unexplained) {
        out << "  " << name << " was saved though no take of that name was seen\n";
        wrong.push_back(name + " is unexpected");
    }
    if (takes.size() != plan.calls.size()) {
        wrong.push_back(std::to_string(plan.calls.size()) + " calls were played but " +
                        std::to_string(takes.size()) + " takes were seen");
    }
    if (std::none_of(takes.begin(), takes.end(), [](const WatchedTake& t) { return t.repeat; }) &&
        plan.calls.size() > 1) {
        out << "  (no call repeated an earlier call's names)\n";
    }

    out << "Prompts answered: \"Quick Freq Save?\" with KEY,P,P " << answers.quick_save
        << " times, \" Press Any Key  \" with KEY,E,P " << answers.press_any_key << " times\n";
    if (plan.has_quick_save_prompt && answers.quick_save == 0) {
        wrong.push_back("\"Quick Freq Save?\" was not answered");
    }
    if (plan.has_press_any_key_prompt && answers.press_any_key == 0) {
        wrong.push_back("\" Press Any Key  \" was not answered");
    }
    return wrong;
}

}  // namespace taperly::demo
