#!/bin/sh
# The real program under a window manager (openbox) in the X server that
# xvfb-run gave us, at scale factors 1 and 2: the main window's whole frame is
# centred on the work area and lies wholly on screen, and the About box, Help
# and Latest News are fixed-size dialogs with a close box only. The news comes
# from a server on 127.0.0.1 that the program reaches as its HTTP proxy.
# Exit code 77 means skipped.
set -u
program=$1
export QT_QPA_PLATFORM=xcb
for tool in openbox xprop xwininfo xdotool python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

tmp=$(mktemp -d)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT

openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
pids="$pids $!"
# Openbox is ready once it has set the work area.
for _ in $(seq 1 200); do
    xprop -root _NET_WORKAREA 2>/dev/null | grep -q '=' && break
    sleep 0.1
done
if ! xprop -root _NET_WORKAREA 2>/dev/null | grep -q '='; then
    echo "SKIP: openbox did not start"
    cat "$tmp/openbox.log"
    exit 77
fi

# The news, from a server on 127.0.0.1.
python3 "$(dirname "$0")/news_server.py" >"$tmp/port" &
pids="$pids $!"
for _ in $(seq 1 50); do
    [ -s "$tmp/port" ] && break
    sleep 0.1
done
export http_proxy="http://127.0.0.1:$(cat "$tmp/port")"
export no_proxy=""

# Waits for a window whose title is exactly $1 and prints its id.
find_window() {
    for _ in $(seq 1 100); do
        w=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
        if [ -n "$w" ]; then
            echo "$w"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Prints "x y width height" of the whole frame of window $1.
frame_of() {
    for _ in $(seq 1 50); do
        xprop -id "$1" _NET_FRAME_EXTENTS | grep -q '=' && break
        sleep 0.1
    done
    info=$(xwininfo -id "$1")
    x=$(echo "$info" | awk '/Absolute upper-left X/ {print $4}')
    y=$(echo "$info" | awk '/Absolute upper-left Y/ {print $4}')
    w=$(echo "$info" | awk '/ Width:/ {print $2}')
    h=$(echo "$info" | awk '/ Height:/ {print $2}')
    set -- $(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    echo $((x - $1)) $((y - $3)) $((w + $1 + $2)) $((h + $3 + $4))
}

# Checks that dialog $2 (window $1) cannot be sized, maximised or minimised
# by what the program asks of the window manager.
check_dialog() {
    hints=$(xprop -id "$1" WM_NORMAL_HINTS)
    min=$(echo "$hints" | sed -n 's/.*minimum size: //p')
    max=$(echo "$hints" | sed -n 's/.*maximum size: //p')
    [ -n "$min" ] && [ "$min" = "$max" ] || fail "$2: not of a fixed size ($min, $max)"
    actions=$(xprop -id "$1" _NET_WM_ALLOWED_ACTIONS)
    echo "$actions" | grep -q _NET_WM_ACTION_CLOSE || fail "$2: no close box"
    echo "$actions" | grep -Eq '_NET_WM_ACTION_(RESIZE|MAXIMIZE)' && fail "$2: sizable: $actions"
    # Openbox offers minimising for every dialog, whatever the hints; what
    # the program says is in the Motif hints: no minimise (8), no maximise (16).
    functions=$(xprop -id "$1" _MOTIF_WM_HINTS | awk -F', ' '{print $2}')
    [ $((functions & 24)) -eq 0 ] || fail "$2: asks for minimise or maximise ($functions)"
    echo "$2: fixed at $min, close box only"
}

set -- $(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')
area_x=$1 area_y=$2 area_w=$3 area_h=$4
echo "work area: $area_x $area_y $area_w x $area_h"

for scale in 1 2; do
    QT_SCALE_FACTOR=$scale "$program" &
    pid=$!
    win=$(find_window 'Formtidy 2\.0') || { fail "scale $scale: no main window"; kill "$pid"; continue; }
    sleep 1 # the window is placed once more when its frame is known
    set -- $(frame_of "$win")
    echo "scale $scale: frame at $1,$2 size $3 x $4"
    dx=$(($1 * 2 + $3 - area_x * 2 - area_w))
    dy=$(($2 * 2 + $4 - area_y * 2 - area_h))
    [ "${dx#-}" -le 4 ] && [ "${dy#-}" -le 4 ] || fail "scale $scale: frame not centred"
    [ "$1" -ge "$area_x" ] && [ "$2" -ge "$area_y" ] &&
        [ $(($1 + $3)) -le $((area_x + area_w)) ] && [ $(($2 + $4)) -le $((area_y + area_h)) ] ||
        fail "scale $scale: frame off screen"
    width=$(xwininfo -id "$win" | awk '/ Width:/ {print $2}')
    [ "$width" -eq $((636 * scale)) ] || fail "scale $scale: client width $width"

    if [ "$scale" -eq 1 ]; then
        xdotool windowfocus --sync "$win" 2>/dev/null
        xdotool key --clearmodifiers alt+a; sleep 0.3; xdotool key a
        if about=$(find_window 'About formtidy2'); then
            check_dialog "$about" About
            xdotool key --clearmodifiers alt+h
            if help=$(find_window Help); then
                check_dialog "$help" Help
                xdotool key Escape
            else
                fail "Help did not open from the About box"
            fi
            sleep 0.5
            xdotool key Escape # the About box's Esc fetches the news
            if news=$(find_window 'Latest News'); then
                check_dialog "$news" "Latest News"
                xdotool key Escape
            else
                fail "Latest News did not open"
            fi
            sleep 0.5
            xdotool key Return # OK closes the About box
        else
            fail "the About box did not open"
        fi
        sleep 0.5
    fi
    xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key --clearmodifiers Escape
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "scale $scale: the program did not end after Esc"
        kill "$pid"
    fi
    wait "$pid"
done
[ "$failures" -eq 0 ]
