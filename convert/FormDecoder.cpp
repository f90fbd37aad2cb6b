#include "FormDecoder.h"

#include "FormStreamDecoder.h"
#include "StandardFormDecoder.h"

std::unique_ptr<FormDecoder> FormDecoder::create(FormDecoding decoding)
{
    if (decoding == FormDecoding::Standard)
        return std::make_unique<StandardFormDecoder>();
    return std::make_unique<FormStreamDecoder>();
}
