#!/usr/bin/env bash
# Configures (once) and builds the project into build/ with ninja and ccache.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANTA_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"

if [[ ! -f "$build/build.ninja" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$build" --parallel "$(nproc)"
