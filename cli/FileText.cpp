#include "FileText.h"

#include "SeekableInput.h"

#include "files/FileError.h"
#include "files/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <unistd.h>

namespace {
constexpr std::size_t kPiece = 64 * 1024;
} // namespace

FileText::FileText(std::unique_ptr<SeekableInput> input) : m_input(std::move(input)) {}

FileText::~FileText() = default;

void FileText::read(const Piece& piece)
{
    // Read as cat reads, in fewer calls than pieces.
    std::string buffer(128 * 1024, '\0');
    off_t at = m_input ? m_input->start() : 0;
    for (;;) {
        std::size_t got = 0;
        if (m_reader) {
            got = m_reader->read(buffer.data(), buffer.size());
        } else {
            const ssize_t n = ::pread(m_input->fd(), buffer.data(), buffer.size(), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw FileError::fromErrno("read", m_input->name(), errno);
            got = static_cast<std::size_t>(n);
            at += n;
        }
        if (got == 0)
            return;
        // Handed on in smaller pieces, whose decoding stays in the caches.
        for (std::size_t from = 0; from < got; from += kPiece) {
            const std::string_view text(buffer.data() + from, std::min(kPiece, got - from));
            const std::size_t nul = text.find('\0');
            if (!piece(text.substr(0, nul)) || nul != std::string_view::npos)
                return;
        }
    }
}
