#include <QTcpSocket>
#include <cstdlib>

#include "call_server_process.h"

namespace taperly::testing {

namespace {

// One line to call_server_keeper.py, on the loopback port it named in
// TAPERLY_CALL_SERVER_KEEPER, and its answer; empty when it cannot be asked.
std::string ask_keeper(const std::string& line) {
    const char* port = std::getenv("TAPERLY_CALL_SERVER_KEEPER");
    if (port == nullptr) {
        return {};
    }
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", static_cast<quint16>(std::atoi(port)));
    if (!socket.waitForConnected(10000)) {
        return {};
    }
    socket.write((line + "\n").c_str());
    socket.waitForBytesWritten(10000);
    // A stand-in with a certificate to make takes a while to start.
    while (!socket.canReadLine() && socket.waitForReadyRead(30000)) {
    }
    return socket.readLine().trimmed().toStdString();
}

// The stand-in as the keeper's child, in a folder under Linux's temporary
// folder, which Wine shows as drive Z:.
class KeptServer : public CallServerProcess {
  public:
    explicit KeptServer(const std::vector<std::string>& options) {
        std::string line = "start";
        for (const std::string& option : options) {
            line += " " + option;
        }
        const std::string answer = ask_keeper(line);
        const auto blank = answer.find(' ');
        if (blank != std::string::npos) {
            port_ = std::atoi(answer.substr(0, blank).c_str());
            server_folder_ = answer.substr(blank + 1);
            folder_ = local_path(server_folder_);
        }
    }
    ~KeptServer() override {
        if (port_ > 0) {
            ask_keeper("end " + std::to_string(port_));
        }
    }

    int port() const override { return port_; }
    const std::string& folder() const override { return folder_; }
    std::string local_path(const std::string& server_path) const override {
        return "Z:" + server_path;
    }
    void stop() override { ask_keeper("stop " + std::to_string(port_)); }

  private:
    int port_ = 0;
    std::string server_folder_;
    std::string folder_;
};

}  // namespace

std::unique_ptr<CallServerProcess> start_call_server(const std::vector<std::string>& options) {
    return std::make_unique<KeptServer>(options);
}

}  // namespace taperly::testing
