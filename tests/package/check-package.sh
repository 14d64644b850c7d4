#!/usr/bin/env bash
# Builds the Debian packages (vexahost, vexahost-sim and their -dbgsym
# packages) from a finished build folder and checks them as a distribution
# would: the files each holds, its relations, stripped programs whose debug
# symbols are in the -dbgsym package, lintian with no error or warning, the
# AppStream metadata and the desktop entry. Then both programs are started as
# an ordinary user, the installed vexahost against the installed simulator,
# and the manual is rendered.
#
# By default the packages are unpacked into a scratch folder (dpkg-deb -x)
# and started from there: the machine and its package database stay as they
# are. With CI=true (set in CI, which runs as root on a machine of its own)
# they are installed with dpkg, started from /usr/bin, "man vexahost" is read
# and both are purged; then nothing of them may be left, and /etc and the
# package database must be as before. Nothing is ever skipped: what cannot
# be checked fails.
# Usage: check-package.sh BUILD_FOLDER EXPECTED_FILE_LIST_FOLDER
set -euo pipefail
build="$1"
expected_dir="$2"
work="$(mktemp -d)"
chmod 755 "$work"
installed=0
cleanup() {
    [ -n "${host_pid:-}" ] && kill "$host_pid" 2>/dev/null
    [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null
    # A failed check must not leave the packages on the machine.
    [ "$installed" -eq 1 ] && dpkg --purge vexahost-sim vexahost >/dev/null 2>&1
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-deb lintian appstreamcli desktop-file-validate man readelf file; do
    command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/install-deps.sh --test"
done
real_install=0
if [ "${CI:-}" = true ]; then
    real_install=1
    [ "$(id -u)" -eq 0 ] || fail "CI=true asks for a real install, which needs root"
    for p in vexahost vexahost-sim; do
        state="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
        case "$state" in
        "" | *not-installed) ;;
        # What "dpkg -r" of an earlier package leaves: a record without files
        # (the packages have no configuration files); the purge ends it.
        *" config-files")
            [ -z "$(dpkg-query -W -f='${Conffiles}' "$p")" ] || fail "$p left configuration files on this machine"
            echo "note: dpkg keeps a record of a removed $p ($state); the purge at the end drops it" ;;
        *) fail "dpkg knows $p on this machine already ($state); a real install would replace it (purge it first)" ;;
        esac
    done
fi

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack could not build the packages"; }
version="$(dpkg-deb -f "$work"/vexahost_*.deb Version 2>/dev/null)" || fail "no vexahost_*.deb was made"
packages=(vexahost vexahost-sim)
debs=()
for p in "${packages[@]}"; do
    deb="$(ls "$work/${p}_${version}_"*.deb 2>/dev/null)" || fail "no ${p}_${version}_*.deb was made"
    dbgsym="$(ls "$work/${p}-dbgsym_${version}_"*.deb 2>/dev/null)" || fail "no ${p}-dbgsym package was made"
    debs+=("$deb" "$dbgsym")
    echo "package: $(basename "$deb") + $(basename "$dbgsym")"

    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' | grep -v '/$' | sort >"$work/$p.files"
    grep -v '^#' "$expected_dir/$p.files" | grep -v '^$' | sort >"$work/$p.expected"
    diff -u "$work/$p.expected" "$work/$p.files" || fail "$p holds other files than $expected_dir/$p.files"

    # Every program and library is stripped, and its debug symbols are in the
    # -dbgsym package under its build ID.
    mkdir -p "$work/x/$p" "$work/x/$p-dbgsym"
    dpkg-deb -x "$deb" "$work/x/$p"
    dpkg-deb -x "$dbgsym" "$work/x/$p-dbgsym"
    while read -r f; do
        path="$work/x/$p$f"
        # (Outputs are read whole: "grep -q" on a pipe would make the writer
        # fail with SIGPIPE under pipefail.)
        kind="$(file -b "$path")"
        [[ "$kind" == ELF* ]] || continue
        [[ "$kind" == *", stripped"* ]] || fail "$f in $p is not stripped"
        id="$(readelf -n "$path" | sed -n 's/.*Build ID: *//p')"
        [ -n "$id" ] || fail "$f in $p has no build ID"
        debug="$work/x/$p-dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
        [ -f "$debug" ] || fail "the debug symbols of $f are not in $p-dbgsym"
        sections="$(readelf -S "$debug" 2>/dev/null)"
        [[ "$sections" == *.debug_info* ]] || fail "$p-dbgsym holds no debug information for $f"
    done <"$work/$p.files"
