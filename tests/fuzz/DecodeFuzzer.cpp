// Differential fuzzing of the decoder: DecodeFormText against the plain
// reference decoder, and the streaming decoder, cut where the fuzzer chooses,
// against DecodeFormText; the fields of the text, split in the same pieces and
// joined back, against DecodeFormText. Any difference aborts.
#include "ReferenceDecoder.h"
#include "convert/DecodeFormText.h"
#include "convert/FormFieldSplitter.h"
#include "convert/FormStreamDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {
[[noreturn]] void mismatch(const char* what, std::string_view text)
{
    std::fprintf(stderr, "mismatch: %s (input of %zu bytes)\n", what, text.size());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first four bytes choose where the streaming decoder's pieces end.
    std::uint8_t cuts[4] = {1, 1, 1, 1};
    const std::size_t head = size < 4 ? size : 4;
    std::memcpy(cuts, data, head);
    const std::string_view text(reinterpret_cast<const char*>(data) + head, size - head);

    const std::string decoded = DecodeFormText(text);
    if (decoded != ReferenceDecode(text))
        mismatch("DecodeFormText differs from the reference", text);
    if (decoded.size() > kMaxDecodeGrowth * text.size())
        mismatch("output more than four times the input", text);
    if (text.find_first_of(std::string_view("%&+=\0", 5)) == std::string_view::npos &&
        decoded != text)
        mismatch("plain text changed", text);

    FormStreamDecoder stream;
    std::string streamed;
    std::vector<FormField> fields;
    FormFieldSplitter splitter([&fields](FormField& field) { fields.push_back(field); });
    std::size_t at = 0;
    for (int i = 0; at < text.size(); ++i) {
        const std::size_t piece = 1 + cuts[i % 4] % 17;
        stream.feed(text.substr(at, piece), streamed);
        splitter.feed(text.substr(at, piece));
        at += piece;
    }
    stream.finish(streamed);
    splitter.finish();
    if (streamed != decoded)
        mismatch("streaming decoder differs from DecodeFormText", text);
    if (FormFieldSplitter::join(fields) != decoded)
        mismatch("fields joined back differ from DecodeFormText", text);
    return 0;
}
