#include "uploads/http_message.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace taperly {
namespace {

TEST(RequestBytes, AreAFormWithItsFileAndTheLengthOfBoth) {
    testing::TempFolder folder;
    folder.write("a.wav", "RIFF1234");
    HttpRequest request;
    request.url = "http://127.0.0.1:8080/api/call-upload";
    // Sent under a name no Windows file could have.
    request.form = {{"key", "k1", {}, {}, {}},
                    {"audio", {}, folder.file("a.wav"), "a \"b\".wav", "audio/wav"},
                    {"talkgroup", "2001", {}, {}, {}}};
    std::string failure;
    const std::optional<RequestBytes> bytes =
        request_bytes(request, *parse_url(request.url), "BOUND", failure);
    ASSERT_TRUE(bytes.has_value()) << failure;
    std::string body;
    for (const BodyPiece& piece : bytes->body) {
        body += piece.file_path.empty() ? piece.bytes : folder.read("a.wav");
    }
    EXPECT_EQ(
        body,
        "--BOUND\r\nContent-Disposition: form-data; name=\"key\"\r\n\r\nk1\r\n"
        "--BOUND\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"a %22b%22.wav\"\r\n"
        "Content-Type: audio/wav\r\n\r\nRIFF1234\r\n"
        "--BOUND\r\nContent-Disposition: form-data; name=\"talkgroup\"\r\n\r\n2001\r\n"
        "--BOUND--\r\n");
    EXPECT_EQ(
        bytes->head,
        "POST /api/call-upload HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nUser-Agent: Taperly/1.0\r\n"
        "Accept: */*\r\nContent-Type: multipart/form-data; boundary=BOUND\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n");
    request.form[1].file_path = folder.file("gone.wav");
    EXPECT_FALSE(request_bytes(request, *parse_url(request.url), "BOUND", failure).has_value());
}

struct AnswerCase {
    const char* name;
    std::vector<std::string> pieces;
    bool then_closed;
    // "<status> <body>", "cut <status> <body>" or "none"/"broken".
    std::string answer;
};

TEST(AnswerReader, ReadsByLengthInChunksOrToTheEndAndKeeps64Kb) {
    const std::string big(kAnswerLimit + 10, 'x');
    const AnswerCase cases[] = {
        {"length",
         {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", "lo and more"},
         false,
         "200 hello"},
        {"no_length_runs_to_the_end",
         {"HTTP/1.0 417 X\r\n\r\nIncomplete ", "call data"},
         true,
         "417 Incomplete call data"},
        {"chunks",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel",
          "lo\r\n3\r\n an\r\n0\r\n\r\n"},
         false,
         "200 hello an"},
        {"head_in_pieces",
         {"HTTP/1.1 50", "3 Slow\r\nRetry-After: 2\r", "\nContent-Length: 0\r\n\r\n"},
         false,
         "503 "},
        {"cut_at_64_kB",
         {"HTTP/1.1 200 OK\r\n\r\n" + big},
         false,
         "cut 200 " + big.substr(0, kAnswerLimit)},
        {"closed_before_a_head", {"HTTP/1.1 200 OK\r\nContent-"}, true, "none"},
        {"closed_inside_a_body_of_known_length",
         {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc"},
         true,
         "none"},
        {"no_http", {"SSH-2.0-OpenSSH\r\n\r\n"}, false, "broken"},
    };
    for (const AnswerCase& c : cases) {
        AnswerReader reader;
        bool done = false;
        for (const std::string& piece : c.pieces) {
            done = reader.feed(piece);
        }
        if (c.then_closed) {
            done = reader.closed();
        }
        const HttpAnswer& answer = reader.answer();
        const std::string got = reader.broken() ? "broken"
                                : !done         ? "none"
                                                : std::string(answer.body_cut ? "cut " : "") +
                                              std::to_string(answer.status) + " " + answer.body;
        EXPECT_EQ(got.substr(0, 80), c.answer.substr(0, 80)) << c.name;
        EXPECT_EQ(got.size(), c.answer.size()) << c.name;
    }
    AnswerReader reader;
    reader.feed("HTTP/1.1 503 Slow\r\nRetry-After: 2\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(reader.answer().header("retry-after"), "2");
}

}  // namespace
}  // namespace taperly
