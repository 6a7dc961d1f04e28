// Costs of the core's work per poll firing, without Qt: what a user's
// machine spends while Taperly sits idle beside the scanner for days.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "link/reply_fields.h"
#include "support/fakes.h"
#include "support/temp_folder.h"
#include "tracking/reception_tracker.h"
#include "tracking/take_naming.h"

namespace taperly {
namespace {

// A BC246T status reply of the usual length (about 115 bytes with its icons).
std::string status_reply(const char* flag) {
    return std::string(
               "STS,Metro Trunk     ,________________,TG 1201 Fire    ,________________,"
               "   T            ,                ,,1,") +
           flag + ",3,0\r";
}

struct Rig {
    testing::TempFolder folder;
    testing::FakePort port;
    testing::FakeRecorder recorder;
    testing::FakeClock clock;
    testing::FakeWindow window;
    ReceptionTracker tracker{port, recorder, clock, window, folder.path()};

    // One firing that reads one status reply, as every other firing does.
    void firing(const std::string& reply) {
        port.arrive(reply);
        tracker.poll_tick();
        // Keep the fakes' logs from growing across millions of firings.
        port.commands.clear();
        port.written.clear();
        recorder.log.clear();
        recorder.saved.clear();
        window.titles.clear();
    }
};

void PollFiringIdle(benchmark::State& state) {
    Rig rig;
    const std::string reply = status_reply("1");
    for (auto _ : state) {
        rig.firing(reply);
    }
}
BENCHMARK(PollFiringIdle);

void PollFiringDuringTake(benchmark::State& state) {
    Rig rig;
    const std::string reply = status_reply("0");
    for (auto _ : state) {
        rig.firing(reply);
    }
}
BENCHMARK(PollFiringDuringTake);

// Median and 99th percentile of single firings, timed one by one.
void PollFiringPercentiles(benchmark::State& state) {
    Rig rig;
    const std::string reply = status_reply(state.range(0) != 0 ? "0" : "1");
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rig.firing(reply);
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}
BENCHMARK(PollFiringPercentiles)->Arg(0)->Arg(1)->ArgName("during_take")->Iterations(100000);

void RecogniseAndSplitStatusReply(benchmark::State& state) {
    const std::string reply = status_reply("1");
    for (auto _ : state) {
        const bool status = is_status_reply(reply);
        const ReplyFields fields(reply);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(fields.at(9));
    }
    state.counters["reply_bytes"] = static_cast<double>(reply.size());
}
BENCHMARK(RecogniseAndSplitStatusReply);

void NameTake(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> texts = {"Metro Fire", "Metro EMS", "Dispatch 1", "Tac/2"};
        for (std::string& text : texts) {
            clean_name_piece(text);
        }
        benchmark::DoNotOptimize(compose_take_name(std::move(texts), time_piece("9:05:07 PM"),
                                                   time_piece("9:05:31 PM"),
                                                   date_text({2026, 12, 5})));
    }
}
BENCHMARK(NameTake);

}  // namespace
}  // namespace taperly

BENCHMARK_MAIN();
