#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/simulator/scenario.h"

namespace taperly::sim {

// "STS,..." in the BC246T layout, twelve fields and a carriage return: the
// display lines padded to 16 characters in fields 1 and 3, squelch in field
// 8 and the mute flag Taperly reads as the reception flag in field 9.
std::string status_reply(const Moment& moment);

// "GID,<type>,<tgid>,<mode>,<system>,<group>,<talkgroup>" and a carriage
// return, or "GID,,,,,," when there are no names to give.
std::string identity_reply(const Identity& identity);
std::string empty_identity_reply();

// Answers commands the way the scanner does. A reception is a run of heard
// moments with the same names; `reception` numbers them from 1 (0: none).
class ScannerResponder {
  public:
    // The reply to `command` (without its carriage return).
    std::string answer(std::string_view command, const Moment& moment, std::uint64_t reception);

  private:
    std::uint64_t named_reception_ = 0;
};

}  // namespace taperly::sim
