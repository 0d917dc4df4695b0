#!/usr/bin/env bash
# Puts SQLite's amalgamation (sqlite3.c, sqlite3.h) into build/third_party/sqlite
# for the Windows builds of the embedded database. Debian ships SQLite only as
# a Linux library; the amalgamation comes from the npm package better-sqlite3,
# pinned here by version and by the SHA-256 of the two files. Never committed.
set -euo pipefail
cd "$(dirname "$0")/.."

package=better-sqlite3
version=12.4.1  # carries SQLite 3.50.4
sha_c=90b7189566ea710ee18361b25d893f5cda3fcf43033223a16384762f53e99a85
sha_h=abd1514e0351f79393d1be882830afdb40a8099e8257f311f0bfdf8486f11bea
dest=build/third_party/sqlite

verify() {  # folder
    printf '%s  %s\n%s  %s\n' "$sha_c" "$1/sqlite3.c" "$sha_h" "$1/sqlite3.h" |
        sha256sum --check --quiet --status
}

if [ -f "$dest/sqlite3.c" ] && verify "$dest"; then
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "$package@$version" >/dev/null)
tar -xzf "$work/$package-$version.tgz" -C "$work" \
    package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
if ! verify "$work/package/deps/sqlite3"; then
    echo "fetch-sqlite: checksum mismatch in $package@$version" >&2
    exit 1
fi
mkdir -p "$dest"
mv "$work/package/deps/sqlite3/sqlite3.c" "$work/package/deps/sqlite3/sqlite3.h" "$dest/"
echo "fetch-sqlite: SQLite amalgamation from $package@$version in $dest"
