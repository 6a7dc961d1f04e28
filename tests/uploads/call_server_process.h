#pragma once

// How a test starts and ends a call services' stand-in (call_servers.py):
// as its own child on Linux, through call_server_keeper.py where the test
// cannot start a Linux program (Windows, under Wine). The build file picks
// one of call_server_child.cpp and call_server_keeper.cpp.

#include <memory>
#include <string>
#include <vector>

namespace taperly::testing {

class CallServerProcess {
  public:
    virtual ~CallServerProcess() = default;
    // 0 when it could not be started.
    virtual int port() const = 0;
    // Where it keeps what it received, as this process names it.
    virtual const std::string& folder() const = 0;
    // A path the stand-in wrote (a sound it saved), as this process names it.
    virtual std::string local_path(const std::string& server_path) const = 0;
    // Ends it: nothing listens on its port afterwards.
    virtual void stop() = 0;
};

// `options`: call_servers.py's.
std::unique_ptr<CallServerProcess> start_call_server(const std::vector<std::string>& options);

}  // namespace taperly::testing
