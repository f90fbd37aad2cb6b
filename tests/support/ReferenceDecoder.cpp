#include "ReferenceDecoder.h"

#include <algorithm>
#include <cctype>
#include <string>

std::string ReferenceDecode(std::string_view text)
{
    std::string result;
    const std::size_t n = text.size();
    std::size_t p = 0;
    auto at = [&](std::size_t i) {
        return i < n ? static_cast<int>(static_cast<unsigned char>(text[i])) : -1;
    };
    while (p < n) {
        const int c = at(p);
        if (c == 0) {
            p += 1;
        } else if (c == '&') {
            result += "\r\n\r\n";
            p += 1;
        } else if (c == '+') {
            result += " ";
            p += 1;
        } else if (c == '=') {
            result += " :: ";
            p += 1;
        } else if (c == '%') {
            const int d = at(p + 1);
            const int s = at(p + 2);
            if (d == '0') {
                if (s == 'D') {
                    result += "\r\n";
                    p += 6;
                } else {
                    p += 3;
                }
            } else if (d == '2') {
                const char symbols[] = "!-#$%&'()"; // "%22" gives nothing
                if (s >= '1' && s <= '9' && s != '2')
                    result += symbols[s - '1'];
                p += 3;
            } else if (d == '3') {
                if (s == 'F')
                    result += "?";
                p += 3;
            } else if (d == '5') {
                if (s == 'E')
                    result += "^";
                p += 3;
            } else if (d == '6') {
                if (s == '0')
                    result += "`";
                p += 3;
            } else if (d == '7') {
                if (s == 'E')
                    result += "~";
                p += 3;
            } else {
                p += 2;
            }
        } else {
            result += static_cast<char>(c);
            p += 1;
        }
    }
    return result;
}

namespace {
std::string unescape(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto hex = [&](std::size_t at) {
            return at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at]));
        };
        if (text[i] == '+') {
            result += ' ';
        } else if (text[i] == '%' && hex(i + 1) && hex(i + 2)) {
            result += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}
} // namespace

std::string ReferenceStandardDecode(std::string_view text)
{
    std::string result;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('&', start), text.size());
        const std::string_view field = text.substr(start, end - start);
        if (!field.empty()) {
            // Every field writes " :: ", so only the first finds nothing before it.
            if (!result.empty())
                result += "\r\n\r\n";
            const std::size_t equals = std::min(field.find('='), field.size());
            result += unescape(field.substr(0, equals)) +
                      " :: " + unescape(field.substr(std::min(equals + 1, field.size())));
        }
        start = end + 1;
    }
    return result;
}
