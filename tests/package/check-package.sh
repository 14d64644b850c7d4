#!/usr/bin/env bash
# Builds the Debian package from a finished build folder and checks it: the
# files it holds and its dependencies; where this runs as root with dpkg, it
# also installs the package, starts the installed program headless, and
# removes the package again, checking that nothing of it stays behind.
# Usage: check-package.sh BUILD_FOLDER EXPECTED_FILE_LIST
set -euo pipefail
build="$1"
expected="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb="$(ls "$work"/vexahost_*.deb 2>/dev/null | head -n1)"
[ -n "$deb" ] || fail "no vexahost_*.deb was made"
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' | grep -v '/$' | sort >"$work/files"
sort "$expected" | grep -v '^#' | grep -v '^$' >"$work/expected"
if ! diff -u "$work/expected" "$work/files"; then
    fail "the package's file list differs from $expected"
fi

depends="$(dpkg-deb -f "$deb" Depends)"
echo "depends: $depends"
for needed in fonts-liberation libqt6widgets6 libqt6serialport6; do
    grep -q "$needed" <<<"$depends" || fail "the package does not depend on $needed"
done

if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null; then
    echo "not root: install, start and remove skipped"
    exit 0
fi
if dpkg-query -W -f='${Status}' vexahost 2>/dev/null | grep -q "install ok installed"; then
    echo "a vexahost package is installed on this machine already: install, start and remove skipped"
    exit 0
fi
dpkg -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "dpkg -i failed"; }
beside_before=0
[ -e /usr/bin/firmware ] && beside_before=1
status=0
# The installed program must come up and keep running; it has no option to
# quit by itself, so it is stopped after a few seconds. It runs as an
# ordinary user, as an operator would: its folder is not theirs to write,
# so its firmware folder goes to their own data folder.
chmod 755 "$work"
mkdir -p "$work/home"
chown nobody "$work/home" 2>/dev/null || chmod 777 "$work/home"
runuser -u nobody -- env HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/vexahost >"$work/run.log" 2>&1 || status=$?
firmware_beside=0
[ "$beside_before" -eq 0 ] && [ -e /usr/bin/firmware ] && firmware_beside=1
firmware_own=0
[ -d "$work/home/data/Kestrune/VexaHost/firmware" ] && firmware_own=1
dpkg -r vexahost >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg -r failed"; }
[ "$status" -eq 124 ] || { cat "$work/run.log"; fail "the installed vexahost ended by itself (status $status) instead of running"; }
[ "$firmware_beside" -eq 0 ] || fail "an operator's start made /usr/bin/firmware"
[ "$firmware_own" -eq 1 ] || fail "the firmware folder was not made in the operator's own data folder"
while read -r f; do
    [ -e "$f" ] && fail "$f is still there after removal"
done <"$work/expected"
echo "installed, started headless and removed cleanly"
