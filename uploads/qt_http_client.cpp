#include "uploads/qt_http_client.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <fstream>
#include <memory>
#include <random>

#include "settings/utf8_path.h"
#include "uploads/http_message.h"

namespace taperly {

namespace {

using Failure = HttpAnswer::Failure;

// What is handed to the socket ahead of what it has sent.
constexpr qint64 kAhead = 256 * 1024;
constexpr int kLookMs = 100;

std::string boundary() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 pick{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> any(0, sizeof kLetters - 2);
    std::string text = "taperly-";
    for (int i = 0; i < 32; ++i) {
        text.push_back(kLetters[any(pick)]);
    }
    return text;
}

HttpAnswer failure(Failure kind, std::string text) {
    HttpAnswer answer;
    answer.failure = kind;
    answer.failure_text = std::move(text);
    return answer;
}

// One request and its answer, driven by the socket's signals.
class Exchange {
  public:
    Exchange(const HttpRequest& request, const UrlParts& url, RequestBytes bytes,
             const std::atomic<bool>& cancelled)
        : request_(request), url_(url), bytes_(std::move(bytes)), cancelled_(cancelled) {}

    HttpAnswer run() {
        if (url_.tls) {
            if (!QSslSocket::supportsSsl()) {
                return failure(Failure::kOther, "TLS is not available to Taperly here");
            }
            auto* tls = new QSslSocket;
            socket_.reset(tls);
            QObject::connect(tls, &QSslSocket::encrypted, [this] { send_more(); });
            QObject::connect(
                tls, &QSslSocket::sslErrors, [this, tls](const QList<QSslError>& errors) {
                    // Never ignored: a certificate that is not trusted ends it.
                    std::string text;
                    for (const QSslError& error : errors) {
                        text += (text.empty() ? "" : "; ") + error.errorString().toStdString();
                    }
                    finish(failure(Failure::kCertificate, "certificate not trusted: " + text));
                    (void)tls;
                });
        } else {
            socket_ = std::make_unique<QTcpSocket>();
            QObject::connect(socket_.get(), &QTcpSocket::connected, [this] { send_more(); });
        }
        QObject::connect(socket_.get(), &QTcpSocket::bytesWritten, [this](qint64) {
            heard_.start();
            send_more();
        });
        QObject::connect(socket_.get(), &QTcpSocket::readyRead, [this] { read(); });
        QObject::connect(socket_.get(), &QTcpSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError error) { failed(error); });
        QObject::connect(socket_.get(), &QTcpSocket::disconnected, [this] { ended(); });
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [this] { look_at_time(); });
        look.start(kLookMs);
        whole_.start();
        heard_.start();
        if (url_.tls) {
            static_cast<QSslSocket*>(socket_.get())
                ->connectToHostEncrypted(QString::fromStdString(url_.host),
                                         static_cast<quint16>(url_.port));
        } else {
            socket_->connectToHost(QString::fromStdString(url_.host),
                                   static_cast<quint16>(url_.port));
        }
        if (!done_) {
            loop_.exec();
        }
        socket_->disconnect();
        socket_->abort();
        return answer_;
    }

  private:
    void finish(HttpAnswer answer) {
        if (done_) {
            return;
        }
        done_ = true;
        answer_ = std::move(answer);
        loop_.quit();
    }

    // Hands the socket the next bytes of the request, a little ahead of
    // what it has sent, so that a long take never sits in memory whole.
    void send_more() {
        if (!head_sent_) {
            socket_->write(bytes_.head.data(), static_cast<qint64>(bytes_.head.size()));
            head_sent_ = true;
        }
        while (socket_->bytesToWrite() < kAhead && piece_ < bytes_.body.size()) {
            const BodyPiece& piece = bytes_.body[piece_];
            if (piece.file_path.empty()) {
                socket_->write(piece.bytes.data(), static_cast<qint64>(piece.bytes.size()));
                ++piece_;
                continue;
            }
            if (!file_) {
                file_ =
                    std::make_unique<std::ifstream>(utf8_path(piece.file_path), std::ios::binary);
                file_left_ = piece.file_size;
            }
            char chunk[64 * 1024];
            const auto want =
                static_cast<std::streamsize>(std::min<std::int64_t>(sizeof chunk, file_left_));
            file_->read(chunk, want);
            if (file_->gcount() != want) {
                finish(
                    failure(Failure::kFile, "the take's file cannot be read: " + piece.file_path));
                return;
            }
            socket_->write(chunk, want);
            file_left_ -= want;
            if (file_left_ == 0) {
                file_.reset();
                ++piece_;
            }
        }
    }