done

main_depends="$(dpkg-deb -f "$work"/vexahost_*.deb Depends)"
echo "vexahost depends: $main_depends"
for needed in fonts-liberation libqt6widgets6 libqt6serialport6 libhidapi-hidraw0; do
    grep -q "$needed" <<<"$main_depends" || fail "vexahost does not depend on $needed"
done
[ "$(dpkg-deb -f "$work"/vexahost_*.deb Suggests)" = vexahost-sim ] || fail "vexahost does not suggest vexahost-sim"
sim_depends="$(dpkg-deb -f "$work"/vexahost-sim_*.deb Depends)"
echo "vexahost-sim depends: $sim_depends"
grep -qF "vexahost (= $version)" <<<"$sim_depends" || fail "vexahost-sim does not depend on vexahost (= $version)"

# Informational tags are shown, not counted.
if ! lintian --fail-on error,warning --info --display-info --no-tag-display-limit "${debs[@]}" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log"
    fail "lintian reports errors or warnings"
fi
grep -E '^[EWIXOP]: ' "$work/lintian.log" || true
echo "lintian: no error, no warning"

metainfo="$(ls "$work"/x/vexahost/usr/share/metainfo/*.metainfo.xml)"
appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log"; fail "appstreamcli validate failed"; }
! grep -E '^[EW]: ' "$work/appstream.log" || fail "appstreamcli validate warns"
desktop-file-validate "$work/x/vexahost/usr/share/applications/vexahost.desktop" >"$work/desktop.log" 2>&1 &&
    [ ! -s "$work/desktop.log" ] || { cat "$work/desktop.log"; fail "desktop-file-validate does not pass the desktop entry"; }
echo "appstream metadata and desktop entry: valid"

# --- start both programs as an ordinary user --------------------------------
etc_state() { "$(dirname "$0")/../../scripts/etc-state.sh"; }
if [ "$real_install" -eq 1 ]; then
    etc_state >"$work/etc.before"
    # The package database, but for the records of these packages themselves.
    dpkg_state() { dpkg-query -W -f='${Package} ${Version} ${Status}\n' | grep -vE '^vexahost(-sim)?(-dbgsym)? ' | sort; }
    dpkg_state >"$work/dpkg.before"
    installed=1
    dpkg -i "$work/vexahost_${version}_"*.deb "$work/vexahost-sim_${version}_"*.deb >"$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "dpkg -i failed"; }
    root=""
else
    # What dpkg would unpack, read-only as an installed tree is to its users.
    root="$work/root"
    mkdir -p "$root"
    for p in "${packages[@]}"; do dpkg-deb -x "$work/${p}_${version}_"*.deb "$root"; done
    chmod -R a-w "$root"
fi
echo "programs: $([ "$real_install" -eq 1 ] && echo "installed in /usr" || echo "unpacked into $root")"

home="$work/home"
mkdir -p "$home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$home"
    as_user=(runuser -u nobody --)
fi
user_env=(env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home"
    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8)

