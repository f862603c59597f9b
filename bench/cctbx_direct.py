#!/usr/bin/python3
"""Times cctbx's direct summation of the structure factors of CIFs.

    /usr/bin/python3 bench/cctbx_direct.py D_MIN FILE.cif...

Prints one line per file: its name, the number of unique reflexions and the seconds cctbx takes
to build them and sum their structure factors (reading the file is not counted). Needs the
Debian package python3-cctbx; an independent anchor for Tessaline's speed, never a dependency.
"""
import sys
import time

import iotbx.cif
from cctbx import miller

d_min = float(sys.argv[1])
for path in sys.argv[2:]:
    structure = next(iter(iotbx.cif.reader(file_path=path).build_crystal_structures().values()))
    structure.scattering_type_registry(table="it1992")
    start = time.perf_counter()
    reflexions = miller.build_set(structure, anomalous_flag=False, d_min=d_min)
    f = reflexions.structure_factors_from_scatterers(structure, algorithm="direct").f_calc()
    print(f"{path}\t{f.size()}\t{time.perf_counter() - start:.3f}")