    void read() {
        heard_.start();
        const QByteArray bytes = socket_->readAll();
        if (reader_.feed(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
            answered();
        }
    }

    void answered() {
        if (reader_.broken()) {
            finish(failure(Failure::kCut, "the server's answer is no HTTP"));
        } else {
            finish(reader_.answer());
        }
    }

    // The connection ended: what came is the answer, if it is one.
    void ended() {
        if (done_) {
            return;
        }
        const QByteArray rest = socket_->readAll();
        reader_.feed(std::string_view(rest.constData(), static_cast<std::size_t>(rest.size())));
        if (reader_.closed()) {
            answered();
        } else {
            finish(failure(Failure::kCut,
                           head_sent_ ? "connection cut before an answer" : "connection cut"));
        }
    }

    void failed(QAbstractSocket::SocketError error) {
        switch (error) {
            case QAbstractSocket::ConnectionRefusedError:
                finish(failure(Failure::kRefused, "connection refused"));
                return;
            case QAbstractSocket::HostNotFoundError:
                finish(failure(Failure::kHostNotFound, "host " + url_.host + " not found"));
                return;
            case QAbstractSocket::RemoteHostClosedError:
                ended();
                return;
            default:
                // A server that answers and closes before it has read the
                // whole request: its answer stands.
                if (reader_.head_whole()) {
                    ended();
                    return;
                }
                finish(failure(Failure::kCut, socket_->errorString().toStdString()));
        }
    }

    void look_at_time() {
        if (cancelled_) {
            finish(failure(Failure::kCancelled, "Taperly is closing"));
            return;
        }
        const qint64 limit = request_.time_limit.count();
        if (heard_.elapsed() > limit || whole_.elapsed() > 10 * limit) {
            finish(failure(Failure::kTimedOut,
                           "no answer within " + std::to_string(limit / 1000) + " s"));
        }
    }

    const HttpRequest& request_;
    const UrlParts& url_;
    RequestBytes bytes_;
    const std::atomic<bool>& cancelled_;
    std::unique_ptr<QTcpSocket> socket_;
    QEventLoop loop_;
    QElapsedTimer whole_;
    // Since the server last took or gave a byte.
    QElapsedTimer heard_;
    bool head_sent_ = false;
    std::size_t piece_ = 0;
    std::unique_ptr<std::ifstream> file_;
    std::int64_t file_left_ = 0;
    AnswerReader reader_;
    HttpAnswer answer_;
    bool done_ = false;
};

}  // namespace

void QtHttpClient::load_tls() {
    // Qt finds its TLS plugin by matching a folder's names against a pattern,
    // and the match leaves a thread-local behind in the thread that made it.
    // MinGW-w64's runtime frees a thread's thread-locals before it runs their
    // destructors: a sender thread that had loaded the plugin crashed as it
    // ended. Loaded elsewhere first, the senders never match a pattern.
    static const bool loaded = QSslSocket::supportsSsl();
    (void)loaded;
}

HttpAnswer QtHttpClient::send(const HttpRequest& request, const std::atomic<bool>& cancelled) {
    const std::optional<UrlParts> url = parse_url(request.url);
    if (!url || (!url->tls && !is_loopback_host(url->host))) {
        return failure(Failure::kOther, "refused to send to " + request.url);
    }
    std::string why;
    std::optional<RequestBytes> bytes = request_bytes(request, *url, boundary(), why);
    if (!bytes) {
        return failure(Failure::kFile, "the take's file cannot be read: " + why);
    }
    return Exchange(request, *url, std::move(*bytes), cancelled).run();
}

}  // namespace taperly
