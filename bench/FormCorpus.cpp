#include "FormCorpus.h"

#include <random>

std::string MakeFormCorpus(std::size_t bytes, unsigned seed)
{
    static const char* const words[] = {"the",    "order", "blue",    "cup",    "size", "delivery",
                                        "please", "send",  "address", "street", "name", "a"};
    static const char* const escapes[] = {"%21", "%3F", "%2C", "%40", "%E9", "%0D%0A",
                                          "%27", "%2F", "%3A", "%26", "%25", "%22"};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> word(0, 11), escape(0, 11), roll(0, 99);
    std::string text;
    text.reserve(bytes + 64);
    int field = 0;
    while (text.size() < bytes) {
        if (!text.empty())
            text += '&';
        text += "field" + std::to_string(field++) + "=";
        const int count = 1 + roll(rng) % 8;
        for (int i = 0; i < count; ++i) {
            if (i)
                text += '+';
            text += words[word(rng)];
            if (roll(rng) < 25)
                text += escapes[escape(rng)];
        }
    }
    text.resize(bytes);
    return text;
}
