#include "FormSink.h"

#include "DecodeFormText.h"

void FormSink::laterSeparator()
{
    text(FormNameSeparator());
}

void FormSink::piece(std::string_view decoded, const FormSplit* first, const FormSplit* last,
                     bool& inValue)
{
    handOn(decoded, 0, decoded.size(), first, last, inValue);
}

void FormSink::handOn(std::string_view decoded, std::size_t from, std::size_t to,
                      const FormSplit* first, const FormSplit* last, bool& inValue)
{
    for (const FormSplit* mark = first; mark != last; ++mark) {
        if (mark->at > from)
            text(decoded.substr(from, mark->at - from));
        from = mark->at;
        if (mark->fieldBreak) {
            fieldBreak();
            inValue = false;
        } else if (!inValue) {
            nameEnd();
            inValue = true;
        } else {
            laterSeparator();
        }
    }
    if (to > from)
        text(decoded.substr(from, to - from));
}
