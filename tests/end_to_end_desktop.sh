#!/bin/sh
# The real program as a Linux desktop sees it, in the X server that xvfb-run
# gave us: a screen reader's view of every window over AT-SPI, the pane's own
# menu, the clipboard and the primary selection as other programs read them,
# and startup notification. The checks are in end_to_end_desktop.py; this
# starts it on a session bus of its own. Exit code 77 means skipped.
set -u
program=$1
here=$(cd "$(dirname "$0")" && pwd)
python=""
# Debian's python3 first: pyatspi comes as a Debian package.
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import pyatspi' 2>/dev/null; then
        python=$candidate
        break
    fi
done
[ -n "$python" ] || { echo "SKIP: pyatspi is not installed (python3-pyatspi)"; exit 77; }
command -v dbus-run-session >/dev/null ||
    { echo "SKIP: dbus-run-session is not installed (dbus)"; exit 77; }
exec dbus-run-session -- "$python" "$here/end_to_end_desktop.py" "$program"
