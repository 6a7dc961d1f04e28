#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace taperly {

// An http or https URL taken apart, as a request needs it.
struct UrlParts {
    bool tls = true;
    // Without the brackets of an IPv6 address.
    std::string host;
    int port = 443;
    // The path and query, "/api/call-upload?x=1"; "/" at least.
    std::string target;
};

// None for anything but a plain http:// or https:// URL (no user part, no
// blanks or control characters).
std::optional<UrlParts> parse_url(std::string_view url);

// This computer's own addresses: localhost, 127.x.x.x and ::1.
bool is_loopback_host(std::string_view host);

// Why a key may not go to `url`, in words; empty when it may: https, or
// http to this computer only, where nothing crosses a network.
std::string url_refusal(std::string_view url);

// `base` without its trailing slashes, and `path` after it.
std::string joined_url(std::string_view base, std::string_view path);

}  // namespace taperly
