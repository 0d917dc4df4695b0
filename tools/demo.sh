#!/usr/bin/env bash
# Placeholder until the embedded database lands: builds everything.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "$(nproc)"
