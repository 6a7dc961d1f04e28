#include "uploads/http_message.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "settings/utf8_path.h"

namespace taperly {

namespace {

constexpr std::size_t kHeadLimit = 64 * 1024;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// As browsers write a form's names: a quote or a line end would end the
// header they stand in.
std::string quoted_name(const std::string& name) {
    std::string out;
    for (const char c : name) {
        out += c == '"' ? "%22" : c == '\r' ? "%0D" : c == '\n' ? "%0A" : std::string(1, c);
    }
    return out;
}

std::string host_header(const UrlParts& url) {
    const std::string host =
        url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    const bool usual = url.port == (url.tls ? 443 : 80);
    return usual ? host : host + ":" + std::to_string(url.port);
}

}  // namespace

std::optional<std::string> HttpAnswer::header(const std::string& lower_name) const {
    for (const auto& [name, value] : headers) {
        if (name == lower_name) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<RequestBytes> request_bytes(const HttpRequest& request, const UrlParts& url,
                                          const std::string& boundary, std::string& failure) {
    RequestBytes bytes;
    const auto add_file = [&](const std::string& path) {
        std::error_code error;
        const auto size = std::filesystem::file_size(utf8_path(path), error);
        if (error) {
            failure = path + ": " + error.message();
            return false;
        }
        bytes.body.push_back({{}, path, static_cast<std::int64_t>(size)});
        return true;
    };
    const auto add_text = [&](std::string text) {
        if (bytes.body.empty() || !bytes.body.back().file_path.empty()) {
            bytes.body.emplace_back();
        }
        bytes.body.back().bytes += text;
    };
    std::string type = request.body_type;
    if (!request.form.empty()) {
        type = "multipart/form-data; boundary=" + boundary;
        for (const FormField& field : request.form) {
            std::string part = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                               quoted_name(field.name) + "\"";
            if (field.file_path.empty()) {
                add_text(part + "\r\n\r\n" + field.value + "\r\n");
                continue;
            }
            add_text(part + "; filename=\"" + quoted_name(field.file_name) +
                     "\"\r\nContent-Type: " + field.content_type + "\r\n\r\n");
            if (!add_file(field.file_path)) {
                return std::nullopt;
            }
            add_text("\r\n");
        }
        add_text("--" + boundary + "--\r\n");
    } else if (!request.body_file.empty() && !add_file(request.body_file)) {
        return std::nullopt;
    }
    for (const BodyPiece& piece : bytes.body) {
        bytes.body_size += piece.file_path.empty() ? static_cast<std::int64_t>(piece.bytes.size())
                                                   : piece.file_size;
    }
    bytes.head = request.method + " " + url.target + " HTTP/1.1\r\nHost: " + host_header(url) +
                 "\r\nUser-Agent: Taperly/1.0\r\nAccept: */*\r\n";
    if (!type.empty()) {
        bytes.head += "Content-Type: " + type + "\r\n";
    }
    // One request per connection: a connection kept for later can be gone
    // by then, and nothing may be sent again behind the queue's back.
    bytes.head +=
        "Content-Length: " + std::to_string(bytes.body_size) + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : request.headers) {
        bytes.head += name + ": " + value + "\r\n";
    }
    bytes.head += "\r\n";
    return bytes;
}

bool AnswerReader::feed(std::string_view bytes) {
    if (done_ || broken_) {
        return true;
    }
    pending_.append(bytes);
    if (!head_whole_ && !read_head()) {
        return broken_;
    }
    done_ = read_body();
    return done_ || broken_;
}

bool AnswerReader::closed() {
    if (!head_whole_ || broken_) {
        return false;
    }
    // A body without a length runs to the connection's end.
    if (!done_ && !chunked_ && !left_) {
        keep(pending_);
        pending_.clear();
        done_ = true;
    }
    return done_ || answer_.body_cut;
}

bool AnswerReader::keep(std::string_view bytes) {
    const std::size_t room = kAnswerLimit - answer_.body.size();
    answer_.body.append(bytes.substr(0, room));
    if (bytes.size() > room) {
        answer_.body_cut = true;
    }
    return answer_.body_cut;
}

bool AnswerReader::read_head() {
    const std::size_t end = pending_.find("\r\n\r\n");
    if (end == std::string::npos) {
        broken_ = pending_.size() > kHeadLimit;
        return false;
    }
    std::string_view head(pending_.data(), end);
    const std::size_t first_end = std::min(head.find("\r\n"), head.size());
    const std::string_view status_line = head.substr(0, first_end);
    // "HTTP/1.1 200 OK"
    if (!status_line.starts_with("HTTP/1.") || status_line.size() < 12) {
        broken_ = true;
        return false;
    }
    const std::string_view code = status_line.substr(9, 3);
    const auto [at, error] = std::from_chars(code.data(), code.data() + 3, answer_.status);
    if (error != std::errc() || at != code.data() + 3) {
        broken_ = true;
        return false;
    }
    for (std::size_t at_line = first_end + 2; at_line < head.size();) {
        const std::size_t line_end = std::min(head.find("\r\n", at_line), head.size());
        const std::string_view line = head.substr(at_line, line_end - at_line);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            answer_.headers.emplace_back(lower(trimmed(line.substr(0, colon))),
                                         std::string(trimmed(line.substr(colon + 1))));
        }
        at_line = line_end + 2;
    }
    pending_.erase(0, end + 4);
    head_whole_ = true;
    const std::optional<std::string> coding = answer_.header("transfer-encoding");
    chunked_ = coding && lower(*coding).find("chunked") != std::string::npos;
    const std::optional<std::string> length = answer_.header("content-length");
    if (!chunked_ && length) {
        std::int64_t value = -1;
        std::from_chars(length->data(), length->data() + length->size(), value);
        if (value < 0) {
            broken_ = true;
            return false;
        }
        left_ = value;
    }
    // Answers that never have a body.
    if (answer_.status == 204 || answer_.status == 304 ||
        (answer_.status >= 100 && answer_.status < 200)) {
        left_ = 0;
    }
    return true;
}

bool AnswerReader::read_body() {
    if (!chunked_) {
        if (!left_) {
            // Up to the connection's end, but no more than is kept.
            const bool full = keep(pending_);
            pending_.clear();
            return full;
        }
        const auto take = static_cast<std::size_t>(std::min<std::int64_t>(*left_, pending_.size()));
        const bool full = keep(std::string_view(pending_).substr(0, take));
        *left_ -= static_cast<std::int64_t>(take);
        pending_.erase(0, take);
        return full || *left_ == 0;
    }
    for (;;) {
        if (left_ && *left_ > 0) {
            const auto take =
                static_cast<std::size_t>(std::min<std::int64_t>(*left_, pending_.size()));
            if (keep(std::string_view(pending_).substr(0, take))) {
                return true;
            }
            *left_ -= static_cast<std::int64_t>(take);
            pending_.erase(0, take);
            if (*left_ > 0) {
                return false;
            }
        }
        // After a chunk's data its line end, then the next chunk's size.
        std::size_t start = 0;
        if (left_) {
            if (pending_.size() < 2) {
                return false;
            }
            start = 2;
        }
        const std::size_t line_end = pending_.find("\r\n", start);
        if (line_end == std::string::npos) {
            broken_ = pending_.size() > kHeadLimit;
            return false;
        }
        std::int64_t size = -1;
        const std::string_view line(pending_.data() + start, line_end - start);
        const auto [at, error] = std::from_chars(line.data(), line.data() + line.size(), size, 16);
        if (error != std::errc() || size < 0) {
            broken_ = true;
            return false;
        }
        (void)at;
        pending_.erase(0, line_end + 2);
        if (size == 0) {
            // The trailers, if any, are not needed.
            return true;
        }
        left_ = size;
    }
}

}  // namespace taperly
