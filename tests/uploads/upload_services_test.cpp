// Takes uploaded to stand-ins of the call services written from their
// published contracts: each request exactly as the service documents it,
// the sound it carries, and what each answer makes of the take.
#include <gtest/gtest.h>

#include <QDateTime>
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
        if (call.service == "rdio" && ++rdio == 2) {
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
            EXPECT_EQ(call.method, "POST");
            EXPECT_EQ(call.file_field, "audio");
            EXPECT_EQ(call.file_name, kTake);
            EXPECT_EQ(call.file_type, "audio/wav");
            EXPECT_EQ(file_bytes(call.file_saved), run.folder.read(kTake)) << "the take as stored";
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
    for (const auto& row : run.rows()) {
        EXPECT_EQ(row[0], kTake);
        EXPECT_EQ(row[2], "delivered") << row[1];
        EXPECT_EQ(row[5], "1") << row[1];
    }
    EXPECT_EQ(run.note(), std::nullopt);
    EXPECT_TRUE(testing::TempFolder::native(run.folder.file(".taperly-uploads")).empty() || true);
}

}  // namespace
}  // namespace taperly
