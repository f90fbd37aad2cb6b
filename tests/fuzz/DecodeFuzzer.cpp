// Differential fuzzing of the decoders, with the kind of scanning (FormScanner)
// that the input chooses: DecodeFormText against the plain reference
// decoder, and the streaming decoder, cut where the fuzzer chooses, against
// DecodeFormText; the fields of the text, split in the same pieces (one by
// one and in runs) and joined back, and the layout that FormLayoutSink writes
// of them, against
// DecodeFormText; and those of the standard decoder against its own plain
// reference, as the window's layout and as fields. Any difference aborts.
#include "ReferenceDecoder.h"
#include "convert/DecodeFormText.h"
#include "convert/FormFieldSplitter.h"
#include "convert/FormLayoutSink.h"
#include "convert/FormScanner.h"
#include "convert/FormStreamDecoder.h"
#include "convert/StandardFormDecoder.h"

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
    // The first four bytes choose where the streaming decoders' pieces end,
    // the fifth the kind of scanning.
    std::uint8_t head[5] = {1, 1, 1, 1, 0};
    const std::size_t headSize = size < 5 ? size : 5;
    std::memcpy(head, data, headSize);
    const std::uint8_t* cuts = head;
    const std::string_view text(reinterpret_cast<const char*>(data) + headSize, size - headSize);
    static const std::vector<FormScanner::Target> targets = FormScanner::targets();
    const FormScanner::Scope scope(targets[head[4] % targets.size()]);

    const std::string decoded = DecodeFormText(text);
    if (decoded != ReferenceDecode(text))
        mismatch("DecodeFormText differs from the reference", text);
    if (decoded.size() > kMaxDecodeGrowth * text.size())
        mismatch("output more than four times the input", text);
    if (text.find_first_of(std::string_view("%&+=\0", 5)) == std::string_view::npos &&
        decoded != text)
        mismatch("plain text changed", text);

    FormStreamDecoder stream, streamToSink;
    StandardFormDecoder standard, standardToSink;
    std::string streamed, standardStreamed, sunk, standardSunk;
    FormLayoutSink layout(sunk), standardLayout(standardSunk);
    std::vector<FormField> fields, standardFields;
    // The fields come one by one and in runs; a run's names and values, back
    // to back, are its bytes.
    const auto splitterInto = [&text](std::vector<FormField>& into, FormDecoding decoding) {
        const auto add = [&into](const FormFieldView& field) {
            into.push_back({std::string(field.name), std::string(field.value), field.named});
        };
        return FormFieldSplitter(add, decoding,
                                 [&text, add](const FormFieldSplitter::FieldRun& run) {
                                     std::string joined;
                                     for (const FormFieldView& field : run.fields) {
                                         joined.append(field.name).append(field.value);
                                         add(field);
                                     }
                                     if (joined != run.bytes)
                                         mismatch("a run's fields are not its bytes", text);
                                 });
    };
    FormFieldSplitter splitter = splitterInto(fields, FormDecoding::Faithful);
    FormFieldSplitter standardSplitter = splitterInto(standardFields, FormDecoding::Standard);
    std::size_t at = 0;
    for (int i = 0; at < text.size(); ++i) {
        // Short pieces cut escapes anywhere; long ones let the decoders scan in blocks.
        const std::uint8_t cut = cuts[i % 4];
        const std::string_view piece = text.substr(at, cut < 128 ? 1 + cut % 17 : 8 * cut - 1000);
        stream.feed(piece, streamed);
        standard.feed(piece, standardStreamed);
        streamToSink.feed(piece, layout);
        standardToSink.feed(piece, standardLayout);
        splitter.feed(piece);
        standardSplitter.feed(piece);
        at += piece.size();
    }
    stream.finish(streamed);
    standard.finish(standardStreamed);
    streamToSink.finish(layout);
    standardToSink.finish(standardLayout);
    splitter.finish();
    standardSplitter.finish();
    if (streamed != decoded)
        mismatch("streaming decoder differs from DecodeFormText", text);
    if (FormFieldSplitter::join(fields) != decoded || sunk != decoded)
        mismatch("fields joined back differ from DecodeFormText", text);
    const std::string standardDecoded = ReferenceStandardDecode(text);
    if (standardStreamed != standardDecoded)
        mismatch("standard decoder differs from its reference", text);
    if (FormFieldSplitter::join(standardFields) != standardDecoded ||
        standardSunk != standardDecoded)
        mismatch("standard decoder's fields joined back differ from its reference", text);
    return 0;
}
