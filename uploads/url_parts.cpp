#include "uploads/url_parts.h"

#include <algorithm>
#include <charconv>

namespace taperly {

namespace {

bool plain(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            return false;
        }
    }
    return true;
}

bool is_ipv4_loopback(std::string_view host) {
    int parts = 0;
    std::size_t at = 0;
    while (at <= host.size()) {
        const std::size_t dot = std::min(host.find('.', at), host.size());
        int value = -1;
        const std::string_view part = host.substr(at, dot - at);
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc() || end != part.data() + part.size() ||
            value > 255 || (parts == 0 && value != 127)) {
            return false;
        }
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

}  // namespace

std::optional<UrlParts> parse_url(std::string_view url) {
    UrlParts parts;
    if (url.starts_with("https://")) {
        url.remove_prefix(8);
    } else if (url.starts_with("http://")) {
        url.remove_prefix(7);
        parts.tls = false;
        parts.port = 80;
    } else {
        return std::nullopt;
    }
    if (!plain(url)) {
        return std::nullopt;
    }
    const std::size_t path = std::min(url.find_first_of("/?#"), url.size());
    std::string_view authority = url.substr(0, path);
    parts.target = std::string(url.substr(path));
    if (const auto fragment = parts.target.find('#'); fragment != std::string::npos) {
        parts.target.resize(fragment);
    }
    if (parts.target.empty() || parts.target.front() != '/') {
        parts.target.insert(0, "/");
    }
    // A user part would carry a secret where no header hides it.
    if (authority.find('@') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view port;
    if (authority.starts_with("[")) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        parts.host = std::string(authority.substr(1, close - 1));
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(":")) {
            return std::nullopt;
        }
        port = rest.empty() ? rest : rest.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        parts.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) {
                return std::nullopt;
            }
        }
    }
    if (!port.empty()) {
        const auto [end, error] =
            std::from_chars(port.data(), port.data() + port.size(), parts.port);
        if (error != std::errc() || end != port.data() + port.size() || parts.port < 1 ||
            parts.port > 65535) {
            return std::nullopt;
        }
    }
    if (parts.host.empty()) {
        return std::nullopt;
    }
    return parts;
}

bool is_loopback_host(std::string_view host) {
    return host == "localhost" || host == "::1" || is_ipv4_loopback(host);
}

std::string url_refusal(std::string_view url) {
    const std::optional<UrlParts> parts = parse_url(url);
    if (!parts) {
        return "must be an http:// or https:// address without a user name or password";
    }
    if (!parts->tls && !is_loopback_host(parts->host)) {
        return "must begin with https:// (http:// only to this computer: a key sent plainly can "
               "be read on the way)";
    }
    return {};
}

std::string joined_url(std::string_view base, std::string_view path) {
    while (base.ends_with("/")) {
        base.remove_suffix(1);
    }
    return std::string(base) + std::string(path);
}

}  // namespace taperly
