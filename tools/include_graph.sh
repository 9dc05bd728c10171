#!/usr/bin/env bash
# Which folder of the engine includes which: one line per pair of folders,
# "from -> to (files)", counting the files of `from` that include a header
# of `to`; then every pair of folders that include each other.
# Usage: tools/include_graph.sh [source root]   (default: the repository)
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"
folders="shell board eval search book egtb platform"

pairs=$(for from in $folders; do
    [ -d "$from" ] || continue
    for file in "$from"/*.cpp "$from"/*.h; do
        [ -e "$file" ] || continue
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z_]*\)\/.*/\1/p' "$file" |
            sort -u | while read -r to; do
                [ "$to" != "$from" ] && echo "$from $to $file"
            done
    done
done | awk '{ n[$1" "$2]++ } END { for (p in n) print p, n[p] }' | sort)

echo "$pairs" | awk 'NF { printf "%-9s -> %-9s (%d files)\n", $1, $2, $3 }'
echo
cycles=$(echo "$pairs" | awk 'NF { edge[$1" "$2] = 1 } END {
    for (e in edge) { split(e, f, " "); if (f[1] < f[2] && (f[2]" "f[1]) in edge) print f[1] " <-> " f[2] } }' | sort)
if [ -n "$cycles" ]; then
    echo "folders that include each other:"
    echo "$cycles"
else
    echo "no two folders include each other"
fi
