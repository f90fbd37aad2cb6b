#!/bin/sh
# The groups of scripts/packages.txt as scripts/run reads them: a comment
# inside a group drops no package, every package of the real list belongs to
# a group that the scripts install, and a package outside any group is refused.
# Usage: check_package_groups.sh SOURCE_DIR
set -eu
top=$1
FORMTIDY_SOURCED=1 . "$top/scripts/run"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
expect() { # what, expected, actual
    if [ "$2" != "$3" ]; then
        printf '%s:\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
        status=1
    fi
}
listed() { package_list "$@" | tr '\n' ' '; }

cat >"$tmp/packages.txt" <<'LIST'
# heading
[run]
cmake
# a comment in the middle of a group
  # and an indented one
g++

[test]
xvfb
#xauth
weston
LIST
FORMTIDY_PACKAGES="$tmp/packages.txt"
expect "a comment inside a group" "cmake g++ " "$(listed run)"
expect "two groups" "cmake g++ xvfb weston " "$(listed run test)"
expect "one group alone" "xvfb weston " "$(listed test)"

printf 'cmake\n[run]\ng++\n' >"$tmp/packages.txt"
if package_list run >/dev/null 2>"$tmp/err"; then
    echo "a package outside any group was accepted"
    status=1
fi

# The real list: every package line is installed by some group.
FORMTIDY_PACKAGES="$top/scripts/packages.txt"
all=$(grep -v -E '^[[:space:]]*(#|$)|^\[' "$FORMTIDY_PACKAGES" | awk '{ print $1 }' | tr '\n' ' ')
expect "every package of scripts/packages.txt" "$all" "$(listed run test ci deb)"
for required in cmake qt6-base-dev libgtest-dev xvfb clang clang-format debhelper lintian; do
    case " $all " in *" $required "*) ;; *) echo "missing package: $required"; status=1 ;; esac
done
exit "$status"
