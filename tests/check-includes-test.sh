#!/usr/bin/env bash
# check-includes.sh on small trees of one file each: the arrows it lets
# through and the ones it stops.
set -euo pipefail
check=$(cd "$(dirname "$0")" && pwd)/check-includes.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# expected outcome | file | the line it holds
cases='
pass|Server/Ferrowin/Run.cpp|#include "Server/Ferrowin/database/ADODatabase.h"
pass|Server/Ferrowin/Run.cpp|#include "Platform/Ado/Ado.h"
pass|Server/Ferrowin/Run.cpp|#include "Schema/LogKind.h"
pass|Platform/Ado/Embedded/Load.cpp|#include "Platform/Win32/Win32Api.h"
pass|Platform/Ado/Embedded/Load.cpp|#include <sqlite3.h>
pass|Schema/Kinds.cpp|#include <string>
pass|Pellinor/Sink.cpp|  #  include "Pellinor/Pellinor.h"
pass|tests/Server/RunTest.cpp|#include "Server/Ferrowin/LogCollect.h"
pass|tools/gen.cpp|#include "tests/Support/TempDir.h"
fail|Platform/Ado/Embedded/LogSchema.cpp|#include "Server/Ferrowin/LogKind.h"
fail|Server/Ferrowin/database/Db.cpp|#include "Server/Ferrowin/LogCollect.h"
fail|Platform/Seam.cpp|#include "Platform/Ado/Ado.h"
fail|Platform/Seam.cpp|#include "Brennick/Ini.h"
fail|Schema/Kinds.cpp|#include "Platform/Platform.h"
fail|Schema/Kinds.cpp|#include <strings.h>
fail|Pellinor/Sink.cpp|#include "Brennick/Helpers.h"
fail|Server/Ferrowin/Run.cpp|#include "Pellinor/Pellinor.h"
fail|Platform/Seam.cpp|#include "tests/Support/TempDir.h"
fail|Server/Ferrowin/Run.cpp|#include "LogKind.h"
fail|Elsewhere/Thing.cpp|#include <string>
'

failures=0
while IFS='|' read -r expected file line; do
    [ -n "$expected" ] || continue
    rm -rf "$tmp/tree"
    mkdir -p "$tmp/tree/$(dirname "$file")"
    printf '%s\n' "$line" >"$tmp/tree/$file"
    if "$check" "$tmp/tree" >"$tmp/out" 2>&1; then got=pass; else got=fail; fi
    if [ "$got" != "$expected" ]; then
        echo "expected $expected, got $got: $file: $line" >&2
        cat "$tmp/out" >&2
        failures=$((failures + 1))
    fi
    # A refusal names the file and line.
    if [ "$got" = fail ] && ! grep -q "^$file:[01]: " "$tmp/out"; then
        echo "no file:line in the report for $file: $line" >&2
        cat "$tmp/out" >&2
        failures=$((failures + 1))
    fi
done <<<"$cases"
[ "$failures" -eq 0 ]
