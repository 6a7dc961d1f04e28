#pragma once

#include <string>

#include "recorder/capture/default_source.h"

namespace taperly {

struct SourceChoice {
    // The source to record from; empty when there is none.
    std::string name;
    // Why there is none, in words for the user.
    std::string problem;
    bool operator==(const SourceChoice&) const = default;
};

// The input Taperly records from: the one `wanted` names (a source's exact
// name, else part of its description in any case), else the server's default
// source, else its first input that is not a monitor of what is played.
// Another input than the one asked for is never taken: it would fill takes
// with the wrong sound and look like success.
SourceChoice choose_source(const ServerAnswer& answer, const std::string& wanted);

}  // namespace taperly
