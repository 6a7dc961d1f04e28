#include "uploads/service_calls.h"

#include <gtest/gtest.h>

namespace taperly {
namespace {

using Kind = TryOutcome::Kind;
using Failure = HttpAnswer::Failure;

std::string kind_text(Kind kind) {
    switch (kind) {
        case Kind::kDelivered:
            return "delivered";
        case Kind::kAlreadyThere:
            return "already there";
        case Kind::kPassing:
            return "passing";
        case Kind::kRefused:
            return "refused";
        case Kind::kTooLate:
            return "too late";
        case Kind::kTargetRefused:
            return "target refused";
        case Kind::kCancelled:
            return "cancelled";
    }
    return {};
}

struct VerdictCase {
    std::string service;
    Failure failure;
    int status;
    std::string body;
    // "<kind>: <reason>", with " after <ms>" when the service asked for a wait.
    std::string verdict;
    std::string retry_after = {};
};

TEST(ServiceVerdicts, SortEachAnswerAsTheServiceMeansIt) {
    const VerdictCase cases[] = {
        {"rdio", Failure::kNone, 200, "Call imported successfully.", "delivered: delivered"},
        {"rdio", Failure::kNone, 401, "Invalid API key for system 11 talkgroup 5.",
         "target refused: Invalid API key for system 11 talkgroup 5. (this take's only?)"},
        {"rdio", Failure::kNone, 417, "Incomplete call data: no talkgroup",
         "refused: Incomplete call data: no talkgroup"},
        {"rdio", Failure::kNone, 400, "", "refused: HTTP 400"},
        {"rdio", Failure::kNone, 405, "",
         "target refused: no call upload at this address (HTTP 405)"},
        {"rdio", Failure::kNone, 301, "",
         "target refused: the server sends to https://b.example/; put that address in uploads.ini",
         "https://b.example/"},
        {"rdio", Failure::kNone, 502, "<html>\n<body>Bad gateway", "passing: HTTP 502 <html>"},
        {"rdio", Failure::kNone, 429, "", "passing: HTTP 429 after 30000", "30"},
        {"rdio", Failure::kRefused, 0, "", "passing: connection refused"},
        {"rdio", Failure::kTimedOut, 0, "", "passing: connection refused"},
        {"rdio", Failure::kCertificate, 0, "", "target refused: connection refused"},
        {"rdio", Failure::kFile, 0, "", "refused: connection refused"},
        {"rdio", Failure::kCancelled, 0, "", "cancelled: connection refused"},
        {"openmhz", Failure::kNone, 200, "", "delivered: delivered"},
        {"openmhz", Failure::kNone, 500, "API Keys do not match!",
         "target refused: API Keys do not match!"},
        {"openmhz", Failure::kNone, 500, "ShortName does not exist",
         "target refused: ShortName does not exist"},
        {"openmhz", Failure::kNone, 500, "Error, invalid filename",
         "refused: Error, invalid filename"},
        {"openmhz", Failure::kNone, 500, "Talkgroup does not exist, skipping.",
         "refused: Talkgroup does not exist, skipping."},
        {"openmhz", Failure::kNone, 500, "TypeError: x is undefined",
         "passing: HTTP 500 TypeError: x is undefined"},
        {"openmhz", Failure::kNone, 403, "", "target refused: HTTP 403"},
        {"broadcastify", Failure::kNone, 200, "0 https://s3.example/up?sig=1",
         "passing: sound to send"},
        {"broadcastify", Failure::kNone, 200, "0 http://sound.example/up",
         "refused: the address for the sound must begin with https:// (http:// only to this "
         "computer: a key sent plainly can be read on the way)"},
        {"broadcastify", Failure::kNone, 200, "1 SKIPPED---ALREADY-RECEIVED-THIS-CALL",
         "already there: SKIPPED---ALREADY-RECEIVED-THIS-CALL"},
        {"broadcastify", Failure::kNone, 200, "1 REJECTED-CALL-SKEW-TOO-LONG-45",
         "too late: REJECTED-CALL-SKEW-TOO-LONG-45"},
        {"broadcastify", Failure::kNone, 200, "1 Invalid-API-Key",
         "target refused: Invalid-API-Key"},
        {"broadcastify", Failure::kNone, 200, "1 API-Key-Access-Denied",
         "target refused: API-Key-Access-Denied"},
        {"broadcastify", Failure::kNone, 200, "1 INVALID-SYSTEM-ID",
         "target refused: INVALID-SYSTEM-ID"},
        {"broadcastify", Failure::kNone, 200, "1 No-Freq-Table-Entry-For-Upload",
         "refused: No-Freq-Table-Entry-For-Upload"},
        {"broadcastify", Failure::kNone, 503, "", "passing: HTTP 503"},
        {"sound", Failure::kNone, 200, "", "delivered: delivered"},
        {"sound", Failure::kNone, 503, "<Code>SlowDown</Code>",
         "passing: HTTP 503 <Code>SlowDown</Code> after 1000", "1"},
        {"sound", Failure::kNone, 403, "<Code>AccessDenied</Code>",
         "refused: the sound was refused (HTTP 403)"},
    };
    for (const VerdictCase& c : cases) {
        HttpAnswer answer;
        answer.failure = c.failure;
        answer.failure_text = "connection refused";
        answer.status = c.status;
        answer.body = c.body;
        if (!c.retry_after.empty()) {
            answer.headers = {
                {c.status >= 300 && c.status < 400 ? "location" : "retry-after", c.retry_after}};
        }
        std::string sound_url;
        const TryOutcome outcome = c.service == "rdio"      ? rdio_scanner_verdict(answer)
                                   : c.service == "openmhz" ? openmhz_verdict(answer)
                                   : c.service == "sound"   ? broadcastify_sound_verdict(answer)
                                                          : broadcastify_verdict(answer, sound_url);
        std::string verdict = kind_text(outcome.kind) + ": " + outcome.reason;
        if (outcome.may_be_this_take_only) {
            verdict += " (this take's only?)";
        }
        if (outcome.retry_after) {
            verdict += " after " + std::to_string(outcome.retry_after->count());
        }
        EXPECT_EQ(verdict, c.verdict) << c.service << " " << c.status << " " << c.body;
        if (c.verdict == "passing: sound to send") {
            EXPECT_EQ(sound_url, "https://s3.example/up?sig=1");
        }
    }
}

TEST(ServiceVerdicts, AnswersAreCutToALineAndKeysMasked) {
    EXPECT_EQ(answer_line("\r\n  first line \r\nsecond"), "first line");
    EXPECT_EQ(answer_line(std::string(199, 'a') + "é"), std::string(199, 'a') + "…");
    EXPECT_EQ(without_key("bad key abcdef123456 and abcdef123456.", "abcdef123456"),
              "bad key …56 and …56.");
    EXPECT_EQ(masked_key("short"), "…");
}

}  // namespace
}  // namespace taperly
