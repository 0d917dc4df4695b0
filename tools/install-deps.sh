#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# when any is missing. Needs root for apt; prints what is missing otherwise.
set -euo pipefail

packages=(
    cmake g++ make pkg-config       # the build
    libgtest-dev                    # unit tests
    clang-format                    # formatting check
    clang libclang-rt-14-dev        # clang's UBSan build and the libFuzzer targets (tools/fuzz.sh)
    libsqlite3-dev sqlite3          # the embedded database, and the benchmark baseline
    libssl-dev                      # libcrypto's SHA-256 for the load ledger
    bc                              # arithmetic in the benchmark script
    unixodbc unixodbc-dev           # the ODBC driver manager
    libsqliteodbc                   # a real ODBC driver for the tests
    postgresql odbc-postgresql      # a real server for the connection-loss tests
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64  # Windows builds
    googletest                      # GoogleTest's source, compiled for the Windows tests
    wine wine64                     # runs the x86_64 Windows tests (wine gives the command)
    nodejs                          # npm fetches SQLite's amalgamation (tools/fetch-sqlite.sh)
    dpkg-dev                        # dpkg-shlibdeps: the .deb's Depends
    systemd                         # systemd-analyze verify of the units
    man-db groff-base               # man -l of the manual page
    python3-prometheus-client       # a real Prometheus text parser for the metrics file
    logrotate                       # logrotate -d of the event file's rotation
)
# npm comes with some builds of nodejs and is a package of its own in Debian.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages (run as root to install): ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
