#pragma once

#include <string>

namespace taperly {

// UTF-8, as Taperly keeps texts, for Windows' wide calls.
std::wstring wide_text(const std::string& utf8);

}  // namespace taperly
