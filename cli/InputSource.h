#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

// The inputs of a run, one at a time, each named only as it is reached, so
// that any number of them take one descriptor at a time. A name is a file,
// or "-" for standard input. With folders allowed (for mail), a folder named
// there stands for its mails:
// - a Maildir (a folder with cur/ and new/) for the files of cur/ and new/ in
//   the order they were delivered, which their names tell (the seconds and
//   microseconds they begin with, then the name itself);
// - any other folder for its files, in the byte order of their names.
// Names that begin with "." are passed over, and so are entries that are
// neither files nor folders. Subfolders are read only when `recursive`, each
// where its name falls, but not through a symbolic link; a Maildir's tmp/ never,
// and its Maildir++ folders (".Name" with cur/ and new/) after its mails.
class InputSource
{
public:
    struct Input
    {
        std::string name;
        bool standardInput = false;
    };

    InputSource(const std::vector<std::string>& names, bool folders, bool recursive);

    // The next input, or nothing after the last. Throws FileError for a
    // folder that cannot be read; the inputs after it still follow.
    std::optional<Input> next();

private:
    struct Pending
    {
        std::string name;
        bool inFolder; // found in a folder, rather than named
    };

    void expand(const std::string& folder);

    std::deque<Pending> m_pending;
    bool m_folders;
    bool m_recursive;
};
