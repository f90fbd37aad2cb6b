#!/bin/sh
# The program in a Wayland session: a headless weston on a socket of its own.
# The test copy of the program (support/TypingMain.cpp) types its argument into
# the left pane once the window is on screen, presses Convert and prints the
# right pane. Exit code 77 means skipped.
set -u
program=$1
command -v weston >/dev/null || { echo "SKIP: weston is not installed"; exit 77; }

runtime=$(mktemp -d)
chmod 700 "$runtime"
socket="formtidy-test-$$"
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket="$socket" \
    --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
cleanup() {
    kill "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT

for _ in $(seq 1 100); do
    [ -S "$runtime/$socket" ] && break
    kill -0 "$weston_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$runtime/$socket" ]; then
    echo "SKIP: weston could not start:"
    cat "$runtime/weston.log"
    exit 77
fi

# Headless weston has no seat, and Qt 6.4's Wayland text-input support
# crashes without one; the compose input method stands in for it here.
output=$(XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland \
    QT_IM_MODULE=compose timeout 30 "$program" 'item=blue+cup&size=2')
code=$?
echo "$output"
echo "exit code $code"
[ "$code" -eq 0 ] || exit 1
echo "$output" | grep -q '^window shown on wayland$' || { echo "FAIL: no window"; exit 1; }
echo "$output" | grep -q '^right pane: item :: blue cup' || { echo "FAIL: not converted"; exit 1; }
echo "$output" | grep -q '^size :: 2$' || { echo "FAIL: not converted"; exit 1; }
