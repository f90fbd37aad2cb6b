#pragma once

#include "FormSink.h"

#include <string>

// Writes a decoded form as the window shows it: FormNameSeparator after a
// name, FormFieldBreak between fields. DecodeFormText writes the same layout
// in place, from the same table.
class FormLayoutSink final : public FormSink
{
public:
    explicit FormLayoutSink(std::string& out) : m_out(out) {}

    void text(std::string_view decoded) override;
    void nameEnd() override;
    void fieldBreak() override;

private:
    std::string& m_out;
};
