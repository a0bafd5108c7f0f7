#!/usr/bin/env bash
# Times CXmlDocument against `xmllint --stream` (Debian libxml2-utils) on the
# same two documents in one run: a 10 MB response-like document and one
# nested 100,000 levels deep. Usage: compare_xmllint.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: compare_xmllint.sh BUILD_DIR (configured with -DORVANTA_BENCH=ON)}
parse="$build/bin/orvanta-xml-parse-file"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$parse" --write-flat 10 "$work/flat.xml"
"$parse" --write-nested 100000 "$work/nested.xml"

# Best of five wall-clock runs, in seconds.
best_of_five() {
    local best="" t
    for _ in 1 2 3 4 5; do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [[ -z "$best" ]] || (($(echo "$t < $best" | bc -l))); then best=$t; fi
    done
    echo "$best"
}

printf '%-12s %10s %14s %14s %10s %10s\n' document bytes "ours ms" "xmllint ms" "ours MB/s" ratio
for name in flat nested; do
    file="$work/$name.xml"
    bytes=$(stat -c %s "$file")
    ours=$(best_of_five "$parse" "$file")
    # libxml2 refuses nesting beyond 256 levels unless told the document is huge.
    theirs=$(best_of_five xmllint --stream --noout --huge "$file")
    printf '%-12s %10d %14.1f %14.1f %10.0f %10.2f\n' "$name" "$bytes" \
        "$(echo "$ours * 1000" | bc -l)" "$(echo "$theirs * 1000" | bc -l)" \
        "$(echo "$bytes / $ours / 1000000" | bc -l)" "$(echo "$theirs / $ours" | bc -l)"
done
echo "ratio = xmllint time / our time (above 1: we are faster); times include starting the process and reading the file"
"$parse" "$work/flat.xml" --repeat 5
"$parse" "$work/nested.xml" --repeat 5
xmllint --stream --noout --huge "$work/nested.xml" && echo "xmllint: nested.xml well-formed"
