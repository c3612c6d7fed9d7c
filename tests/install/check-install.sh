#!/usr/bin/env bash
# check-install.sh CMAKE BUILD_DIR NOTIFY_LISTENER
# Installs BUILD_DIR into a temporary prefix and checks the installed tree as a
# station would use it. Prints one line per failed check; exits 1 if any failed.
set -uo pipefail
cmake_command=$1
build=$2
listener=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$(realpath "$work")/prefix
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
skip() { echo "SKIP: $*"; }

if ! "$cmake_command" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# The tree.
for program in sonavel sonavel-player sonavel-creator; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed or not executable"
done
expected=(
    share/sonavel/help/index.html
    share/applications/org.sonavel.Player.desktop
    share/applications/org.sonavel.Creator.desktop
    share/icons/hicolor/scalable/apps/org.sonavel.Player.svg
    share/icons/hicolor/scalable/apps/org.sonavel.Creator.svg
    share/metainfo/org.sonavel.Player.metainfo.xml
    share/metainfo/org.sonavel.Creator.metainfo.xml
    share/icons/hicolor/48x48/apps/org.sonavel.Player.png
    share/icons/hicolor/256x256/apps/org.sonavel.Creator.png
    share/man/man1/sonavel.1.gz
    share/man/man1/sonavel-player.1.gz
    share/man/man1/sonavel-creator.1.gz
    share/doc/sonavel/copyright
    share/doc/sonavel/changelog.gz
    lib/systemd/user/sonavel-air.service
    lib/systemd/user/sonavel-create-playlists.service
    lib/systemd/user/sonavel-create-playlists.timer
    lib/systemd/user/sonavel-backup.service
    lib/systemd/user/sonavel-backup.timer
)
for file in "${expected[@]}"; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done

