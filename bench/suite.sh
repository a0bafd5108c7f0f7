#!/usr/bin/env bash
# The benchmark suite: makes the corpus (once; it is deterministic and kept),
# then measures the program side by side with reference tools in one run
# and prints a table of ratios (reference time / ours: above 1, we are faster).
#   bench/suite.sh [DATA_DIR]
# Never part of the test run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
data=${1:-$build/bench-data}

need=(libvips-tools imagemagick sqlite3 time)
missing=()
for p in "${need[@]}"; do
    [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""; [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANTA_BENCH=ON -DORVANTA_TESTS=OFF >/dev/null
cmake --build "$build" --target orvanta-cli orvanta_bench_corpus >/dev/null
cli=$build/bin/orvanta-cli

echo "Making the corpus in $data (kept between runs)..." >&2
"$build/bin/orvanta_bench_corpus" pictures "$data/big" 200 4000 3000
"$build/bin/orvanta_bench_corpus" pictures "$data/small" 2000 640 480
"$build/bin/orvanta_bench_corpus" catalogue "$data/catalogue" 100000

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-suite-XXXXXX")
trap 'rm -rf "$work"' EXIT

# timed LABEL CMD...: runs the command, records "seconds peak-KiB" in $work/LABEL.
timed() {
    local label=$1; shift
    /usr/bin/time -f "%e %M" -o "$work/$label" "$@" >/dev/null 2>"$work/$label.err" ||
        { echo "failed: $*" >&2; cat "$work/$label.err" >&2; exit 1; }
}
seconds() { cut -d' ' -f1 "$work/$1"; }
peak() { cut -d' ' -f2 "$work/$1"; }

# A fresh account for the program: its own catalogue and thumbnail cache.
fresh_home() {
    export HOME="$work/home-$1"
    unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
    mkdir -p "$HOME"
}

echo "Indexing 200 camera-sized pictures..." >&2
fresh_home big
timed index_big "$cli" index "$data/big"
timed relist_big "$cli" index "$data/big"
thumbs="$HOME/.local/share/Orvanta/Thumbs"
mkdir -p "$work/vips-big" "$work/im-big"
timed vips_big vipsthumbnail -s 200 -o "$work/vips-big/%s.png" "$data/big"/*.JPG
# ImageMagick is slow here: 20 pictures, scaled up to 200.
timed im_big20 bash -c 'for f in "$@"; do convert -define jpeg:size=400x400 "$f" -thumbnail 200x200 "'"$work/im-big"'/$(basename "$f").png"; done' _ $(ls "$data/big"/*.JPG | head -20)
timed vips_pngs vips arrayjoin "$(ls "$thumbs"/*.png | tr '\n' ' ')" "$work/joined.v"

echo "Indexing 2,000 small pictures..." >&2
fresh_home small
timed index_small "$cli" index "$data/small"
mkdir -p "$work/vips-small"
timed vips_small vipsthumbnail -s 200 -o "$work/vips-small/%s.png" "$data/small"/*.JPG

echo "Searching a catalogue of 100,000 assets..." >&2
fresh_home search
mkdir -p "$HOME/.local/share/Orvanta"
cp "$data/catalogue/db.db3" "$HOME/.local/share/Orvanta/db.db3"
timed search_half "$cli" search harbour
timed search_all "$cli" search d
db="$HOME/.local/share/Orvanta/db.db3"
terms=$(sed 's/REPLACE_ME/harbour/g' <<'SQL'
SELECT DISTINCT assettokeyword.assetid FROM assettokeyword, keywords WHERE (keywords.keyword LIKE '%REPLACE_ME%') AND keywords.id=assettokeyword.keywordid;
SELECT DISTINCT id FROM assets WHERE filename LIKE '%REPLACE_ME%';
SELECT DISTINCT assetid FROM image WHERE description LIKE '%REPLACE_ME%' OR title LIKE '%REPLACE_ME%' OR artist LIKE '%REPLACE_ME%' OR copyright LIKE '%REPLACE_ME%' OR usercomment LIKE '%REPLACE_ME%' OR equipmake LIKE '%REPLACE_ME%' OR  equipmodel LIKE '%REPLACE_ME%' OR makernote LIKE '%REPLACE_ME%' OR datetaken LIKE '%REPLACE_ME%';
SELECT folderid, filename,id,timesynced,timescanned,isimage,isfolder FROM assets WHERE id IN (SELECT assetid FROM image WHERE title LIKE '%REPLACE_ME%');
SQL
)
timed sqlite_half sqlite3 "$db" "$terms"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == 0) a = 0.01; printf "%.2f", b / a }'; }
im200=$(awk -v s="$(seconds im_big20)" 'BEGIN { printf "%.2f", s * 10 }')

echo
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-52s %10s %12s %10s\n' "measure" "ours (s)" "reference (s)" "ratio"
row() { printf '%-52s %10s %12s %10s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }
row "index 200 x 12 MP vs vipsthumbnail -s 200" "$(seconds index_big)" "$(seconds vips_big)"
row "index 200 x 12 MP vs ImageMagick (20 files x 10)" "$(seconds index_big)" "$im200"
row "re-list 200 (cached) vs vips reading the 200 PNGs" "$(seconds relist_big)" "$(seconds vips_pngs)"
row "index 2,000 x 0.3 MP vs vipsthumbnail -s 200" "$(seconds index_small)" "$(seconds vips_small)"
row "search, 50,000 of 100,000 hits vs sqlite3 terms" "$(seconds search_half)" "$(seconds sqlite_half)"
echo
printf '%-52s %10s\n' "peak memory" "MiB"
printf '%-52s %10s\n' "index 2,000 small pictures" "$(( $(peak index_small) / 1024 ))"
printf '%-52s %10s\n' "index 200 camera pictures" "$(( $(peak index_big) / 1024 ))"
printf '%-52s %10s\n' "list 100,000 assets (search hitting all)" "$(( $(peak search_all) / 1024 ))"
printf '%-52s %10s\n' "time to list 100,000 assets (s)" "$(seconds search_all)"
