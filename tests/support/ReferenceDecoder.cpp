#include "ReferenceDecoder.h"

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
