#pragma once

// The call services' stand-ins (call_servers.py) as a test starts them on a
// loopback port (call_server_process.h), and what they received.

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "call_server_process.h"
#include "support/temp_folder.h"
#include "tools/launch/wait_until.h"

namespace taperly::testing {

// One request as a service stand-in received it.
struct ReceivedCall {
    int n = 0;
    std::string service;
    // "200 Call imported successfully.", "fault 500", ...
    std::string answered;
    std::string method;
    std::string path;
    std::string content_type;
    // When it came, in seconds since 1970.
    double time = 0;
    // Whether the service kept the call (not a duplicate it dropped, nor
    // one a fault refused).
    bool kept = false;
    std::map<std::string, std::string> fields;
    // The file part: its field, type, where it was saved, the name it came under.
    std::string file_field;
    std::string file_type;
    std::string file_saved;
    std::string file_name;
};

class CallServer {
  public:
    // `options`: call_servers.py's, "--talkgroups", "1,2", ...
    explicit CallServer(const std::vector<std::string>& options = {})
        : process_(start_call_server(options)) {}

    int port() const { return process_->port(); }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port()); }
    const std::string& folder() const { return process_->folder(); }
    // Faults for the next requests, a line each (see call_servers.py).
    void faults(const std::string& lines) const {
        std::ofstream(TempFolder::native(folder() + "/faults.txt"), std::ios::binary) << lines;
    }
    // Ends it: nothing listens on its port afterwards.
    void stop() { process_->stop(); }

    std::vector<ReceivedCall> calls() const {
        std::vector<ReceivedCall> calls;
        std::istringstream lines(read_shared(folder() + "/calls.txt"));
        ReceivedCall call;
        for (std::string line; std::getline(lines, line);) {
            const std::string word = line.substr(0, line.find(' '));
            const std::string rest =
                unescaped(line.size() > word.size() ? line.substr(word.size() + 1) : "");
            if (word == "call") {
                call = ReceivedCall{};
                call.n = std::stoi(rest);
            } else if (word == "service") {
                call.service = rest;
            } else if (word == "answered") {
                call.answered = rest;
            } else if (word == "method") {
                call.method = rest;
            } else if (word == "path") {
                call.path = rest;
            } else if (word == "content_type") {
                call.content_type = rest;
            } else if (word == "time") {
                call.time = std::stod(rest);
            } else if (word == "kept") {
                call.kept = rest == "yes";
            } else if (word == "field") {
                const auto equals = rest.find('=');
                call.fields[rest.substr(0, equals)] = rest.substr(equals + 1);
            } else if (word == "file") {
                std::istringstream parts(rest);
                parts >> call.file_field >> call.file_type >> call.file_saved;
                std::getline(parts >> std::ws, call.file_name);
                call.file_saved = process_->local_path(call.file_saved);
            } else if (word == "end") {
                calls.push_back(call);
            }
        }
        return calls;
    }

    // Waits until `count` requests have come; false when they did not
    // within `limit`.
    bool wait_for_calls(std::size_t count, std::chrono::milliseconds limit) const {
        return launch::wait_until([&] { return calls().size() >= count; }, limit);
    }

  private:
    static std::string unescaped(const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) {
                out += text[++i] == 'n' ? '\n' : text[i];
            } else {
                out += text[i];
            }
        }
        return out;
    }

    std::unique_ptr<CallServerProcess> process_;
};

}  // namespace taperly::testing
