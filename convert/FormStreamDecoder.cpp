#include "FormStreamDecoder.h"

namespace {
std::size_t decodeSpan(std::string_view in, bool atEnd, std::string& out,
                       std::vector<FormSplit>* marks)
{
    return marks ? DecodeFormSpan(in, atEnd, out, *marks) : DecodeFormSpan(in, atEnd, out);
}
} // namespace

void FormStreamDecoder::decode(std::string_view piece, std::string& out,
                               std::vector<FormSplit>& marks)
{
    decodePiece(piece, out, &marks);
}

bool FormStreamDecoder::decodeRest(std::string& out, std::vector<FormSplit>& marks)
{
    return decodeHeld(out, &marks);
}

void FormStreamDecoder::decodeLayout(std::string_view piece, std::string& out)
{
    decodePiece(piece, out, nullptr);
}

bool FormStreamDecoder::decodeLayoutRest(std::string& out)
{
    return decodeHeld(out, nullptr);
}

void FormStreamDecoder::decodePiece(std::string_view piece, std::string& out,
                                    std::vector<FormSplit>* marks)
{
    m_started |= !piece.empty();
    if (!m_pending.empty()) {
        // Complete the held-back escape with a few bytes of the new piece, so
        // that the bulk of the piece is decoded in place without a copy.
        const std::size_t take = std::min<std::size_t>(piece.size(), 8);
        m_pending.append(piece.substr(0, take));
        const std::size_t used = decodeSpan(m_pending, false, out, marks);
        if (used < m_pending.size() - take) {
            // Still not enough to decide: the whole piece was short.
            m_pending.erase(0, used);
            return;
        }
        const std::size_t skip = used - (m_pending.size() - take);
        m_pending.clear();
        piece.remove_prefix(skip);
    }
    const std::size_t used = decodeSpan(piece, false, out, marks);
    m_pending.assign(piece.substr(used));
}

bool FormStreamDecoder::decodeHeld(std::string& out, std::vector<FormSplit>* marks)
{
    decodeSpan(m_pending, true, out, marks);
    m_pending.clear();
    const bool started = m_started;
    m_started = false;
    return started;
}
