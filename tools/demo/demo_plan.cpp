#include "tools/demo/demo_plan.h"

#include <variant>

namespace taperly::demo {

DemoPlan plan_demo(const std::vector<sim::Step>& steps) {
    DemoPlan plan;
    bool in_call = false;
    const sim::Moment* last = nullptr;
    for (const sim::Step& step : steps) {
        const auto* moment = std::get_if<sim::Moment>(&step);
        if (moment == nullptr) {
            continue;
        }
        plan.total_seconds += moment->seconds;
        plan.has_quick_save_prompt |= moment->line1 == "Quick Freq Save?";
        plan.has_press_any_key_prompt |= moment->line2 == " Press Any Key  ";
        if (moment->heard) {
            if (in_call && plan.calls.back().identity == moment->identity) {
                plan.calls.back().seconds += moment->seconds;
            } else {
                plan.calls.push_back({moment->seconds, moment->identity});
            }
        }
        in_call = moment->heard;
        last = moment;
    }
    if (last == nullptr) {
        throw sim::ScenarioError("the scenario has no moment");
    }
    if (last->heard) {
        // A call still going on at the end would never be finished by the
        // scanner, only by Stop.
        throw sim::ScenarioError("the scenario's last moment must be quiet");
    }
    plan.last_line1 = last->line1;
    plan.last_line2 = last->line2;
    return plan;
}

}  // namespace taperly::demo
