#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/demo/demo_plan.h"
#include "tools/demo/take_watch.h"

namespace taperly::demo {

// How many times the window answered each prompt, from the simulator's log.
struct PromptAnswers {
    int quick_save = 0;
    int press_any_key = 0;
};
PromptAnswers count_prompt_answers(const std::string& command_log_path);

// Prints each take (file name, length, level, pitch; or why it was not
// saved) and the prompts answered, and returns what is wrong with them:
// a take missing, silent or unexpected, a file written over, a prompt left
// unanswered. Empty when the demo showed what it should.
std::vector<std::string> report_takes(std::ostream& out, const DemoPlan& plan,
                                      const std::vector<WatchedTake>& takes,
                                      const std::string& takes_folder,
                                      const PromptAnswers& answers);

}  // namespace taperly::demo