# Each desktop entry names an icon that is installed and a program in bin.
for entry in "$prefix"/share/applications/*.desktop; do
    icon=$(sed -n 's/^Icon=//p' "$entry")
    exec=$(sed -n 's/^Exec=//p' "$entry")
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
        fail "$(basename "$entry"): icon $icon is not installed"
    [ -x "$prefix/bin/${exec%% *}" ] || fail "$(basename "$entry"): $exec is not in bin"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix"/share/applications/*.desktop ||
        fail "desktop-file-validate"
else
    skip "desktop-file-validate is not installed (package desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix"/share/metainfo/*.xml >"$work/appstream.log" 2>&1 ||
        { cat "$work/appstream.log"; fail "appstreamcli validate"; }
else
    skip "appstreamcli is not installed (package appstream)"
fi

# The manual pages: well formed, within 80 columns on a terminal that wide,
# dated and versioned, each with one EXIT STATUS and an ENVIRONMENT, naming
# the prefix's own folders; the command's lists every command and the units.
version=$(sed -n 's/^project(Sonavel VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
for page in "$prefix"/share/man/man1/*.1.gz; do
    name=$(basename "$page")
    text=$(zcat "$page")
    if command -v groff >/dev/null; then
        warnings=$(printf '%s\n' "$text" | groff -man -ww -z 2>&1)
        [ -z "$warnings" ] || fail "$name: $warnings"
        width=$(printf '%s\n' "$text" | groff -man -Tutf8 -P-cbou -rLL=78n 2>/dev/null | LC_ALL=C.UTF-8 wc -L)
        [ "$width" -le 80 ] || fail "$name is $width columns wide on an 80-column terminal"
    fi
    # The page is given as a here-string: grep -q stops reading at its first
    # match, and under pipefail a printf cut short by that would fail the check.
    [ "$(grep -c '^\.SH EXIT STATUS$' <<<"$text")" = 1 ] ||
        fail "$name has not exactly one EXIT STATUS section"
    grep -q '^\.SH ENVIRONMENT$' <<<"$text" || fail "$name has no ENVIRONMENT section"
    grep -q "^\.TH [^ ]* 1 \"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\" \"Sonavel $version\"" <<<"$text" ||
        fail "$name has no date and version: $(printf '%s\n' "$text" | grep '^\.TH')"
    grep -q '@[A-Z_]*@' <<<"$text" && fail "$name has words left unfilled"
    grep -q "$build" <<<"$text" && fail "$name names the build folder"
    grep -q "$prefix/share/sonavel/help/index.html" <<<"$text" ||
        fail "$name does not name the installed help pages"
done
sonavel_page=$(zcat "$prefix/share/man/man1/sonavel.1.gz")
# Roff writes a hyphen as \-.
for command in create-playlists air demo-station backup as-run devices; do
    grep -qxF ".SS ${command//-/\\-}" <<<"$sonavel_page" ||
        fail "sonavel.1 has no section for $command"
done
for unit in air.service create-playlists.timer backup.timer; do
    grep -qF "sonavel\\-${unit//-/\\-}" <<<"$sonavel_page" ||
        fail "sonavel.1 does not name sonavel-$unit"
done

# The units start the installed program, name the manual page, and the air
# unit is supervised: ready when on air, watched while it runs.
units="$prefix/lib/systemd/user"
grep -qx "ExecStart=$prefix/bin/sonavel air --wait" "$units/sonavel-air.service" ||
    fail "sonavel-air.service does not start $prefix/bin/sonavel air --wait"
for line in Type=notify "WatchdogSec=[1-9][0-9]*" Restart=on-failure; do
    grep -qx "$line" "$units/sonavel-air.service" || fail "sonavel-air.service lacks $line"
done
grep -q "^ExecStart=$prefix/bin/sonavel backup .* --keep 14$" "$units/sonavel-backup.service" ||
    fail "sonavel-backup.service does not keep fourteen backups"
grep -qx "ExecStart=$prefix/bin/sonavel create-playlists --yes --wait" \
    "$units/sonavel-create-playlists.service" ||
    fail "sonavel-create-playlists.service does not wait for Creator"
for unit in "$units"/*; do
    grep -qx "Documentation=man:sonavel(1)" "$unit" || fail "$(basename "$unit") does not name man:sonavel(1)"
done
# systemd-analyze needs a manager it can start in this sandbox: a unit known
# to be good tells whether it can run here at all.
probe="$work/probe/sonavel-probe.service"
mkdir -p "$(dirname "$probe")"
printf '[Service]\nExecStart=/bin/true\n' >"$probe"
if ! command -v systemd-analyze >/dev/null; then
    skip "systemd-analyze is not installed (package systemd)"
elif ! systemd-analyze verify --man=no "$probe" >"$work/probe.log" 2>&1; then
    skip "systemd-analyze verify cannot run here: $(head -1 "$work/probe.log")"
else
    (cd "$units" && systemd-analyze verify --man=no ./*.service ./*.timer) >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log"; fail "systemd-analyze verify"; }
fi

# The installed programs, on a fresh account of their own, from a login
# without a runtime folder: nothing on standard error.
home="$work/home"
mkdir -p "$home/tmp"
run() {
    env -u XDG_RUNTIME_DIR -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" TMPDIR="$home/tmp" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        QT_QPA_PLATFORM=offscreen "$@"
}
run "$prefix/bin/sonavel" --help >"$work/help.out" 2>"$work/help.err" || fail "sonavel --help failed"
grep -qx "Help pages: $prefix/share/sonavel/help/index.html" "$work/help.out" ||
    fail "sonavel --help does not find the installed help pages: $(grep 'Help pages' "$work/help.out")"
[ -s "$work/help.err" ] && fail "sonavel --help wrote on standard error: $(cat "$work/help.err")"

# The window programs answer --help and --version on standard output before
# anything else (no display here, no settings written, no lock taken), and
# refuse anything else with status 2 and a usage line, as sonavel does.
for program in sonavel-player sonavel-creator; do
    run "$prefix/bin/$program" --help >"$work/o.out" 2>"$work/o.err"
    status=$?
    { [ "$status" = 0 ] && head -1 "$work/o.out" | grep -qx "Usage: $program \[OPTION\]\.\.\." &&
        [ ! -s "$work/o.err" ]; } ||
        fail "$program --help: status $status, $(head -1 "$work/o.out") $(cat "$work/o.err")"
    run "$prefix/bin/$program" --version >"$work/o.out" 2>"$work/o.err"
    status=$?
    { [ "$status" = 0 ] && [ "$(cat "$work/o.out")" = "$program $version" ] && [ ! -s "$work/o.err" ]; } ||
        fail "$program --version: status $status, $(cat "$work/o.out" "$work/o.err")"
    run "$prefix/bin/$program" --on-air >"$work/o.out" 2>"$work/o.err"
    status=$?
    { [ "$status" = 2 ] && [ ! -s "$work/o.out" ] &&
        grep -qx "$program: unrecognized option '--on-air'" "$work/o.err" &&
        grep -qx "Usage: $program \[OPTION\]\.\.\." "$work/o.err"; } ||
        fail "$program --on-air: status $status, $(cat "$work/o.out" "$work/o.err")"
done
[ -e "$home/config" ] || [ -e "$home/data" ] && fail "--help or --version wrote settings or folders"
ls "$home/station/config/Sonavel"/*.lock >/dev/null 2>&1 && fail "--help or --version took a lock"

# A demo station, so the Player starts straight into its window and on air.
# Under Xvfb where it is installed, as on a desktop; else on Qt's offscreen
# platform, whose own notes about what it cannot do are not warnings.
run "$prefix/bin/sonavel" demo-station --tones "$home/station" >/dev/null 2>"$work/demo.err" ||
    fail "sonavel demo-station failed: $(cat "$work/demo.err")"
station() {
    run env XDG_CONFIG_HOME="$home/station/config" XDG_DATA_HOME="$home/station/data" "$@"
}
station "$prefix/bin/sonavel" create-playlists --yes >/dev/null 2>&1 ||
    fail "sonavel create-playlists failed on the demo station"
# The player writes its own process id, so it is the one stopped below.
player_pid="$work/player.pid"
start_player=(sh -c 'echo $$ >"$0"; exec "$@"' "$player_pid" "$prefix/bin/sonavel-player")
if command -v xvfb-run >/dev/null; then
    station env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" "${start_player[@]}" \
        >"$work/player.out" 2>"$work/player.err" &
else
    station "${start_player[@]}" >"$work/player.out" 2>"$work/player.err" &
fi
launcher=$!
log="$home/station/data/Sonavel/Logs/Program.log"
elements() { cat "$log" 2>/dev/null | grep -c "Program Element"; }
# On air once the second element has started: the window is up by then.
for _ in $(seq 300); do
    [ "$(elements)" -ge 2 ] && break
    kill -0 "$launcher" 2>/dev/null || break
    sleep 0.1
done
grep -q "Program Loaded" "$log" 2>/dev/null || fail "sonavel-player did not start"
[ "$(elements)" -ge 2 ] || fail "sonavel-player is not on air"
[ -f "$home/station/config/Sonavel/sonavel-player.lock" ] ||
    fail "sonavel-player took no lock beside its station's settings store"

# sonavel air --wait as its service runs it, started while the window plays:
# it waits for the window without failing, goes on air once it has closed,
# and says so to systemd, here a listener of this test's own.
notify="$work/notify.sock"
"$listener" "$notify" 120 >"$work/notify.log" 2>&1 &
listener_pid=$!
for _ in $(seq 100); do
    [ -S "$notify" ] && break
    sleep 0.1
done
station env NOTIFY_SOCKET="$notify" WATCHDOG_USEC=1000000 "$prefix/bin/sonavel" air --wait --for 3 \
    >"$work/air.out" 2>"$work/air.err" &
air_pid=$!
for _ in $(seq 100); do
    grep -q "Waiting for Sonavel Player to end" "$work/notify.log" && break
    sleep 0.1
done
grep -q "^EXTEND_TIMEOUT_USEC=[0-9]*|STATUS=Waiting for Sonavel Player to end$" "$work/notify.log" ||
    fail "sonavel air --wait did not tell systemd it waits for the Player: $(cat "$work/notify.log")"
kill -0 "$air_pid" 2>/dev/null || fail "sonavel air --wait ended while the Player had the station"

# Stopped as a shut-down of the machine stops it: the programme is closed
# in both logs, and nothing is asked or written on standard error.
[ -s "$player_pid" ] && kill "$(cat "$player_pid")" 2>/dev/null
wait "$launcher" 2>/dev/null || fail "sonavel-player did not end cleanly on SIGTERM"
grep -q ",stopped," "$home/station/data/Sonavel/Logs"/AsRun-*.csv 2>/dev/null ||
    fail "the element on air at SIGTERM has no as-run line"
# Left out: the offscreen platform's notes.
if grep -v -e "^This plugin does not support" "$work/player.err" | grep -q .; then
    fail "sonavel-player wrote on standard error: $(cat "$work/player.err")"
fi

# The air run took over once the window had closed, and ended after its time.
wait "$air_pid" || fail "sonavel air --wait failed: $(cat "$work/air.err")"
wait "$listener_pid"
[ "$(grep -E "  Program (Loaded|Ended)" "$log" | tr -d '\r' | sed 's/.*  //' | tr '\n' ,)" = \
    "Program Loaded,Program Ended,Program Loaded,Program Ended," ] ||
    fail "the Player and then the air run did not each start and end in the program log: $(cat "$log")"
# Ready once the first element sounds, with it as the status; the watchdog
# only after that, while the output runs; stopping at the end.
awk '
    /^READY=1\|STATUS=On air: ./ { ready = NR }
    /^WATCHDOG=1$/ { if (!ready) early = 1; else pinged = 1 }
    { last = $0 }
    END { exit !(ready && pinged && !early && last == "STOPPING=1") }
' "$work/notify.log" || fail "sonavel air did not notify as a Type=notify service should: $(cat "$work/notify.log")"

# Creator ends on SIGHUP (its terminal closing) and SIGTERM without a word.
if command -v xvfb-run >/dev/null; then
    for signal in HUP TERM; do
        creator_pid="$work/creator.pid"
        rm -f "$creator_pid"
        station env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
            sh -c 'echo $$ >"$0"; exec "$@"' "$creator_pid" "$prefix/bin/sonavel-creator" \
            >"$work/creator.out" 2>"$work/creator.err" &
        launcher=$!
        lock="$home/station/config/Sonavel/sonavel-creator.lock"
        for _ in $(seq 300); do
            [ -f "$lock" ] && [ -s "$creator_pid" ] && break
            sleep 0.1
        done
        # The window is up once its recent-clock list is read; a moment more.
        sleep 1
        kill -"$signal" "$(cat "$creator_pid")" 2>/dev/null
        wait "$launcher" || fail "sonavel-creator did not end cleanly on SIG$signal"
        [ -f "$lock" ] && fail "sonavel-creator left its lock behind on SIG$signal"
        [ -s "$work/creator.err" ] && fail "sonavel-creator wrote on standard error: $(cat "$work/creator.err")"
    done
else
    skip "sonavel-creator's signals: xvfb-run is not installed (package xvfb)"
fi

# A nightly backup keeps its N newest dated folders and nothing else goes.
backups="$work/backups"
mkdir -p "$backups/2020-01-01_000000" "$backups/2020-01-02_000000" "$backups/2020-01-03_000000" \
    "$backups/notes"
station "$prefix/bin/sonavel" backup --to "$backups" --keep 2 >/dev/null 2>"$work/backup.err" ||
    fail "sonavel backup --keep failed: $(cat "$work/backup.err")"
kept=$(cd "$backups" && ls | tr '\n' ' ')
[[ "$kept" =~ ^2020-01-03_000000\ [0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{6}\ notes\ $ ]] ||
    fail "sonavel backup --keep 2 left $kept"

# Installed for one user under ~/.local, the units are where that user's
# manager looks for them.
user="$work/user"
mkdir -p "$user"
env -u XDG_DATA_HOME HOME="$user" "$cmake_command" --install "$build" --prefix "$user/.local" \
    >"$work/user-install.log" 2>&1 || fail "cmake --install --prefix ~/.local: $(cat "$work/user-install.log")"
[ -f "$user/.local/share/systemd/user/sonavel-air.service" ] ||
    fail "a ~/.local install put the units elsewhere than ~/.local/share/systemd/user"
[ -e "$user/.local/lib/systemd" ] && fail "a ~/.local install wrote lib/systemd"

# The Debian package as lintian sees it: no error and no warning.
if command -v lintian >/dev/null; then
    # cpack rather than the package target, which would build everything first.
    if (cd "$build" && "$(dirname "$cmake_command")/cpack" -G DEB) >"$work/package.log" 2>&1; then
        deb=$(ls -t "$build"/packages/sonavel_*.deb | head -n 1)
        suppress=()
        # The sanitizers and Debian's fortified functions do not go together:
        # a sanitized build's package is checked for everything else.
        if grep -q "^SONAVEL_SANITIZE:BOOL=ON" "$build/CMakeCache.txt"; then
            skip "lintian's hardening tags on a sanitized build (they are checked on the dev build's package)"
            suppress=(--suppress-tags hardening-no-fortify-functions,hardening-no-bindnow,hardening-no-relro)
        fi
        lintian --fail-on error,warning "${suppress[@]}" "$deb" >"$work/lintian.log" 2>&1 ||
            fail "lintian $(basename "$deb"): $(grep -v "running with root privileges" "$work/lintian.log")"
    else
        fail "the Debian package was not built: $(tail -n 20 "$work/package.log")"
    fi
else
    skip "lintian is not installed (package lintian)"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) of the installed tree failed"
    exit 1
fi
echo "installed tree in $prefix checked"
