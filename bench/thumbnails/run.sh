#!/usr/bin/env bash
# Builds the benchmarks and times thumbnail making and the cached listing
# against vipsthumbnail and vips over 200 generated 12-megapixel JPEGs.
# The pictures are kept in <build>/bench-data/thumbnails between runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANTA_BENCH=ON -DORVANTA_TESTS=OFF >/dev/null
cmake --build "$build" --target orvanta_thumbnail_bench
"$build/bin/orvanta_thumbnail_bench" "$build/bench-data/thumbnails" "${1:-200}"
