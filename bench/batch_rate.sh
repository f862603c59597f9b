#!/usr/bin/env bash
# Structures per second of `tessaline-cli batch` with its default settings (2-theta 5-90 degrees,
# Cu K-alpha, 4500 points, npz output) over the public structure collections, each on its own
# and then the cells of both under MAX_ATOMS atoms (default 200, counted by `info`, a site's
# species each): on one core (the process held to core 0, one thread), on two threads, and the
# scaling between the two; with the processor time per structure, which a busy machine does not
# distort as much as the rates. Each list is run REPEAT times over (default 10), so that the rate
# is that of a long run rather than of the program's start and end. Needs a release build; a
# collection that is absent is skipped. Where python3-pymatgen is installed, pymatgen's rate on
# the same small cells follows (bench/pymatgen_rate.py).
#
#   bench/batch_rate.sh [FOLDER...]     (default ../shared/data/cif ../shared/data/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${CLI:-build/release/cli/tessaline-cli}  # CLI=... times another build
repeat=${REPEAT:-10}
max_atoms=${MAX_ATOMS:-200}
(($# > 0)) || set -- ../shared/data/cif ../shared/data/corpus
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run() {  # name threads [taskset prefix...]
  local name=$1 threads=$2
  shift 2
  /usr/bin/time -f "%e %U %S" -o "$out/time-$name" "$@" "$cli" --quiet batch --list "$out/list" \
    --out "$out/$name" --format npz --threads "$threads" 2> "$out/log-$name" || true  # refused files are part of a collection
  # The last line: time puts a note of a failed exit status before it.
  tail -n 1 "$out/time-$name" > "$out/seconds-$name"
  read -r wall user system < "$out/seconds-$name"
  LC_ALL=C awk -v n="$count" -v w="$wall" -v u="$user" -v s="$system" -v label="$name" \
    'BEGIN { printf "  %-10s %6.2f s  %7.1f structures/s  %5.2f ms of processor time each\n",
                    label, w, n / w, 1000 * (u + s) / n }'
}

measure() {  # label file-of-inputs
  : > "$out/list"
  for ((i = 0; i < repeat; i++)); do cat "$2" >> "$out/list"; done
  count=$(wc -l < "$out/list")
  echo "$1: $(wc -l < "$2") structures, listed $repeat times ($count inputs)"
  run "1-core" 1 taskset -c 0
  run "2-threads" 2
  LC_ALL=C awk -v a="$(cut -d' ' -f1 "$out/seconds-1-core")" \
    -v b="$(cut -d' ' -f1 "$out/seconds-2-threads")" \
    'BEGIN { printf "  scaling from 1 to 2 threads: %.2fx\n", a / b }'
  cmp -s "$out/1-core/patterns.npz" "$out/2-threads/patterns.npz" &&
    echo "  1 core and 2 threads: identical patterns.npz" || echo "  patterns.npz DIFFER"
  rm -rf "$out/1-core" "$out/2-threads"
}

: > "$out/small"
for structures in "$@"; do
  if [ ! -d "$structures" ]; then
    echo "no structures at $structures: skipped"
    continue
  fi
  find "$structures" -name '*.cif' | sort > "$out/once"
  measure "$structures" "$out/once"
  while read -r file; do
    atoms=$("$cli" --quiet info "$file" 2> /dev/null | awk '
      /^Sites:/ { sites = 1; next }
      sites && NF >= 5 {
        for (i = 2; i + 3 <= NF; i++)
          if ($i ~ /^-?[0-9]+\.[0-9]+$/ && $(i + 1) ~ /^-?[0-9]+\.[0-9]+$/ &&
              $(i + 2) ~ /^-?[0-9]+\.[0-9]+$/ && $(i + 3) ~ /^[0-9]+$/) { n += $(i + 3); break }
      }
      END { print n + 0 }') || true
    ((${atoms:-0} > 0 && ${atoms:-0} < max_atoms)) && echo "$file" >> "$out/small"
  done < "$out/once"
done
[ -s "$out/small" ] && measure "cells under $max_atoms atoms, readable, of all" "$out/small"
# The yardstick on the same cells, where Debian's python3-pymatgen is installed.
if [ -s "$out/small" ] && /usr/bin/python3 -c 'import pymatgen' 2> /dev/null; then
  xargs -d '\n' /usr/bin/python3 bench/pymatgen_rate.py --max-atoms="$max_atoms" < "$out/small"
fi
