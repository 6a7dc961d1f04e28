#include "tools/simulator/byte_escapes.h"

namespace taperly::sim {

namespace {

int hex_value(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string unescape_bytes(std::string_view text) {
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            bytes.push_back(text[at]);
            continue;
        }
        if (++at == text.size()) {
            throw EscapeError("a backslash ends the bytes; write \\\\ for a backslash");
        }
        switch (text[at]) {
            case 'r':
                bytes.push_back('\r');
                break;
            case 'n':
                bytes.push_back('\n');
                break;
            case 't':
                bytes.push_back('\t');
                break;
            case '0':
                bytes.push_back('\0');
                break;
            case '\\':
                bytes.push_back('\\');
                break;
            case 'x': {
                const int high = at + 1 < text.size() ? hex_value(text[at + 1]) : -1;
                const int low = at + 2 < text.size() ? hex_value(text[at + 2]) : -1;
                if (high < 0 || low < 0) {
                    throw EscapeError("\\x needs two hex digits");
                }
                bytes.push_back(static_cast<char>(high * 16 + low));
                at += 2;
                break;
            }
            default:
                throw EscapeError(std::string("unknown escape \\") + text[at]);
        }
    }
    return bytes;
}

std::string escape_bytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        switch (byte) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\0':
                text += "\\0";
                break;
            case '\\':
                text += "\\\\";
                break;
            default:
                if (value >= 0x20 && value < 0x7F) {
                    text.push_back(byte);
                } else {
                    text += "\\x";
                    text.push_back(kHex[value >> 4]);
                    text.push_back(kHex[value & 0x0F]);
                }
        }
    }
    return text;
}

}  // namespace taperly::sim
