// What uploading costs and how it fares, on its real parts against the call
// services' stand-ins (tests/uploads/call_servers.py) on loopback:
//
//   taperly-bench-uploads encode SOUND.raw MINUTES FOLDER
//       a take of MINUTES of SOUND (16-bit mono 22050 Hz, repeated) made MP3
//   taperly-bench-uploads drain KIND TAKES SECONDS
//       TAKES takes of SECONDS each stored at once, delivered to KIND
//       (rdio-scanner: the WAV as stored; openmhz: MP3 made for each)
//   taperly-bench-uploads idle SECONDS
//       four targets and nothing waiting: the process's CPU and wake-ups
//   taperly-bench-uploads duplicates CUTS
//       each service's connection cut after the request CUTS times
//
// Prints Markdown table rows; measures and reports, never judges.

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_usage.h"
#include "uploads/call_server.h"
#include "uploads/mp3_encoder.h"
#include "uploads/uploads_run.h"

namespace {

using namespace taperly;
using Steady = std::chrono::steady_clock;
using testing::CallServer;
using testing::UploadsRun;

constexpr const char* kKey = "test-key-1234";

double seconds_since(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

std::string section(const std::string& kind, const CallServer& server,
                    const std::string& name = {}) {
    std::string text = "[" + kind + (name.empty() ? "" : " " + name) + "]\nurl = " + server.url() +
                       "\nkey = " + kKey +
                       "\nmax_age = 3650d\nfirst_wait = 0.2s\nlongest_wait = 1s\n";
    if (kind == "rdio-scanner") {
        text += "system = 11\n";
    } else if (kind == "openmhz") {
        text += "short_name = metro\n";
    } else {
        text += "system_id = 77\n";
    }
    return text;
}

std::string take_name(int i) {
    return "Metro_Fire_TG-" + std::to_string(i) + "_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
}

int encode(const std::string& sound_path, double minutes, const std::string& folder) {
    std::ifstream raw(sound_path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(raw)), {});
    std::vector<short> sound(bytes.size() / 2);
    std::memcpy(sound.data(), bytes.data(), sound.size() * sizeof(short));
    std::vector<short> samples;
    const auto frames = static_cast<std::size_t>(minutes * 60 * 22050);
    samples.reserve(frames);
    while (samples.size() < frames && !sound.empty()) {
        samples.insert(
            samples.end(), sound.begin(),
            sound.begin() + static_cast<long>(std::min(sound.size(), frames - samples.size())));
    }
    const std::string wav = folder + "/take.wav";
    const std::string mp3 = folder + "/take.mp3";
    testing::write_take(wav, samples);
    Mp3Encoder encoder;
    const std::atomic<bool> cancelled = false;
    const double cpu_before = bench::cpu_seconds();
    const Steady::time_point start = Steady::now();
    const std::string failure = encoder.encode_mp3(wav, mp3, cancelled);
    const double took = seconds_since(start);
    const double cpu = bench::cpu_seconds() - cpu_before;
    if (!failure.empty()) {
        std::printf("MP3 not made: %s\n", failure.c_str());
        return 1;
    }
    const auto wav_bytes = std::filesystem::file_size(wav);
    const auto mp3_bytes = std::filesystem::file_size(mp3);
    std::printf("| %g min | %ju | %ju | %.3f | %.1f kbit/s | %.3f s | %.3f s |\n", minutes,
                static_cast<std::uintmax_t>(wav_bytes), static_cast<std::uintmax_t>(mp3_bytes),
                double(mp3_bytes) / double(wav_bytes), mp3_bytes * 8.0 / (minutes * 60) / 1000,
                took, cpu / minutes);
    return 0;
}

int drain(const std::string& kind, int takes, double seconds) {
    CallServer server({"--key", kKey});
    UploadsRun run;
    run.settings(section(kind, server));
    run.run();
    const std::vector<short> sound = testing::tone(seconds, 1000);
    for (int i = 1; i <= takes; ++i) {
        testing::write_take(run.folder.file(take_name(i)), sound);
    }
    const double cpu_before = bench::cpu_seconds();
    const Steady::time_point start = Steady::now();
    for (int i = 1; i <= takes; ++i) {
        TakeLogEntry entry;
        entry.start = testing::local_time_ago(seconds + 1);
        entry.end = testing::local_time_ago(1);
        entry.frames = static_cast<std::int64_t>(sound.size());
        entry.file_name = take_name(i);
        entry.talkgroup = "TG " + std::to_string(i);
        entry.talkgroup_id = std::to_string(1000 + i);
        run.add_row(entry);
    }
    const double queued = seconds_since(start);
    run.wait_for_rows(static_cast<std::size_t>(takes), std::chrono::minutes(30));
    const double took = seconds_since(start);
    const double cpu = bench::cpu_seconds() - cpu_before;
    int delivered = 0;
    for (const auto& row : run.rows()) {
        delivered += row[2] == "delivered";
    }
    std::printf("| %s | %d × %g s | %d | %.3f s | %.1f s | %.1f | %.1f s |\n", kind.c_str(), takes,
                seconds, delivered, queued, took, delivered / took, cpu);
    return 0;
}

int idle(double seconds) {
    CallServer server({"--key", kKey});
    UploadsRun run;
    run.settings(section("rdio-scanner", server) + section("openmhz", server) +
                 section("broadcastify-calls", server) + "[command]\nprogram = /bin/true\n");
    run.run();
    // Settled: the targets have read their journals.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpu_before = bench::cpu_seconds();
    const bench::Switches before = bench::wake_ups();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = bench::cpu_seconds() - cpu_before;
    const bench::Switches after = bench::wake_ups();
    // The bench's own thread sleeps once; the rest are the uploads'.
    std::printf("| %zu targets (%zu threads) | %g s | %.4f s | %.4f %% | %ld |\n",
                run.targets().size(), 2 * run.targets().size(), seconds, cpu, 100.0 * cpu / seconds,
                after.woke - before.woke);
    return 0;
}

int duplicates(int cuts) {
    struct Kind {
        const char* kind;
        const char* cut;
        const char* service;
    };
    const Kind kinds[] = {{"rdio-scanner", "rdio", "rdio"},
                          {"openmhz", "openmhz", "openmhz"},
                          {"broadcastify-calls", "broadcastify", "broadcastify"},
                          {"broadcastify-calls", "sound", "sound"}};
    for (const Kind& kind : kinds) {
        CallServer server({"--key", kKey});
        UploadsRun run;
        run.settings(section(kind.kind, server));
        run.run();
        // One take at a time, its first try cut once the request is in.
        for (int i = 1; i <= cuts; ++i) {
            server.faults(std::string(kind.cut) + " cut\n");
            run.store(take_name(i), testing::tone(1, 1000), std::to_string(1000 + i), 0.1);
            run.wait_for_rows(static_cast<std::size_t>(i), std::chrono::minutes(2));
        }
        std::map<std::string, int> kept;
        std::set<std::string> with_sound;
        int requests = 0;
        for (const testing::ReceivedCall& call : server.calls()) {
            ++requests;
            if (!call.kept) {
                continue;
            }
            if (call.service == "sound") {
                with_sound.insert(call.path);
                continue;
            }
            ++kept[call.fields.count("tg")          ? call.fields.at("tg")
                   : call.fields.count("talkgroup") ? call.fields.at("talkgroup")
                                                    : call.fields.at("talkgroup_num")];
        }
        int twice = 0;
        for (const auto& [take, count] : kept) {
            twice += count - 1;
        }
        int delivered = 0;
        for (const auto& row : run.rows()) {
            delivered += row[2].rfind("delivered", 0) == 0;
        }
        const bool broadcastify = std::string(kind.kind) == "broadcastify-calls";
        std::printf("| %s | %s | %d | %d | %d | %d | %s |\n", kind.kind,
                    std::string(kind.cut) == "sound" ? "the sound's PUT" : "the call's POST", cuts,
                    delivered, requests, twice,
                    broadcastify ? std::to_string(static_cast<int>(kept.size()) -
                                                  static_cast<int>(with_sound.size()))
                                       .c_str()
                                 : "–");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "encode") {
        return encode(args[1], std::atof(args[2].c_str()), args[3]);
    }
    if (args.size() == 4 && args[0] == "drain") {
        return drain(args[1], std::atoi(args[2].c_str()), std::atof(args[3].c_str()));
    }
    if (args.size() == 2 && args[0] == "idle") {
        return idle(std::atof(args[1].c_str()));
    }
    if (args.size() == 2 && args[0] == "duplicates") {
        return duplicates(std::atoi(args[1].c_str()));
    }
    std::fprintf(stderr,
                 "usage: %s encode SOUND.raw MINUTES FOLDER | drain KIND TAKES SECONDS | idle "
                 "SECONDS | duplicates CUTS\n",
                 argv[0]);
    return 2;
}
