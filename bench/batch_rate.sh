#!/usr/bin/env bash
# Structures per second of `tessaline-cli batch` with its default settings over the public
# structure collection in ../shared/data/cif, with one and with two threads. Needs a release
# build; skipped when the collection is absent.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/release/cli/tessaline-cli
structures=${1:-../shared/data/cif}
if [ ! -d "$structures" ]; then
  echo "no structures at $structures: skipped"
  exit 0
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count=$(find "$structures" -name '*.cif' | wc -l)
for threads in 1 2; do
  start=$(date +%s.%N)
  "$cli" --quiet batch --dir "$structures" --out "$out/$threads" --format npz --threads "$threads" \
    2> "$out/log-$threads" || true  # refused structures are part of a collection
  end=$(date +%s.%N)
  LC_ALL=C awk -v n="$count" -v t="$threads" -v s="$start" -v e="$end" \
    'BEGIN { printf "%d threads: %d structures in %.2f s, %.1f structures/s\n", t, n, e - s, n / (e - s) }'
done
cmp "$out/1/patterns.npz" "$out/2/patterns.npz" && echo "1 and 2 threads: identical patterns.npz"
