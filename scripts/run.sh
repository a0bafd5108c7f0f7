#!/usr/bin/env bash
# Builds the program (installing what is missing) and starts it. Arguments go to the program.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/build.sh"
exec "${ORVANTA_BUILD_DIR:-$root/build}/bin/orvanta" "$@"
