#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

// Where a writer's bytes go on their way to the output. Small writes are
// gathered into pieces of kPiece, each sent on as it fills; a write that
// large goes out as it is, without a copy. A writer that makes its bytes in
// place, as a decoder does, appends them to gathered() and then calls
// filled(), so that they are never copied on the way.
class WriterSink
{
public:
    static constexpr std::size_t kPiece = 64 * 1024;
    using Send = std::function<void(std::string_view)>;

    explicit WriterSink(Send send) : m_send(std::move(send)) {}

    void operator()(std::string_view bytes)
    {
        if (m_gathered.empty() && bytes.size() >= kPiece)
            return m_send(bytes);
        m_gathered += bytes;
        filled();
    }

    std::string& gathered() { return m_gathered; }
    void filled()
    {
        if (m_gathered.size() >= kPiece)
            flush();
    }

    // Sends what is gathered, however little.
    void flush();

private:
    Send m_send;
    std::string m_gathered;
};
