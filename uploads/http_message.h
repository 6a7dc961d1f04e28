#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uploads/http_exchange.h"
#include "uploads/url_parts.h"

namespace taperly {

// A piece of a request's body: bytes, or a file's whole contents.
struct BodyPiece {
    std::string bytes;
    std::string file_path;
    std::int64_t file_size = 0;
};

// A request as it goes on the wire: its head, then its body, whose length
// the head says.
struct RequestBytes {
    std::string head;
    std::vector<BodyPiece> body;
    std::int64_t body_size = 0;
};

// The bytes of `request` to the server `url` names, its form parts parted
// by `boundary`; none, with the reason in `failure`, when a file to send
// cannot be read.
std::optional<RequestBytes> request_bytes(const HttpRequest& request, const UrlParts& url,
                                          const std::string& boundary, std::string& failure);

// Reads an HTTP/1.1 answer as its bytes come: a body by its length, in
// chunks, or up to the connection's end; kept up to kAnswerLimit.
class AnswerReader {
  public:
    // True once nothing more needs to be read.
    bool feed(std::string_view bytes);
    // The connection ended; true when what came is an answer.
    bool closed();
    // The answer is no HTTP answer.
    bool broken() const { return broken_; }
    bool head_whole() const { return head_whole_; }
    const HttpAnswer& answer() const { return answer_; }

  private:
    bool read_head();
    bool read_body();
    bool keep(std::string_view bytes);

    std::string pending_;
    HttpAnswer answer_;
    bool head_whole_ = false;
    bool broken_ = false;
    bool done_ = false;
    bool chunked_ = false;
    std::optional<std::int64_t> left_;
};

}  // namespace taperly
