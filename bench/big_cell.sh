#!/usr/bin/env bash
# A P 1 cell of 100 000 atoms (a 100 Angstrom cube of random sites, a third of them with
# anisotropic displacement), simulated whole by the command line over 2 theta 5-90 degrees with
# the default cap of 10 000 reflexions: with Cu K-alpha, and with Mo K-alpha to d = 0.5 Angstrom,
# where the cell has some 17 million reflexions to sort out. Prints the time and the peak memory
# of each run. Needs a release build.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/release/cli/tessaline-cli
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
atoms=${ATOMS:-100000}
/usr/bin/python3 - "$atoms" > "$out/big.cif" <<'PYTHON'
import random
import sys

atoms = int(sys.argv[1])
random.seed(5)
print("data_big\n_cell_length_a 100\n_cell_length_b 100\n_cell_length_c 100")
print("_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90")
print("_symmetry_space_group_name_H-M 'P 1'")
print("loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y")
print("_atom_site_fract_z\n_atom_site_U_iso_or_equiv")
elements = ["O", "Si", "Al", "Fe", "Ca", "Na"]
for i in range(atoms):
    e = elements[i % 6]
    print(f"{e}{i} {e} {random.random():.5f} {random.random():.5f} {random.random():.5f} "
          f"{0.005 + 0.02 * random.random():.4f}")
print("loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22")
print("_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n_atom_site_aniso_U_23")
for i in range(0, atoms, 3):
    print(f"{elements[i % 6]}{i} 0.012 0.015 0.010 0.002 -0.001 0.001")
PYTHON
run() {
  /usr/bin/time -f "%e s, peak memory %M KB" "$cli" --quiet simulate "$out/big.cif" --range 5:90 \
    -o "$out/profile.txt" "$@" 2>&1 | tail -1
}
echo "$atoms atoms, Cu K-alpha: $(run)"
echo "$atoms atoms, Mo K-alpha to d = 0.5 A: $(run --anode Mo --dmin 0.5)"
