// Qt Network as built for each system, against two web servers of the
// test's own on the loopback address (loopback_servers.py starts them): a
// plain request is answered, and over HTTPS a server whose certificate no
// one vouches for is refused for that certificate, while the same server is
// reached once its certificate is the one trusted. Uploads stand on all
// three: a build without TLS, or one that took any certificate, fails here.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <memory>

namespace {

QByteArray environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? QByteArray(value) : QByteArray();
}

struct Answer {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QList<QSslError> sslErrors;
};

// GETs the URL and waits for the whole answer, 20 seconds at most.
Answer get(const QByteArray& url, const QList<QSslCertificate>& trusted = {}) {
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QString::fromUtf8(url)));
    if (!trusted.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(trusted);
        request.setSslConfiguration(tls);
    }
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    Answer answer;
    QObject::connect(reply.get(), &QNetworkReply::sslErrors,
                     [&answer](const QList<QSslError>& errors) { answer.sslErrors = errors; });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(reply->isFinished()) << "no answer from " << url.constData();
    answer.error = reply->error();
    answer.body = reply->readAll();
    return answer;
}

class NetworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(http_.isEmpty() || https_.isEmpty() || certificate_.isNull())
            << "run by tests/libraries/loopback_servers.py, which starts the servers";
    }
    const QByteArray http_ = environment("TAPERLY_TEST_HTTP_URL");
    const QByteArray https_ = environment("TAPERLY_TEST_HTTPS_URL");
    const QSslCertificate certificate_{
        QByteArray::fromBase64(environment("TAPERLY_TEST_HTTPS_CERTIFICATE")), QSsl::Der};
};

TEST_F(NetworkTest, PlainHttpIsAnswered) {
    const Answer answer = get(http_);
    EXPECT_EQ(answer.error, QNetworkReply::NoError);
    EXPECT_EQ(answer.body, "taperly loopback");
}

TEST_F(NetworkTest, HttpsRefusesACertificateNoOneVouchesFor) {
    const Answer answer = get(https_);
    EXPECT_EQ(answer.error, QNetworkReply::SslHandshakeFailedError);
    EXPECT_TRUE(answer.body.isEmpty());
    bool untrusted = false;
    for (const QSslError& error : answer.sslErrors) {
        // The name is right: only the trust in the certificate is missing.
        EXPECT_NE(error.error(), QSslError::HostNameMismatch);
        untrusted = untrusted || ((error.error() == QSslError::SelfSignedCertificate ||
                                   error.error() == QSslError::CertificateUntrusted) &&
                                  error.certificate() == certificate_);
    }
    EXPECT_TRUE(untrusted) << "refused, but not for the server's certificate";
}

TEST_F(NetworkTest, HttpsReachesTheServerWhoseCertificateIsTrusted) {
    const Answer answer = get(https_, {certificate_});
    EXPECT_EQ(answer.error, QNetworkReply::NoError);
    EXPECT_TRUE(answer.sslErrors.isEmpty());
    EXPECT_EQ(answer.body, "taperly loopback");
}

}  // namespace

// Qt Core alone, so that the program runs from the Windows zip's folder too,
// which has no platform plugin but the Windows one.
int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
