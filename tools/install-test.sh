#!/usr/bin/env bash
# The package test: builds the .deb from the release build, installs it with
# dpkg into a clean root (a temporary folder with its own dpkg database; no
# container), runs the service's command line once inside that root over
# generated sample logs, checks the rows, the events, the summary line and the
# metrics file, checks the systemd units (and the sandbox's exposure score),
# the man page and the log rotation, then removes and purges the package and
# checks what is left. Needs root (dpkg --root and chroot). JOBS sets the
# build's parallel jobs (default: every processor).
#
# The root has no libc6 or other Debian packages: dpkg installs with
# --force-depends, and the shared libraries that the two binaries link (and
# glibc's code page modules) are copied from this machine into the root before
# it is first listed, in place of their packages.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
if [ "$(id -u)" -ne 0 ]; then
    echo "install test: needs root (dpkg --root, chroot)" >&2
    exit 1
fi

fail() {
    echo "install test FAILED: $*" >&2
    exit 1
}
expect_eq() {  # what, expected, actual
    [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}

echo "== building the .deb (linux-release)"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "${JOBS:-$(nproc)}" --target deb gen-logs | grep -E 'CPack: -|error' || true
bin=$source/build/linux-release
deb=$(ls -t "$bin"/ferrowin_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends

# What dpkg-deb says about the file modes: the registry file holds the
# password.
contents=$(dpkg-deb --contents "$deb")
grep -q '^-rw------- root/root .* \./etc/kestrafold/registry\.reg$' <<<"$contents" ||
    fail "registry.reg is not 0600 root/root in the package"
grep -q '^-rwxr-xr-x root/root .* \./usr/sbin/ferrowin$' <<<"$contents" ||
    fail "no /usr/sbin/ferrowin in the package"

work=$(mktemp -d /tmp/ferrowin-install-XXXXXX)
# KEEP_ROOT=1 keeps the folder for a look after a failure.
[ -n "${KEEP_ROOT:-}" ] || trap 'rm -rf "$work"' EXIT
root=$work/root

echo "== a clean root in $root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers" \
    "$root/run/lock" "$root/tmp"
chmod 1777 "$root/tmp"
touch "$root/var/lib/dpkg/status"
# The run-time libraries of the importer and the library, as the root's
# stand-in for libc6, libstdc++6, libodbc2, libsqlite3-0 and their own needs.
for lib in $(ldd "$bin/ferrowin" "$bin/libpellinor.so" |
    awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// && $2 ~ /^\(/ {print $1}' | sort -u); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
done
# systemd's own units (sysinit.target, timers.target, ...), as the root's
# stand-in for the systemd package, so that the units can be verified there.
mkdir -p "$root/usr/lib/systemd/system"
cp -a /lib/systemd/system/. "$root/usr/lib/systemd/system/"
# node_exporter's textfile folder, as the root's stand-in for the
# prometheus-node-exporter package.
metrics_folder=/var/lib/prometheus/node-exporter
mkdir -p "$root$metrics_folder"
# The code page modules that libc6 ships (the embedded database converts from
# code page 932 through iconv): those of the machine's own architecture, since
# with a second architecture installed "libc6" alone may name the other one.
arch=$(dpkg --print-architecture)
gconv=$(dirname "$(dpkg -L "libc6:$arch" | grep -m 1 '/gconv/CP932\.so$')")
mkdir -p "$root$gconv"
cp -a "$gconv/." "$root$gconv/"
listing() {  # every path in the root except dpkg's database and volatile /run, /tmp
    (cd "$root" && find . -mindepth 1 \( -path ./var/lib/dpkg -o -path ./run -o -path ./tmp \) \
        -prune -o -print | sort)
}
listing > "$work/before"

dpkg_root() {
    dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null "$@"
}

echo "== dpkg --install"
dpkg_root --install "$deb" 2>&1
expect_eq "package status" "install ok installed" \
    "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' ferrowin)"
conffiles=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Conffiles}\n' ferrowin |
    awk 'NF {print $1}' | sort)
expect_eq "conffiles" "$(sort "$source/packaging/linux/conffiles")" "$conffiles"
expect_eq "registry file mode" "600 root" "$(stat -c '%a %U' "$root/etc/kestrafold/registry.reg")"
[ -f "$root/usr/lib/ferrowin/Setting/2/product.ini" ] ||
    fail "/usr/lib/ferrowin/Setting does not lead to /etc/kestrafold/Setting"
[ -f "$root/usr/lib/ferrowin/libpellinor.so" ] || fail "no libpellinor.so in InstallPath"

echo "== the units: systemd-analyze verify"
# Checked in the root, so that the program of ExecStart= and the man page of
# Documentation= are the installed ones. A unit line that systemd ignores is
# only a warning, so any output fails as well as the exit status.
if ! (cd "$root" && MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" \
    ferrowin.service ferrowin.timer) >"$work/verify" 2>&1; then
    cat "$work/verify"
    fail "systemd-analyze verify failed"
fi
[ ! -s "$work/verify" ] || { cat "$work/verify"; fail "systemd-analyze verify reported the lines above"; }
echo "systemd-analyze verify --root=$root ferrowin.service ferrowin.timer: no findings"

echo "== the service's sandbox: systemd-analyze security"
(cd "$root" && systemd-analyze security --offline=yes --root="$root" ferrowin.service) \
    >"$work/security" 2>&1 || { cat "$work/security"; fail "systemd-analyze security failed"; }
grep '✗' "$work/security" || true
score=$(sed -n 's/^.*Overall exposure level for ferrowin\.service: \([0-9.]*\) .*$/\1/p' "$work/security")
[ -n "$score" ] || { cat "$work/security"; fail "no exposure level in the output"; }
echo "exposure level of ferrowin.service: $score ($(grep -o 'Overall exposure level.*' "$work/security"))"
awk -v s="$score" 'BEGIN { exit !(s < 4.0) }' || fail "exposure level $score is not below 4.0"
grep -q '^Persistent=true$' "$root/lib/systemd/system/ferrowin.timer" || fail "the timer is not persistent"

echo "== the man page: man -l"
man -l "$root/usr/share/man/man8/ferrowin.8.gz" 2>"$work/man-warnings" | head -n 8
man --warnings -l "$root/usr/share/man/man8/ferrowin.8.gz" >/dev/null 2>"$work/man-warnings"
[ ! -s "$work/man-warnings" ] || { cat "$work/man-warnings"; fail "man reported warnings"; }

echo "== sample logs in the service's input folder"
# As an operator would: events to the file that /etc/default/ferrowin names.
sed -i 's|^#KESTRAFOLD_EVENTLOG=|KESTRAFOLD_EVENTLOG=|' "$root/etc/default/ferrowin"
input=$(sed -n 's/^FERROWIN_INPUT=//p' "$root/etc/default/ferrowin")
expect_eq "input folder" /var/spool/ferrowin/ "$input"
"$bin/gen-logs" "$root$input" --rows 40 >/dev/null
mkdir "$work/faulty"
"$bin/gen-logs" "$work/faulty" --rows 20 --kind 2 --fault bad-date >/dev/null
mv "$work/faulty"/*.csv "$root$input/URLLogFile_PC-102_0001.csv"  # 20 bad rows > 10
: >"$root$input/PrintLogFile_PC-102_0001.csv"                     # empty
echo "not a log" >"$root$input/notes.csv"                           # no kind
echo "input: $(ls "$root$input" | wc -l) files"

echo "== the service's command line, once, in the root"
unit=$root/lib/systemd/system/ferrowin.service
environment_file=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
command_line=$(sed -n 's/^ExecStart=//p' "$unit")
environment=()
while IFS= read -r line; do
    [[ $line =~ ^([A-Za-z_][A-Za-z0-9_]*)=(.*)$ ]] || continue
    name=${BASH_REMATCH[1]}
    value=${BASH_REMATCH[2]}
    [[ $value =~ ^\"(.*)\"$ ]] && value=${BASH_REMATCH[1]}
    environment+=("$name=$value")
    command_line=${command_line//"\${$name}"/$value}
done <"$root$environment_file"
read -r -a argv <<<"$command_line"
chroot=$(command -v chroot)
echo "EnvironmentFile=$environment_file: ${environment[*]}"
echo "ExecStart: ${argv[*]}"
set +e
env -i "${environment[@]}" "$chroot" "$root" "${argv[@]}" >"$work/summary"
code=$?
set -e
cat "$work/summary"
expect_eq "exit code (SuccessExitStatus=1)" 1 "$code"
expect_eq "summary lines" 1 "$(wc -l <"$work/summary")"
expect_eq "summary" "ferrowin: 17 files loaded, 2 sent to the error folder, 1 left for a later run, 0 skipped as still being written; 680 rows loaded;" \
    "$(sed 's/ [0-9.]* seconds$//' "$work/summary")"
grep -q '^SuccessExitStatus=1$' "$unit" || fail "the unit would count exit code 1 as a failure"

echo "== rows"
db=$root/var/lib/ferrowin/veyrith.db
sqlite3 "$db" "SELECT TableName, LogCount FROM VY_LogHistory ORDER BY TableName;" |
    tee "$work/history" | column -t -s '|' | paste -sd ' ' | fold -w 100
expect_eq "tables in the history" 17 "$(wc -l <"$work/history")"
expect_eq "tables with 40 rows" 17 "$(awk -F'|' '$2 == 40' "$work/history" | wc -l)"
for table in VY_FileOptLog VY_UrlLog VY_AsInstallSoftware VY_WinAuthLog; do
    expect_eq "rows of $table" 40 "$(sqlite3 "$db" "SELECT COUNT(*) FROM $table;")"
done
expect_eq "DataRunning after the run" 0 "$(sqlite3 "$db" "SELECT DataRunning FROM VY_AsDataRunning;")"

echo "== metrics (FERROWIN_METRICS), read by the Prometheus client's parser"
metrics=$(sed -n 's/^FERROWIN_METRICS=//p' "$root/etc/default/ferrowin")
expect_eq "metrics file" "$metrics_folder/ferrowin.prom" "$metrics"
[ -f "$root$metrics" ] || fail "no metrics file at $metrics"
/usr/bin/python3 - "$root$metrics" >"$work/samples" <<'PARSE' || fail "the metrics file does not parse"
import sys
from prometheus_client.parser import text_string_to_metric_families
for family in text_string_to_metric_families(open(sys.argv[1]).read()):
    for s in family.samples:
        labels = ",".join(k + "=" + v for k, v in sorted(s.labels.items()))
        print(s.name + ("{" + labels + "}" if labels else "") + " " + repr(float(s.value)))
PARSE
sample() { awk -v n="$1" '$1 == n {print $2}' "$work/samples"; }
expect_eq "files loaded" 17.0 "$(sample 'ferrowin_last_run_files{outcome=loaded}')"
expect_eq "files failed" 2.0 "$(sample 'ferrowin_last_run_files{outcome=failed}')"
expect_eq "files left" 1.0 "$(sample 'ferrowin_last_run_files{outcome=left}')"
expect_eq "tables with 40 rows" 17 "$(grep -c '^ferrowin_last_run_rows{table=VY_[A-Za-z]*} 40.0$' "$work/samples")"
expect_eq "a good run" 0.0 "$(sample ferrowin_last_run_success)"
grep '_seconds ' "$work/samples"

echo "== files"
expect_eq "left in the input folder" notes.csv "$(ls "$root$input")"
expect_eq "backup folder" 17 "$(ls "$root/var/lib/ferrowin/backup" | wc -l)"
expect_eq "error folder" "PrintLogFile_PC-102_0001.csv URLLogFile_PC-102_0001.csv" \
    "$(ls "$root/var/lib/ferrowin/error" | paste -sd ' ')"
[ -d "$root/var/lib/ferrowin/LogError" ] || fail "the default error folder was not created"

echo "== events (/var/log/ferrowin/events.log)"
events=$root/var/log/ferrowin/events.log
cat "$events"
expect_eq "event lines" 4 "$(wc -l <"$events")"
expect_eq "source and type" "VeyrithDBMSG warning" "$(cut -f2,3 "$events" | sort -u | tr '\t' ' ')"
expect_eq "event numbers" "10109 10109 2147494870 2147494870" "$(cut -f4 "$events" | sort | paste -sd ' ')"
grep -q $'\t10109\tログファイル\\[/var/spool/ferrowin/URLLogFile_PC-102_0001.csv\\]のインポートに失敗しました。ADO Error: Cannot bulk load because the maximum number of errors (10) was exceeded.' "$events" ||
    fail "no 010109 for the faulty file with the database's text"
grep -q $'\t10109\tログファイル\\[/var/spool/ferrowin/PrintLogFile_PC-102_0001.csv\\]のインポートに失敗しました。$' "$events" ||
    fail "no 010109 without database text for the empty file"

echo "== a backup folder that is missing: the file gets .err"
rmdir "$root/var/lib/ferrowin/backup" 2>/dev/null || mv "$root/var/lib/ferrowin/backup" "$work/old-backup"
rm "$root$input/notes.csv"
"$bin/gen-logs" "$root$input" --rows 5 --kind 0 --seed 7 >/dev/null
name=$(ls "$root$input")
set +e
env -i "${environment[@]}" "$chroot" "$root" "${argv[@]}"
set -e
expect_eq "renamed in place" "$name.err" "$(ls "$root$input")"
grep -q $'\t50603\tログファイル\\['"$input$name"$'\\]をバックアップフォルダ\\[/var/lib/ferrowin/backup/\\]へ' "$events" ||
    fail "no 050603 for the missing backup folder"
expect_eq "rows of VY_FileOptLog" 45 "$(sqlite3 "$db" "SELECT COUNT(*) FROM VY_FileOptLog;")"
# The recovery that the operations guide gives for an imported .err file.
mkdir -p -m 700 "$root/var/lib/ferrowin/backup"
mv "$root$input$name.err" "$root/var/lib/ferrowin/backup/$name"
expect_eq "input folder after the recovery" "" "$(ls -A "$root$input")"

echo "== rotation of the event file: logrotate -d"
# The installed rule, with its paths inside the root; -f shows the rotation
# that a due run would make.
sed "s|^/var/log/|$root/var/log/|" "$root/etc/logrotate.d/ferrowin" >"$work/logrotate.conf"
logrotate -d -f -s "$work/logrotate.state" "$work/logrotate.conf" >"$work/logrotate" 2>&1 ||
    { cat "$work/logrotate"; fail "logrotate -d failed"; }
cat "$work/logrotate"
! grep -q '^error' "$work/logrotate" || fail "logrotate -d reported an error"
grep -q "rotating pattern: $root/var/log/ferrowin/events.log" "$work/logrotate" ||
    fail "logrotate -d did not consider the event file"
grep -q "renaming $root/var/log/ferrowin/events.log to $root/var/log/ferrowin/events.log.1" \
    "$work/logrotate" || fail "logrotate -d would not rotate the event file"

echo "== dpkg --remove"
dpkg_root --remove ferrowin 2>&1
listing >"$work/after-remove"
while IFS= read -r path; do
    case "$path" in
    ./etc | ./etc/default | ./etc/kestrafold | ./etc/kestrafold/Setting | ./etc/kestrafold/Setting/2) ;;
    ./etc/logrotate.d) ;;
    .$metrics_folder/ferrowin.prom) ;;
    ./var | ./var/lib | ./var/log) ;;
    ./var/lib/ferrowin | ./var/lib/ferrowin/* | ./var/log/ferrowin | ./var/log/ferrowin/*) ;;
    *) grep -qxF "${path#.}" <<<"$conffiles" || fail "left after remove: $path" ;;
    esac
done < <(comm -13 "$work/before" "$work/after-remove")
for file in $conffiles; do [ -f "$root$file" ] || fail "conffile gone after remove: $file"; done
echo "left after remove: the conffiles, /var/lib/ferrowin (database, backup, error) and /var/log/ferrowin"

echo "== dpkg --purge"
dpkg_root --purge ferrowin 2>&1
listing >"$work/after-purge"
if ! diff "$work/before" "$work/after-purge"; then
    fail "the root after purge differs from the root before the install (lines above)"
fi
expect_eq "package status after purge" "" \
    "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' ferrowin 2>/dev/null || true)"
echo "install test passed"
