#include <windows.h>

#include <chrono>

#include "uploads/command_runner.h"
#include "uploads/windows_text.h"

namespace taperly {

namespace {

constexpr DWORD kLookMs = 100;

// One argument as the program's C runtime splits its command line again:
// quoted where it holds blanks or quotes, its backslashes before a quote
// doubled.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

class Handle {
  public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

}  // namespace

CommandResult PlatformCommandRunner::run(const std::vector<std::string>& arguments,
                                         std::chrono::milliseconds limit,
                                         const std::string& output_path,
                                         const std::atomic<bool>& cancelled) {
    CommandResult result;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle output(::CreateFileW(wide_text(output_path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    Handle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, 0, nullptr));
    // A job holds it and all it starts, to end them together.
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    std::wstring command_line;
    for (const std::string& argument : arguments) {
        command_line += (command_line.empty() ? L"" : L" ") + quoted(wide_text(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION process{};
    if (!output.valid() || !job.valid() ||
        !::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &process)) {
        result.failure = arguments[0] + " cannot be started (Windows error " +
                         std::to_string(::GetLastError()) + ")";
        return result;
    }
    const Handle process_handle(process.hProcess);
    const Handle thread(process.hThread);
    ::AssignProcessToJobObject(job.get(), process.hProcess);
    ::ResumeThread(process.hThread);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (::WaitForSingleObject(process.hProcess, kLookMs) == WAIT_TIMEOUT) {
        result.cancelled = cancelled;
        result.timed_out = std::chrono::steady_clock::now() >= deadline;
        if (result.cancelled || result.timed_out) {
            ::TerminateJobObject(job.get(), 1);
            ::WaitForSingleObject(process.hProcess, 5000);
            break;
        }
    }
    DWORD code = 0;
    if (!result.timed_out && !result.cancelled && ::GetExitCodeProcess(process.hProcess, &code)) {
        result.exit_code = static_cast<int>(code);
    }
    result.last_line = last_line_of(output_path);
    return result;
}

}  // namespace taperly
