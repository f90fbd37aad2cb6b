#pragma once

#include "FormBody.h"

#include <memory>

class FileReader;
class SeekableInput;

// The text of an input file, as Quick Convert reads one: its bytes up to its
// first NUL byte.
class FileText : public FormText
{
public:
    // Read once, as it streams in from `in`.
    explicit FileText(FileReader& in) : m_reader(&in) {}
    // Read as often as asked.
    explicit FileText(std::unique_ptr<SeekableInput> input);
    ~FileText() override;

    // Throws FileError when the file cannot be read.
    void read(const Piece& piece) override;

private:
    FileReader* m_reader = nullptr;
    std::unique_ptr<SeekableInput> m_input;
};
