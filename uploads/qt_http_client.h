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

    // Loads Qt's TLS backend on the calling thread, once a process. Called on
    // the window's thread before any sender starts, since what loading leaves
    // behind in a thread cannot be undone safely when that thread ends.
    static void load_tls();
};

}  // namespace taperly
