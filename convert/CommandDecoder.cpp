#include "CommandDecoder.h"

#include "DecodeFormText.h"
#include "app/framework/WaitCursor.h"

namespace {
CommandDecoder::DecodeFunction g_decoder = &DecodeFormText;
}

CommandDecoder::Override::Override(DecodeFunction decoder)
    : ScopedOverride<DecodeFunction>(g_decoder, decoder)
{}

std::string CommandDecoder::decode(std::string_view text)
{
    WaitCursor wait;
    return g_decoder(text);
}