status=0
{
    # The simulator as COM1, traced, so that the window's start exchange shows.
    mkfifo "$work/sim.in"
    "${as_user[@]}" "${user_env[@]}" "$root/usr/bin/vexa-sim" --port COM1 --trace <"$work/sim.in" >"$work/sim.log" 2>&1 &
    sim_pid=$!
    exec 7>"$work/sim.in"
    for _ in $(seq 100); do grep -q '^port: COM1' "$work/sim.log" && break; sleep 0.1; done
    grep -q '^port: COM1' "$work/sim.log" || { cat "$work/sim.log"; fail "the simulator did not publish COM1"; }
    [ -L "$home/config/Kestrune/VexaHost/ports/COM1" ] || fail "the simulator's port entry is missing"
    # The window has no option to quit by itself: it is stopped as a desktop
    # would stop it, once its start exchange reached the simulator (the
    # first start after an install can be slow on a loaded machine), and
    # `timeout` only ends one that hangs.
    "${as_user[@]}" "${user_env[@]}" timeout 120 "$root/usr/bin/vexahost" >"$work/run.log" 2>&1 &
    host_pid=$!
    for _ in $(seq 600); do
        grep -q '^rx: ' "$work/sim.log" && break
        kill -0 "$host_pid" 2>/dev/null || break
        sleep 0.1
    done
    running=0
    kill -0 "$host_pid" 2>/dev/null && running=1
    pkill -TERM -xf "$root/usr/bin/vexahost" || true
    wait "$host_pid" || status=$?
    host_pid=""
    echo quit >&7
    exec 7>&-
    wait "$sim_pid" || fail "the simulator did not end cleanly after quit: $(cat "$work/sim.log")"
    sim_pid=""
}
[ "$running" -eq 1 ] || { cat "$work/run.log"; fail "vexahost ended by itself (status $status) instead of running"; }
[ "$status" -eq 0 ] || { cat "$work/run.log"; fail "vexahost did not close normally on SIGTERM (status $status)"; }
grep -q '^rx: ' "$work/sim.log" || { cat "$work/sim.log" "$work/run.log"; fail "vexahost did not talk to the simulator on COM1"; }
[ ! -e "$home/config/Kestrune/VexaHost/ports/COM1" ] || fail "the simulator left its port entry behind"
[ -d "$home/Documents/VexaHost/firmware" ] || fail "the firmware folder was not made in the user's documents folder"
echo "vexahost and vexa-sim: started as $([ ${#as_user[@]} -gt 0 ] && echo nobody || id -un), vexahost talked to the simulator"

if [ "$real_install" -eq 1 ]; then
    manual="$(MANPAGER=cat MANWIDTH=80 man vexahost 2>&1)" || fail "man vexahost: $manual"
else
    manual="$(MANPAGER=cat MANWIDTH=80 man -l "$root/usr/share/man/man1/vexahost.1.gz" 2>&1)" || fail "man: $manual"
fi
grep -q 'vexahost - host utility for Vexa' <<<"$manual" || fail "the manual of vexahost does not render: $manual"
echo "man vexahost: renders"

if [ "$real_install" -eq 1 ]; then
    dpkg --purge vexahost-sim vexahost >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg --purge failed"; }
    installed=0
    for p in "${packages[@]}"; do
        while read -r f; do
            [ -e "$f" ] && fail "$f is still there after purging $p"
        done <"$work/$p.files"
    done
    ! ls -d /usr/lib/*/vexahost /usr/share/doc/vexahost* 2>/dev/null || fail "folders of the packages are still there after purging"
    for p in "${packages[@]}"; do
        state="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
        [ -z "$state" ] || [[ "$state" == *not-installed ]] || fail "dpkg still knows $p after the purge ($state)"
    done
    dpkg_state >"$work/dpkg.after"
    diff -u "$work/dpkg.before" "$work/dpkg.after" || fail "the package database differs from before the install"
    etc_state >"$work/etc.after"
    diff -u "$work/etc.before" "$work/etc.after" || fail "/etc differs from before the install"
    echo "purged: nothing left, /etc and the package database as before"
fi
echo "package: all checks passed"
