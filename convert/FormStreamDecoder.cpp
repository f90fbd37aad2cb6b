#include "FormStreamDecoder.h"

namespace {
std::size_t decodeSpan(std::string_view in, bool atEnd, std::string& out,
                       std::vector<FormSplit>* splits)
{
    return splits ? DecodeFormSpan(in, atEnd, out, *splits) : DecodeFormSpan(in, atEnd, out);
}
} // namespace

void FormStreamDecoder::feed(std::string_view piece, std::string& out,
                             std::vector<FormSplit>* splits)
{
    m_started |= !piece.empty();
    if (!m_pending.empty()) {
        // Complete the held-back escape with a few bytes of the new piece, so
        // that the bulk of the piece is decoded in place without a copy.
        const std::size_t take = std::min<std::size_t>(piece.size(), 8);
        m_pending.append(piece.substr(0, take));
        const std::size_t used = decodeSpan(m_pending, false, out, splits);
        if (used < m_pending.size() - take) {
            // Still not enough to decide: the whole piece was short.
            m_pending.erase(0, used);
            return;
        }
        const std::size_t skip = used - (m_pending.size() - take);
        m_pending.clear();
        piece.remove_prefix(skip);
    }
    const std::size_t used = decodeSpan(piece, false, out, splits);
    m_pending.assign(piece.substr(used));
}

bool FormStreamDecoder::finish(std::string& out, std::vector<FormSplit>* splits)
{
    decodeSpan(m_pending, true, out, splits);
    m_pending.clear();
    const bool started = m_started;
    m_started = false;
    return started;
}
