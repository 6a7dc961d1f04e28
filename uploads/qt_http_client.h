#pragma once

#include "uploads/http_exchange.h"

namespace taperly {

// HTTP/1.1 over Qt Network's sockets (TLS through Qt's backend, which
// verifies the server's certificate and name, always), one connection per
// request, on the calling thread's own event loop. Its own small client
// rather than QNetworkAccessManager, which sends a request again by itself
// when a connection breaks before the answer: a call sent twice behind the
// queue's back, where a service keeps both.
class QtHttpClient : public HttpClient {
  public:
    HttpAnswer send(const HttpRequest& request, const std::atomic<bool>& cancelled) override;
};

}  // namespace taperly
