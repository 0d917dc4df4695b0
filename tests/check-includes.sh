#!/usr/bin/env bash
# Fails on any #include between folders that the layering does not allow, so
# that no dependency can point upward again.
#   check-includes.sh [source folder]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# The layers, top to bottom. A file may include the headers of its own layer
# and of any layer below it, and belongs to the longest folder that holds it.
# Pellinor stands alone; tests, tools and benchmarks may include anything, and
# nothing that ships includes them. Schema takes only the C++ standard library.
layers='
Server/Ferrowin           1
Server/Ferrowin/database  2
Brennick                  3
Platform/Ado              4
Platform                  5
Schema                    6
Pellinor                  alone
tests                     free
tools                     free
bench                     free
'

cd "$root"
find . \( -path ./build -o -path ./out -o -path ./.git \) -prune -o -type f \
    \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' \) -print |
    sed 's|^\./||' | sort |
    awk -v table="$layers" '
    BEGIN {
        n = split(table, rows, "\n")
        for (i = 1; i <= n; i++)
            if (split(rows[i], f, " ") == 2) rank[f[1]] = f[2]
        bad = 0
    }
    # The longest folder of the table that holds `path`, or "".
    function layer(path,    dir, best) {
        best = ""
        for (dir in rank)
            if (index(path, dir "/") == 1 && length(dir) > length(best)) best = dir
        return best
    }
    function fail(file, line, text) {
        printf "%s:%d: %s\n", file, line, text
        bad = 1
    }
    {
        file = $0
        from = layer(file)
        if (from == "") { fail(file, 0, "its folder is not in the table of layers"); next }
        lineno = 0
        while ((getline text < file) > 0) {
            lineno++
            if (text !~ /^[ \t]*#[ \t]*include[ \t]*[<"]/) continue
            target = text
            sub(/^[ \t]*#[ \t]*include[ \t]*/, "", target)
            quoted = substr(target, 1, 1) == "\""
            sub(/^[<"]/, "", target)
            sub(/[>"].*$/, "", target)
            if (!quoted) {
                # The standard library headers have no extension.
                if (from == "Schema" && target ~ /\./)
                    fail(file, lineno, "Schema includes <" target ">, which is not the standard library")
                continue
            }
            to = layer(target)
            if (to == "") { fail(file, lineno, "\"" target "\" is in no folder of the table"); continue }
            if (rank[from] == "free" || to == from) continue
            if (rank[to] == "free" || rank[from] == "alone" || rank[to] == "alone" || rank[to] + 0 < rank[from] + 0)
                fail(file, lineno, from " may not include " target " (" to ")")
        }
        close(file)
    }
    END { exit bad }'
