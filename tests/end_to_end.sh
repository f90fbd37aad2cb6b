#!/bin/sh
# Starts the real program in the X server that xvfb-run gave us, waits for its
# window, closes it with Esc and expects exit code 0.
set -u
program=$1
# The real X server, whatever the other tests use.
export QT_QPA_PLATFORM=xcb
"$program" &
pid=$!
win=""
for _ in $(seq 1 300); do
    win=$(xdotool search --name '^Formtidy 2\.0$' 2>/dev/null | head -n 1)
    [ -n "$win" ] && break
    sleep 0.1
done
if [ -z "$win" ]; then
    echo "the main window did not come up"
    # What there is to see instead, should it ever happen again.
    if kill -0 "$pid" 2>/dev/null; then
        echo "the program still runs; the windows on the display:"
        xwininfo -root -tree 2>&1 | grep '"' | head -n 20
        kill "$pid" 2>/dev/null
    else
        wait "$pid"
        echo "the program ended with $?"
    fi
    exit 1
fi
echo "window $win is up"
sleep 0.5
xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key --clearmodifiers Escape
for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        code=$?
        echo "exit code $code"
        [ "$code" -eq 0 ]
        exit
    fi
    sleep 0.1
done
echo "the program did not end after Esc"
kill "$pid"
exit 1
