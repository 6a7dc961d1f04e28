#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace taperly {

// One field of a multipart form: a text, or a file sent as it is.
struct FormField {
    std::string name;
    std::string value;
    // A file part when set: its path, the name it is sent under, its type.
    std::string file_path;
    std::string file_name;
    std::string content_type;
};

struct HttpRequest {
    std::string method = "POST";
    std::string url;
    // Sent as multipart/form-data when there are any.
    std::vector<FormField> form;
    // Otherwise the body is this file, of this type.
    std::string body_file;
    std::string body_type;
    std::vector<std::pair<std::string, std::string>> headers;
    // The longest the server may keep silent, while connecting, sending or
    // answering; the whole exchange may take ten times that.
    std::chrono::milliseconds time_limit{30000};
};

// The most of an answer's body that is kept: the rest is not read.
inline constexpr std::size_t kAnswerLimit = 64 * 1024;

struct HttpAnswer {
    enum class Failure {
        kNone,
        // Nothing was sent: nobody listens there, or no such host.
        kRefused,
        kHostNotFound,
        // The connection broke, or the server kept silent too long.
        kCut,
        kTimedOut,
        // The server's certificate is not trusted for its name.
        kCertificate,
        // A file to send could not be read.
        kFile,
        // Ended from here: Taperly is closing.
        kCancelled,
        kOther,
    };
    Failure failure = Failure::kNone;
    // The failure in words.
    std::string failure_text;
    int status = 0;
    // Header names in lower case.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool body_cut = false;

    std::optional<std::string> header(const std::string& lower_name) const;
};

// Sends one request and waits for its answer; never follows a redirect and
// never sends a request twice. Used from one thread; `cancelled` ends an
// exchange under way from another.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    virtual HttpAnswer send(const HttpRequest& request, const std::atomic<bool>& cancelled) = 0;
};

}  // namespace taperly
