#include "tools/simulator/sim_options.h"

#include <charconv>

namespace taperly::sim {

const char* const kSimHelp = R"(Usage: taperly-scanner-sim --scenario FILE [options]

Plays a BC246T/SC230 scanner on a pseudo-terminal, for trying Taperly without
a scanner. Point a COM port at the line it opens, e.g.
    TAPERLY_COM1=/dev/pts/5 taperly

Options:
  --scenario FILE   the timeline to play (format below); required
  --speed BPS       the line speed in bit/s that replies are paced at
                    (default 9600; a 115-byte status reply takes 120 ms)
  --log FILE        log every command received to FILE (default: standard
                    error), one line each: seconds since start, a blank, the
                    bytes with escapes, e.g. "1.204 STS\r"
  --print-path      print the line's device path (the link's, with --link)
                    as the first line of standard output
  --link PATH       keep a symbolic link at PATH to the line's device, as
                    /dev/serial/by-id/ does; it goes while the line is
                    unplugged and comes back pointing at the new device
  --loop            play the scenario again from the top after its end
                    (default: the last moment holds)
  --start-now       start the scenario's clock at once (default: with the
                    first byte received, so it lines up with the first poll)
  --help            show this text

Answers: "STS\r" gets the current moment's status reply, "GID\r" its
identity reply, "KEY,...\r" gets "KEY,OK\r", anything else "ERR\r".
Status replies have the BC246T layout
    STS,<line1>,<mode1>,<line2>,<mode2>,<icons1>,<icons2>,,<squelch>,<mute>,3,0
with both lines padded to 16 characters; while a transmission is heard
squelch is 1 and mute (field 9) is 0, otherwise squelch 0 and mute 1.
Identity replies are GID,<type>,<tgid>,0,<system>,<group>,<talkgroup> while a
named transmission is heard and GID,,,,,, otherwise.

Scenario format: one step a line; blank lines and lines starting with # are
skipped. A moment is
    SECONDS | LINE 1 | LINE 2 | HEARD [| SYSTEM | GROUP | TALKGROUP [| OPTIONS]]
  SECONDS    how long it lasts, more than 0 (e.g. 2.5)
  LINE 1/2   display texts, at most 16 characters; blanks around a field are
             dropped unless it is in double quotes: " Press Any Key  "
  HEARD      yes while a transmission is heard, otherwise no
  names      what GID reports while it is heard
  OPTIONS    blank-separated: once (names only in the first GID of each
             reception, then GID,,,,,, as later scanners do), tgid=N
             (default 0), type=T (default TRK); a reception is a run of
             heard moments with the same names
A text in double quotes takes the escapes of raw (below), so "A\x7CB" is A|B;
an unquoted text cannot hold |. A comma in a text goes out as it is and
splits the reply's fields, as it would from the scanner.
Steps that take time as a moment does, showing the moment before them:
    silent SECONDS  commands are taken in and none is answered, as from a
                    scanner switched off or paused mid-call
    unplug SECONDS  the line hangs up and its device goes; after SECONDS a
                    new pseudo-terminal (another device path) takes its place
Other steps take no time:
    speed [BPS] the scanner's remote speed from here on (without BPS, the
                --speed the line is paced at): while the line is set to
                another speed, replies arrive as garbage of the same length
                with no carriage return
    raw BYTES   put BYTES on the line (after any reply still going out);
                escapes \r \n \t \0 \\ \xHH, e.g. raw STS,Half\0garbage
    close       close the line and exit, once the bytes queued have gone
                out and the other end has read them (or 2 s have passed:
                closing a pseudo-terminal throws away what is unread)
Example:
    # quiet, then a call on North Ops, then the line ends
    2   | State Net | SCAN       | no
    3.5 | State Net | North Ops  | yes | State Net | North Area | Ops | once
    1   | State Net | SCAN       | no
    close
)";

namespace {

int parse_speed(const std::string& text) {
    int speed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), speed);
    if (error != std::errc() || end != text.data() + text.size() || speed < 1) {
        throw UsageError("--speed needs a whole number of bit/s above 0, not \"" + text + "\"");
    }
    return speed;
}

}  // namespace

SimOptions parse_sim_options(const std::vector<std::string>& arguments) {
    SimOptions options;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& option = arguments[at];
        auto value = [&]() -> const std::string& {
            if (at + 1 == arguments.size()) {
                throw UsageError(option + " needs a value");
            }
            return arguments[++at];
        };
        if (option == "--scenario") {
            options.scenario_path = value();
        } else if (option == "--speed") {
            options.bits_per_second = parse_speed(value());
        } else if (option == "--log") {
            options.log_path = value();
        } else if (option == "--link") {
            options.link_path = value();
        } else if (option == "--print-path") {
            options.print_path = true;
        } else if (option == "--loop") {
            options.loop = true;
        } else if (option == "--start-now") {
            options.start_now = true;
        } else if (option == "--help" || option == "-h") {
            options.help = true;
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    if (!options.help && options.scenario_path.empty()) {
        throw UsageError("--scenario FILE is required");
    }
    return options;
}

}  // namespace taperly::sim
