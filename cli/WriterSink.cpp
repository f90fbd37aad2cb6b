#include "WriterSink.h"

void WriterSink::flush()
{
    m_send(m_gathered);
    m_gathered.clear();
}
