// Takes uploaded to stand-ins of the call services written from their
// published contracts: each request exactly as the service documents it,
// the sound it carries, and what each answer makes of the take.
#include <gtest/gtest.h>

#include <QDateTime>
#include <filesystem>
#include <map>
#include <string>

#include "call_server.h"
#include "uploads_run.h"

namespace taperly {
namespace {

using testing::CallServer;
using testing::ReceivedCall;
using testing::UploadsRun;

constexpr const char* kKey = "test-key-1234";
const std::string kTake = "Metro_Fire_Dispatch_9-05-07-PM_9-05-09-PM_12-05-2026.wav";

// Waits a fifth of a second after a failure, a second at most: the same
// rules as the days' waits, at a test's pace.
const std::string kQuickWaits = "first_wait = 0.2s\nlongest_wait = 1s\n";

std::string section(const std::string& kind, const CallServer& server,
                    const std::string& more = {}) {
    std::string text =
        "[" + kind + "]\nurl = " + server.url() + "\nkey = " + kKey + "\n" + kQuickWaits;
    if (kind == "rdio-scanner") {
        text += "system = 11\n";
    } else if (kind == "openmhz") {
        text += "short_name = metro\n";
    } else {
        text += "system_id = 77\n";
    }
    return text + more;
}

std::string rfc3339(const LocalTime& time) {
    const QDateTime when(QDate(time.date.year, time.date.month, time.date.day),
                         QTime(time.wall.hour, time.wall.minute, time.wall.second),
                         Qt::OffsetFromUTC, time.wall.utc_offset_seconds);
    const int minutes = std::abs(time.wall.utc_offset_seconds) / 60;
    return when.toString("yyyy-MM-ddTHH:mm:ss").toStdString() +
           (time.wall.utc_offset_seconds < 0 ? "-" : "+") +
           QString::asprintf("%02d:%02d", minutes / 60, minutes % 60).toStdString();
}

std::int64_t unix_seconds(const LocalTime& time) {
    return QDateTime(QDate(time.date.year, time.date.month, time.date.day),
                     QTime(time.wall.hour, time.wall.minute, time.wall.second), Qt::OffsetFromUTC,
                     time.wall.utc_offset_seconds)
        .toSecsSinceEpoch();
}

// How far the MP3 a service got is from the take: its samples against the
// take's, as the fraction of the take's power left in their difference.
double mp3_error(const std::vector<short>& take, const std::string& mp3) {
    const std::vector<short> heard = testing::read_sound(mp3);
    if (heard.size() != take.size()) {
        std::printf("MP3 of %zu frames for a take of %zu\n", heard.size(), take.size());
        return 1.0;
    }
    double power = 0, error = 0;
    for (std::size_t i = 0; i < take.size(); ++i) {
        power += double(take[i]) * take[i];
        error += double(take[i] - heard[i]) * (take[i] - heard[i]);
    }
    return error / power;
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(UploadServices, EachServiceGetsExactlyItsFieldsAndTheTakesSound) {
    CallServer server;
    UploadsRun run;
    run.settings(section("rdio-scanner", server) + section("openmhz", server) +
                 section("broadcastify-calls", server) + "[rdio-scanner mp3]\nurl = " +
                 server.url() + "\nkey = " + kKey + "\nsystem = 11\naudio = mp3\n");
    run.run();
    const std::vector<short> sound = testing::tone(2.5, 1000);
    const TakeLogEntry take = run.store(kTake, sound);
    ASSERT_TRUE(run.wait_for_rows(4)) << run.folder.read("uploads.csv");
    ASSERT_TRUE(server.wait_for_calls(5, std::chrono::seconds(10)));

    const std::string start = std::to_string(unix_seconds(*take.start));
    const std::string mp3_name = kTake.substr(0, kTake.size() - 4) + ".mp3";
    std::map<std::string, std::map<std::string, std::string>> expected{
        {"rdio /api/call-upload",
         {{"key", kKey},
          {"audioName", kTake},
          {"audioType", "audio/wav"},
          {"dateTime", rfc3339(*take.start)},
          {"timestamp", start + "000"},
          {"system", "11"},
          {"talkgroup", "2001"},
          {"systemLabel", "Metro"},
          {"talkgroupLabel", "Dispatch"},
          {"talkgroupGroup", "Fire"}}},
        {"openmhz /metro/upload",
         {{"api_key", kKey},
          {"talkgroup_num", "2001"},
          {"start_time", start},
          {"stop_time", std::to_string(unix_seconds(*take.end))},
          {"call_length", "3"},
          {"freq", "0"},
          {"emergency", "0"},
          {"error_count", "0"},
          {"spike_count", "0"},
          {"source_list", "[]"}}},
        {"broadcastify /call-upload",
         {{"apiKey", kKey},
          {"systemId", "77"},
          {"callDuration", "3"},
          {"ts", start},
          {"tg", "2001"},
          {"src", "0"},
          {"freq", "0"},
          {"enc", "mp3"}}},
        {"sound /sound/1", {}},
    };
    std::vector<std::string> mp3s;
    int rdio = 0;
    for (const ReceivedCall& call : server.calls()) {
        const std::string where = call.service + " " + call.path;
        EXPECT_EQ(call.answered.substr(0, 3), "200") << where << ": " << call.answered;
        if (call.service == "rdio" && call.fields.count("audioType") &&
            call.fields.at("audioType") == "audio/mpeg") {
            ++rdio;
            // The section that asks for MP3.
            EXPECT_EQ(call.fields.at("audioName"), mp3_name);
            EXPECT_EQ(call.fields.at("audioType"), "audio/mpeg");
            EXPECT_EQ(call.file_type, "audio/mpeg");
            mp3s.push_back(call.file_saved);
            continue;
        }
        ASSERT_TRUE(expected.count(where)) << where;
        EXPECT_EQ(call.fields, expected[where]) << where;
        if (call.service == "rdio") {
            ++rdio;
            EXPECT_EQ(call.method, "POST");
            EXPECT_EQ(call.file_field, "audio");
            EXPECT_EQ(call.file_name, kTake);
            EXPECT_EQ(call.file_type, "audio/wav");
            EXPECT_TRUE(file_bytes(call.file_saved) == run.folder.read(kTake))
                << "the take as stored";
        } else if (call.service == "openmhz") {
            EXPECT_EQ(call.file_field, "call");
            EXPECT_EQ(call.file_name, mp3_name);
            EXPECT_EQ(call.file_type, "audio/mpeg");
            mp3s.push_back(call.file_saved);
        } else if (call.service == "broadcastify") {
            EXPECT_TRUE(call.file_saved.empty()) << "the facts first, without the sound";
        } else {
            EXPECT_EQ(call.method, "PUT");
            EXPECT_EQ(call.content_type, "audio/mpeg");
            mp3s.push_back(call.file_saved);
        }
    }
    EXPECT_EQ(rdio, 2);
    ASSERT_EQ(mp3s.size(), 3u);
    for (const std::string& mp3 : mp3s) {
        const double error = mp3_error(sound, mp3);
        std::printf("MP3 of the take: %.4f of its power in the difference\n", error);
        EXPECT_LT(error, 0.05) << mp3;
    }
    const std::string csv = run.folder.read("uploads.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "time,file,target,outcome,HTTP status,answer,tries\r");
    for (const auto& row : run.rows()) {
        EXPECT_EQ(row[0], kTake);
        EXPECT_EQ(row[2], "delivered") << row[1];
        EXPECT_EQ(row[5], "1") << row[1];
    }
    EXPECT_EQ(run.note(), std::nullopt);
    // The MP3 files were made for the tries and are gone; the journals stay.
    for (const auto& file :
         std::filesystem::directory_iterator(run.folder.file(".taperly-uploads"))) {
        EXPECT_EQ(file.path().extension(), ".queue") << file.path();
    }
}

// A refusal that ends a take: one row, one request, the next take goes on.
// One every take would meet stops the target, told once, until uploads.ini
// changes.
struct RefusalCase {
    const char* name;
    std::string kind;
    std::vector<std::string> server_options;
    // Lines added to the section, and what fixes the target once it stops.
    std::string more;
    std::string fix;
    std::string faults;
    double ended_ago;
    std::string outcome;
    int http_status;
    bool stops;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, EndTheTakeOrStopTheTargetWithoutATryMore) {
    const RefusalCase& c = GetParam();
    CallServer server(c.server_options);
    server.faults(c.faults);
    UploadsRun run;
    run.settings(section(c.kind, server, c.more));
    run.run();
    run.store("a_" + kTake, testing::tone(1, 1000), "2001", c.ended_ago);
    ASSERT_TRUE(run.wait_for_rows(1)) << run.folder.read("uploads.csv");
    std::vector<std::vector<std::string>> rows = run.rows();
    EXPECT_EQ(rows[0][2].substr(0, c.outcome.size()), c.outcome) << rows[0][2];
    EXPECT_EQ(rows[0][3], c.http_status > 0 ? std::to_string(c.http_status) : "");
    EXPECT_EQ(rows[0][5], c.http_status > 0 ? "1" : "0") << "tries";
    // The window hears of it a moment after the row.
    ASSERT_TRUE(
        launch::wait_until([&] { return run.note().has_value(); }, std::chrono::seconds(5)));
    const std::optional<UploadsNote> note = run.note();
    EXPECT_NE(note->text.find(c.stops ? " stopped: " : " refused: "), std::string::npos)
        << note->text;

    run.store("b_" + kTake, testing::tone(1, 1000));
    if (c.stops) {
        // Stopped: the second take waits for a file that is right.
        run.settings(section(c.kind, server, c.fix));
        run.run();
        ASSERT_TRUE(run.wait_for_rows(3))
            << run.folder.read("uploads.csv")
            << run.folder.read(".taperly-uploads/" + c.kind + ".queue");
    } else {
        ASSERT_TRUE(run.wait_for_rows(2)) << run.folder.read("uploads.csv");
    }
    rows = run.rows();
    int requests = 0;
    for (const ReceivedCall& call : server.calls()) {
        requests += call.service != "sound";
    }
    EXPECT_EQ(requests, c.stops                              ? 3
                        : c.ended_ago > 30 && c.more.empty() ? 1
                                                             : 2)
        << "a refused take is not sent again";
    int stopped_rows = 0;
    for (const auto& row : rows) {
        stopped_rows += row[2].rfind("target stopped", 0) == 0;
    }
    EXPECT_EQ(stopped_rows, c.stops ? 1 : 0) << run.folder.read("uploads.csv");
    if (c.stops) {
        EXPECT_EQ(rows[1][0], "a_" + kTake);
        EXPECT_EQ(rows[1][2], "delivered");
        EXPECT_EQ(rows[1][5], "2") << "tried once more only after the file changed";
        EXPECT_EQ(rows[2][0], "b_" + kTake);
        EXPECT_EQ(rows[2][5], "1") << "not tried while the target was stopped";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Services, Refusals,
    ::testing::Values(RefusalCase{"rdio_key",
                                  "rdio-scanner",
                                  {"--key", "other-key-5678"},
                                  {},
                                  "key = other-key-5678\n",
                                  {},
                                  1,
                                  "target stopped: Invalid API key for system 11 talkgroup 2001.",
                                  401,
                                  true},
                      RefusalCase{"rdio_incomplete",
                                  "rdio-scanner",
                                  {},
                                  {},
                                  {},
                                  "rdio status 417 - Incomplete call data: audio\n",
                                  1,
                                  "refused: Incomplete call data: audio",
                                  417,
                                  false},
                      RefusalCase{"rdio_bad_request",
                                  "rdio-scanner",
                                  {},
                                  {},
                                  {},
                                  "rdio status 400\n",
                                  1,
                                  "refused: fault",
                                  400,
                                  false},
                      // Followed, it would carry the key elsewhere.
                      RefusalCase{"rdio_redirect",
                                  "rdio-scanner",
                                  {},
                                  {},
                                  "timeout = 29s\n",
                                  "rdio redirect\n",
                                  1,
                                  "target stopped: the server sends to http://127.0.0.1:",
                                  307,
                                  true},
                      RefusalCase{"openmhz_key",
                                  "openmhz",
                                  {"--key", "other-key-5678"},
                                  {},
                                  "key = other-key-5678\n",
                                  {},
                                  1,
                                  "target stopped: API Keys do not match!",
                                  500,
                                  true},
                      RefusalCase{"openmhz_short_name",
                                  "openmhz",
                                  {"--short-name", "county"},
                                  {},
                                  "short_name = county\n",
                                  {},
                                  1,
                                  "target stopped: ShortName does not exist",
                                  500,
                                  true},
                      RefusalCase{"openmhz_talkgroup",
                                  "openmhz",
                                  {"--talkgroups", "5"},
                                  {},
                                  {},
                                  {},
                                  1,
                                  "refused: Talkgroup does not exist, skipping.",
                                  500,
                                  false},
                      RefusalCase{"broadcastify_key",
                                  "broadcastify-calls",
                                  {"--key", "other-key-5678"},
                                  {},
                                  "key = other-key-5678\n",
                                  {},
                                  1,
                                  "target stopped: Invalid-API-Key",
                                  200,
                                  true},
                      RefusalCase{"broadcastify_system",
                                  "broadcastify-calls",
                                  {"--system-id", "78"},
                                  {},
                                  "system_id = 78\n",
                                  {},
                                  1,
                                  "target stopped: INVALID-SYSTEM-ID",
                                  200,
                                  true},
                      RefusalCase{"broadcastify_no_slot",
                                  "broadcastify-calls",
                                  {},
                                  {},
                                  {},
                                  "broadcastify status 200 - 1 No-Freq-Table-Entry-For-Upload\n",
                                  1,
                                  "refused: No-Freq-Table-Entry-For-Upload",
                                  200,
                                  false},
                      RefusalCase{"broadcastify_told_too_late",
                                  "broadcastify-calls",
                                  {},
                                  "max_age = 10m\n",
                                  {},
                                  {},
                                  90,
                                  "too late: REJECTED-CALL-SKEW-TOO-LONG",
                                  200,
                                  false},
                      RefusalCase{"broadcastify_too_late_to_send",
                                  "broadcastify-calls",
                                  {},
                                  {},
                                  {},
                                  {},
                                  60,
                                  "too late: older than 30 s",
                                  0,
                                  false}),
    [](const auto& info) { return std::string(info.param.name); });

// A fault that passes: the take is tried again, later, and delivered; where
// the service keeps what a lost answer left (OpenMHz), a copy too.
struct PassingCase {
    const char* name;
    std::string kind;
    std::string more;
    std::string faults;
    std::string outcome;
    int tries;
    // Requests of the service's own, of Broadcastify's sound, and the calls
    // the service kept.
    int requests;
    int sounds;
    int kept;
    // The least wait the service asked for between the two tries.
    double asked_wait;
};

void PrintTo(const PassingCase& c, std::ostream* out) {
    *out << c.name;
}

class PassingFaults : public ::testing::TestWithParam<PassingCase> {};

TEST_P(PassingFaults, AreTriedAgainUntilTheTakeIsDelivered) {
    const PassingCase& c = GetParam();
    CallServer server;
    server.faults(c.faults);
    UploadsRun run;
    run.settings(section(c.kind, server, c.more));
    run.run();
    run.store(kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(1)) << run.folder.read("uploads.csv");
    const std::vector<std::string> row = run.rows()[0];
    EXPECT_EQ(row[2], c.outcome);
    EXPECT_EQ(row[5], std::to_string(c.tries)) << "tries";
    int requests = 0, sounds = 0, kept = 0;
    std::vector<double> times;
    for (const ReceivedCall& call : server.calls()) {
        (call.service == "sound" ? sounds : requests) += 1;
        kept += call.kept && call.service != "sound";
        if (call.service != "sound") {
            times.push_back(call.time);
        }
    }
    EXPECT_EQ(requests, c.requests);
    EXPECT_EQ(sounds, c.sounds);
    EXPECT_EQ(kept, c.kept) << "calls the service keeps";
    if (c.asked_wait > 0) {
        ASSERT_EQ(times.size(), 2u);
        EXPECT_GE(times[1] - times[0], c.asked_wait - 0.1) << "Retry-After honoured";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PassingFaults,
    ::testing::Values(
        PassingCase{
            "server_error", "rdio-scanner", {}, "rdio status 500\n", "delivered", 2, 2, 0, 1, 0},
        PassingCase{
            "too_many", "rdio-scanner", {}, "rdio status 429\n", "delivered", 2, 2, 0, 1, 0},
        PassingCase{
            "retry_after", "rdio-scanner", {}, "rdio status 503 2\n", "delivered", 2, 2, 0, 1, 2},
        PassingCase{"time_out", "rdio-scanner", "timeout = 1s\n", "rdio hang\n", "delivered", 2, 2,
                    0, 1, 0},
        // Kept before the answer was lost: the try again has the same time,
        // and Rdio Scanner drops it as the same call.
        PassingCase{"cut_rdio", "rdio-scanner", {}, "rdio cut\n", "delivered", 2, 2, 0, 1, 0},
        PassingCase{"reset", "rdio-scanner", {}, "rdio reset\n", "delivered", 2, 2, 0, 1, 0},
        PassingCase{"cut_openmhz", "openmhz", {}, "openmhz cut\n", "delivered", 2, 2, 0, 2, 0},
        PassingCase{"cut_broadcastify",
                    "broadcastify-calls",
                    {},
                    "broadcastify cut\n",
                    "delivered (already there)",
                    2,
                    2,
                    0,
                    1,
                    0},
        PassingCase{
            "slow_down", "broadcastify-calls", {}, "sound slowdown\n", "delivered", 2, 1, 2, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
