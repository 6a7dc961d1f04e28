#include <chrono>

#include "call_server_process.h"
#include "support/temp_folder.h"
#include "tools/launch/child_process.h"

namespace taperly::testing {

namespace {

// The stand-in as this process's child, in a temporary folder of its own.
class ChildServer : public CallServerProcess {
  public:
    explicit ChildServer(const std::vector<std::string>& options) {
        std::vector<std::string> command{"python3", TAPERLY_CALL_SERVERS, folder_.path()};
        command.insert(command.end(), options.begin(), options.end());
        launch::ChildOptions child;
        child.read_output = true;
        child.error_path = folder_.file("stderr.txt");
        process_ = std::make_unique<launch::ChildProcess>(command, child);
        port_ = std::stoi("0" + process_->read_line(std::chrono::seconds(20)));
    }

    int port() const override { return port_; }
    const std::string& folder() const override { return folder_.path(); }
    std::string local_path(const std::string& server_path) const override { return server_path; }
    void stop() override { process_->stop(); }

  private:
    TempFolder folder_;
    std::unique_ptr<launch::ChildProcess> process_;
    int port_ = 0;
};

}  // namespace

std::unique_ptr<CallServerProcess> start_call_server(const std::vector<std::string>& options) {
    return std::make_unique<ChildServer>(options);
}

}  // namespace taperly::testing
