#!/bin/sh
# formtidy-decode stands on the decoder and the file classes alone: it loads
# no Qt library at all, and carries none of the window's resources. Nor does
# it load GMime, GLib, SQLite or libcurl when it starts: its library of
# formats brings them when a run asks for mail, CSV, JSON or a database.
# Usage: check_decode_links.sh FORMTIDY_DECODE [BUILD_NINJA]
set -eu
tool=$1
status=0
libs=$(ldd "$tool")
for lib in Qt6Core Qt6Gui Qt6Widgets Qt6Network Qt6OpenGL gmime glib sqlite3 curl; do
    if printf '%s\n' "$libs" | grep -q "lib$lib\|$lib"; then
        echo "formtidy-decode loads $lib"
        status=1
    fi
done
if nm -C "$tool" | grep -q 'qInitResources\|qrc_'; then
    echo "formtidy-decode carries Qt resources"
    status=1
fi
# The link command itself, where Ninja wrote it down.
if [ $# -ge 2 ] && [ -f "$2" ]; then
    line=$(awk '/^build ([^ :]*\/)?formtidy-decode: /{ found = 1; print; next } found && /LINK_LIBRARIES/{ print } found && /^$/{ exit }' "$2")
    if printf '%s\n' "$line" | grep -q 'Qt6\|formtidy_gui\|qrc_'; then
        echo "formtidy-decode's link line names the window side: $line"
        status=1
    fi
fi
[ "$status" -eq 0 ] && echo "formtidy-decode links: $(printf '%s\n' "$libs" | awk '{ print $1 }' | tr '\n' ' ')"
exit "$status"
