#pragma once

#include <string>

// Removes the files that a save has given a name but not finished with (a
// temporary file, a backup) when SIGINT, SIGTERM or SIGHUP ends the process,
// and then lets the signal end it with its usual status.
//
// The names are kept in storage set aside beforehand, so that the handler
// needs nothing but unlinkat(2) and the re-raising of the signal, both safe in
// a signal handler. A Hold keeps a signal waiting while a file is in a state
// that its removal would spoil.
class SignalCleanup
{
public:
    // Handles the three signals, leaving alone one that is ignored (as under
    // nohup). Harmless to call again.
    static void install();

    // A file that a signal removes for as long as it is watched.
    class File
    {
    public:
        File() = default;
        ~File() { release(); }
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        // Watches the file `name` (at most 255 bytes) in the folder `dir`,
        // which must stay open while it is watched.
        void watch(int dir, const std::string& name);
        // Stops watching it; the file stays.
        void release();

    private:
        int m_slot = -1;
    };

    // While one lives, a signal that arrives waits; when the last one goes,
    // the signal does what it would have done.
    class Hold
    {
    public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
    };
};
