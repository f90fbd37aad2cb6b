#include "FormStreamDecoder.h"

#include "DecodeFormText.h"

void FormStreamDecoder::feed(std::string_view piece, std::string& out)
{
    if (!m_pending.empty()) {
        // Complete the held-back escape with a few bytes of the new piece, so
        // that the bulk of the piece is decoded in place without a copy.
        const std::size_t take = std::min<std::size_t>(piece.size(), 8);
        m_pending.append(piece.substr(0, take));
        const std::size_t used = DecodeFormSpan(m_pending, false, out);
        if (used < m_pending.size() - take) {
            // Still not enough to decide: the whole piece was short.
            m_pending.erase(0, used);
            return;
        }
        const std::size_t skip = used - (m_pending.size() - take);
        m_pending.clear();
        piece.remove_prefix(skip);
    }
    const std::size_t used = DecodeFormSpan(piece, false, out);
    m_pending.assign(piece.substr(used));
}

void FormStreamDecoder::finish(std::string& out)
{
    DecodeFormSpan(m_pending, true, out);
    m_pending.clear();
}
