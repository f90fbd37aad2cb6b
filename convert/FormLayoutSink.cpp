#include "FormLayoutSink.h"

#include "DecodeFormText.h"

void FormLayoutSink::text(std::string_view decoded)
{
    m_out += decoded;
}

void FormLayoutSink::nameEnd()
{
    m_out += FormNameSeparator();
}

void FormLayoutSink::fieldBreak()
{
    m_out += FormFieldBreak();
}
