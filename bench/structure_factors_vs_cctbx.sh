#!/usr/bin/env bash
# The whole structure-factors command (process start, reading, reflexions, structure factors,
# listing) against cctbx's direct summation alone, on the largest cells of the shared
# collection: every reflexion that Cu K-alpha-1 reaches, d > 1.5405 / 2 Angstrom, on both sides.
# Needs a release build, hyperfine and python3-cctbx (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/release/cli/tessaline-cli
structures=${STRUCTURES:-../shared/data/cif}
if [ ! -d "$structures" ]; then
  echo "no structures at $structures: skipped"
  exit 0
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for name in 9009232 9014915; do
  file=$structures/$name.cif
  cctbx=$(/usr/bin/python3 bench/cctbx_direct.py 0.77025 "$file" | cut -f3)
  for threads in 1 2; do
    OMP_NUM_THREADS=$threads hyperfine -N --warmup 2 --runs 10 --export-json "$out/t.json" \
      "$cli structure-factors $file --max-reflexions 0 -o $out/listing.txt" > /dev/null
    ours=$(/usr/bin/python3 -c "import json; print(json.load(open('$out/t.json'))['results'][0]['mean'])")
    LC_ALL=C awk -v n="$name" -v t="$threads" -v c="$cctbx" -v o="$ours" \
      'BEGIN { printf "%s: cctbx %.3f s, Tessaline %.3f s on %d thread(s): %.1fx\n", n, c, o, t, c / o }'
  done
done
