#!/usr/bin/env bash
# Times the whole simulate command, process start included, against pymatgen's XRDCalculator
# on the same structures. Needs a release build, hyperfine and python3-pymatgen (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/release/cli/tessaline-cli
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
structures=(examples/quartz.cif tests/data/corundum.cif tests/data/silicon.cif)
commands=()
for structure in "${structures[@]}"; do
  commands+=("$cli simulate $structure -o $out/profile.txt")
done
hyperfine -N --warmup 3 --runs 30 "${commands[@]}"
# pymatgen in its own process (interpreter start and imports included), then per pattern.
hyperfine -N --warmup 1 --runs 5 "/usr/bin/python3 bench/pymatgen_compare.py --repeats=1 ${structures[0]}"
/usr/bin/python3 bench/pymatgen_compare.py --repeats=20 "${structures[@]}" | grep "per pattern"
