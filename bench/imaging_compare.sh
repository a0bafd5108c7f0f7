#!/usr/bin/env bash
# Times the image object against libvips (vips) and ImageMagick (convert) on
# the same 4000 x 3000 JPEG, in one run, and prints the ratios (reference
# time / our time: above 1 means we are faster).
#
#   bench/imaging_compare.sh [build-dir]     (configured with -DORVANTA_BENCH=ON)
#
# Our figures are in-process (Google Benchmark, wall-clock time of the operation
# alone). The reference tools run as commands; their operation time is the
# command's time minus the time of the same command that only decodes, the
# best of three runs each. Both sides are wall-clock times, so a busy
# machine slows both.
set -euo pipefail

build=${1:-build-bench}
bench="$build/bin/orvanta_imaging_bench"
[[ -x "$bench" ]] || { echo "missing $bench (cmake -DORVANTA_BENCH=ON; build orvanta_imaging_bench)" >&2; exit 1; }
command -v vips >/dev/null || { echo "vips missing (apt-get install libvips-tools)" >&2; exit 1; }
convert=/usr/bin/convert
[[ -x "$convert" ]] || { echo "convert missing (apt-get install imagemagick)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photo="$work/photo.jpg"

# Our run also writes the picture the others read.
ORVANTA_BENCH_JPEG="$photo" "$bench" --benchmark_format=csv --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true 2>/dev/null >"$work/ours.csv"
ours() { # wall-clock milliseconds of the median of a benchmark
    awk -F, -v name="\"$1_median\"" '$1 == name { printf "%.1f", $3 }' "$work/ours.csv"
}

best_ms() { # best of three wall-clock runs of a command, in milliseconds
    local best=""
    for _ in 1 2 3; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        local ms=$(( (end - start) / 1000000 ))
        [[ -z "$best" || $ms -lt $best ]] && best=$ms
    done
    echo "$best"
}

vips_decode=$(best_ms vips avg "$photo")
vips_copy=$(best_ms vips copy "$photo" "$work/out.v")
vips_reduced=$(best_ms vips avg "$photo[shrink=8]")
vips_blur=$(( $(best_ms vips gaussblur "$photo" "$work/out.v" 2.75) - vips_copy ))
vips_shrink=$(( $(best_ms vips shrink "$photo" "$work/out.v" 5 5) - vips_copy ))
im_decode=$(best_ms "$convert" "$photo" null:)
im_reduced=$(best_ms "$convert" -define jpeg:size=500x375 "$photo" null:)
im_blur=$(( $(best_ms "$convert" "$photo" -blur 0x2.75 null:) - im_decode ))
im_shrink=$(( $(best_ms "$convert" "$photo" -filter Box -resize 800x600 null:) - im_decode ))

printf '%-34s %10s %10s %10s %10s %10s\n' operation "ours ms" "vips ms" "IM ms" vips/ours IM/ours
row() {
    awk -v n="$1" -v o="$2" -v v="$3" -v m="$4" \
        'BEGIN { printf "%-34s %10.1f %10.1f %10.1f %10.2f %10.2f\n", n, o, v, m, v / o, m / o }'
}
full=$(ours BM_DecodeJpegFull)
reduced=$(ours BM_DecodeJpegReduced)
row "decode 4000x3000 JPEG" "$full" "$vips_decode" "$im_decode"
row "reduced decode (1/8, 500x375)" "$reduced" "$vips_reduced" "$im_reduced"
row "GaussianBlur radius 5 (sigma 2.75)" "$(ours BM_GaussianBlur5)" "$vips_blur" "$im_blur"
row "ResampleTo 800x600 (area)" "$(ours BM_ResampleTo800x600)" "$vips_shrink" "$im_shrink"
awk -v f="$full" -v r="$reduced" 'BEGIN { printf "full / reduced decode: %.2f\n", f / r }'
# Wall-clock figures on a shared machine depend on what else runs.
echo "load average during the run: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
