#!/usr/bin/python3
"""Independent reference for Tessaline's simulated patterns, outside the product.

Prints, for each structure, the ten strongest peaks of pymatgen's XRDCalculator (2 theta,
relative intensity, hkl, d) and times the calculation, so that the benchmark can report the
ratio of the two programs' speeds.

    /usr/bin/python3 bench/pymatgen_compare.py [--repeats=N] tests/data/quartz.cif tests/data/corundum.cif

Needs the Debian package python3-pymatgen. Displacement parameters are passed to pymatgen as
Debye-Waller B factors per element, taken from the CIF (B = 8 pi^2 U), so that both programs
damp the same way. pymatgen's Lorentz-polarisation factor is (1 + cos^2 2t) / (sin^2 t cos t);
Tessaline's is (1 + cos^2 2t) / 2 / (sin 2t sin t), a quarter of it, so relative intensities
compare directly. pymatgen builds X-ray form factors from neutral-atom parameters; Tessaline
uses the ionic records where the CIF names ions, which moves low-angle intensities by a few
per cent.
"""
import math
import sys
import time
import warnings

warnings.filterwarnings("ignore")

from pymatgen.analysis.diffraction.xrd import XRDCalculator  # noqa: E402
from pymatgen.core import Lattice, Species, Structure  # noqa: E402
from pymatgen.io.cif import CifParser  # noqa: E402

WAVELENGTH = 1.5405  # Tessaline's built-in K-alpha-1


def debye_waller(path):
    """B per element from the CIF's U_iso or B_iso column."""
    factors = {}
    block = CifParser(path).as_dict()
    data = next(iter(block.values()))
    symbols = data.get("_atom_site_type_symbol")
    if "_atom_site_U_iso_or_equiv" in data:
        values = [8 * math.pi**2 * float(u.split("(")[0]) for u in data["_atom_site_U_iso_or_equiv"]]
    elif "_atom_site_B_iso_or_equiv" in data:
        values = [float(b.split("(")[0]) for b in data["_atom_site_B_iso_or_equiv"]]
    else:
        return factors
    for symbol, b in zip(symbols, values):
        element = "".join(c for c in symbol if c.isalpha())
        factors[element] = b
    return factors


def read_structure(path):
    """The structure from the CIF's own cell, symbol and sites. pymatgen's CIF reader does not
    take settings such as "F d -3 m :2", while its space-group table does."""
    data = next(iter(CifParser(path).as_dict().values()))
    number = lambda text: float(text.split("(")[0])
    lattice = Lattice.from_parameters(*(number(data[f"_cell_{k}"]) for k in (
        "length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma")))
    symbol = data.get("_symmetry_space_group_name_H-M") or data["_space_group_name_H-M_alt"]
    species = [Species.from_string(s) if s[-1] in "+-" else s for s in data["_atom_site_type_symbol"]]
    coords = [[number(data[f"_atom_site_fract_{k}"][i]) for k in "xyz"] for i in range(len(species))]
    return Structure.from_spacegroup(symbol, lattice, species, coords)


def main(arguments):
    repeats = 5
    if arguments and arguments[0].startswith("--repeats="):
        repeats = int(arguments.pop(0).split("=", 1)[1])
    for path in arguments:
        structure = read_structure(path)
        calculator = XRDCalculator(wavelength=WAVELENGTH, debye_waller_factors=debye_waller(path))
        start = time.perf_counter()
        for _ in range(repeats):
            pattern = calculator.get_pattern(structure, scaled=True, two_theta_range=(0, 180))
        elapsed = (time.perf_counter() - start) / repeats
        print(f"{path}: {len(pattern.x)} peaks, {elapsed * 1000:.1f} ms per pattern")
        peaks = sorted(zip(pattern.y, pattern.x, pattern.hkls, pattern.d_hkls), reverse=True)[:10]
        for y, x, hkls, d in peaks:
            hkl = " ".join("".join(str(i) for i in h["hkl"]) for h in hkls)
            print(f"  2theta {x:9.4f}  d {d:8.5f}  I {y:7.2f}  {hkl}")


if __name__ == "__main__":
    main(sys.argv[1:])
