#!/usr/bin/python3
"""Structures per second of pymatgen's XRDCalculator over CIF files, the yardstick for
`tessaline-cli batch` (bench/batch_rate.sh) with the same settings: Cu K-alpha, 2 theta 5-90.

    /usr/bin/python3 bench/pymatgen_rate.py [--max-atoms=N] FILE.cif...

Files pymatgen cannot read, and cells of more than N atoms (default 200), are left out; the
rate counts only the calculation of patterns, not reading. Needs Debian's python3-pymatgen.
"""
import sys
import time
import warnings

warnings.filterwarnings("ignore")

from pymatgen.analysis.diffraction.xrd import XRDCalculator  # noqa: E402
from pymatgen.io.cif import CifParser  # noqa: E402

max_atoms = 200
paths = []
for argument in sys.argv[1:]:
    if argument.startswith("--max-atoms="):
        max_atoms = int(argument.split("=", 1)[1])
    else:
        paths.append(argument)

calculator = XRDCalculator(wavelength="CuKa")
seconds, done, skipped = 0.0, 0, 0
for path in paths:
    try:
        structure = CifParser(path).get_structures(primitive=False)[0]
    except Exception:  # noqa: BLE001 - a file pymatgen refuses is simply not counted
        skipped += 1
        continue
    if len(structure) > max_atoms:
        skipped += 1
        continue
    start = time.perf_counter()
    calculator.get_pattern(structure, two_theta_range=(5, 90))
    seconds += time.perf_counter() - start
    done += 1
print(f"pymatgen: {done} structures in {seconds:.2f} s, {done / seconds:.1f} structures/s, "
      f"{1000 * seconds / done:.1f} ms each ({skipped} left out)")
