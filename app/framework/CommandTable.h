#pragma once

#include <cstddef>

// One entry of a command map: the command's identifier, the handler that
// serves it, and the name that the report of a failure gives the command.
template <class Handler> struct CommandEntry
{
    int id;
    Handler handler;
    const char* name;
};

// The entry for `id` in `table`, or nullptr when the table has none.
template <class Handler, std::size_t N>
const CommandEntry<Handler>* FindCommand(const CommandEntry<Handler> (&table)[N], int id)
{
    for (const CommandEntry<Handler>& entry : table)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

// A command of the application object: a free function.
using AppCommand = CommandEntry<void (*)()>;
