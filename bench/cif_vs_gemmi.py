#!/usr/bin/python3
"""Times Tessaline's CIF reader against gemmi's on the same file, in the same run.

Writes the large CIF of the BM_ReadCif benchmark (about 5 MB, about 90 000 sites with standard
uncertainties) to a temporary file, reads it into a structure with gemmi
(cif.read_file, then make_small_structure_from_block) and with Tessaline (the BM_ReadCifFile
benchmark: file opened and read into a crystal), and prints both times and their ratio: the
median of the repeats, and the best of them, which other work on the machine disturbs least.
A Tessaline crystal as read holds the symmetry-equivalent positions of every site; gemmi's
SmallStructure does not, so the time gemmi takes to add them is printed too.

    /usr/bin/python3 bench/cif_vs_gemmi.py [--megabytes=5] [--repeats=10] [BENCH ...]

BENCH defaults to build/release/bench/tessaline_cif_bench; name several (say, one built from an
older commit) to compare them all against gemmi in the one run. Needs the Debian package
python3-gemmi; gemmi is only the yardstick here, nothing of Tessaline needs it.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import gemmi

ELEMENTS = ["Si", "O", "Al", "Na", "Ca", "Fe"]
HEADER = (
    "data_large\n_cell_length_a 30.123(4)\n_cell_length_b 31.456(5)\n_cell_length_c 32.789(6)\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 101.5(2)\n_cell_angle_gamma 90\n"
    "_symmetry_space_group_name_H-M 'P 1 21/c 1'\nloop_\n_symmetry_equiv_pos_as_xyz\n"
    "'x, y, z'\n'-x, y+1/2, -z+1/2'\n'-x, -y, -z'\n'x, -y-1/2, z-1/2'\n"
    "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
    "_atom_site_fract_z\n_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n"
)


def large_cif(megabytes):
    """The text LargeCif in bench/cif_bench.cpp writes, byte for byte."""
    parts = [HEADER]
    size = len(HEADER)
    i = 0
    while size < megabytes * 1e6:
        e = ELEMENTS[i % 6]
        line = "%s%d %s 0.%05d(3) 0.%05d(4) 0.%05d(3) 0.0%03d(2) 1\n" % (
            e, i, e, (i * 7919) % 100000, (i * 104729) % 100000, (i * 1299709) % 100000,
            100 + i % 800)
        parts.append(line)
        size += len(line)
        i += 1
    return "".join(parts), i


def time_gemmi(path, repeats):
    """Times of reading into a SmallStructure, and of that plus the expansion into the sites
    of the whole cell (get_all_unit_cell_sites), which a Tessaline crystal holds as read."""
    times, expanded = [], []
    sites = 0
    for _ in range(repeats):
        start = time.perf_counter()
        block = gemmi.cif.read_file(path).sole_block()
        structure = gemmi.make_small_structure_from_block(block)
        times.append(time.perf_counter() - start)
        structure.get_all_unit_cell_sites()
        expanded.append(time.perf_counter() - start)
        sites = len(structure.sites)
    return times, expanded, sites


def time_tessaline(bench, path, repeats):
    env = dict(os.environ, TESSALINE_BENCH_CIF=path)
    result = subprocess.run(
        [bench, "--benchmark_filter=^BM_ReadCifFile$", "--benchmark_format=json",
         "--benchmark_repetitions=%d" % repeats, "--benchmark_report_aggregates_only=false"],
        env=env, check=True, capture_output=True, text=True)
    runs = [b for b in json.loads(result.stdout)["benchmarks"]
            if b.get("run_type") == "iteration"]
    if not runs:
        sys.exit("%s ran no BM_ReadCifFile (is it an older build?)" % bench)
    if any("error_message" in b for b in runs):
        sys.exit("%s: %s" % (bench, runs[0]["error_message"]))
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    return [b["real_time"] * scale[b["time_unit"]] for b in runs], int(runs[0]["sites"])


def main():
    megabytes, repeats, benches = 5.0, 10, []
    for argument in sys.argv[1:]:
        if argument.startswith("--megabytes="):
            megabytes = float(argument.split("=", 1)[1])
        elif argument.startswith("--repeats="):
            repeats = int(argument.split("=", 1)[1])
        elif argument.startswith("-"):
            sys.exit(__doc__)
        else:
            benches.append(argument)
    if not benches:
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
        benches = [os.path.normpath(os.path.join(root, "build/release/bench/tessaline_cif_bench"))]

    text, rows = large_cif(megabytes)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "large.cif")
        with open(path, "w", encoding="ascii", newline="\n") as f:
            f.write(text)
        print("file: %.2f MB, %d site rows" % (len(text) / 1e6, rows))
        gemmi_times, gemmi_expanded, gemmi_sites = time_gemmi(path, repeats)
        print("gemmi %s into a structure: median %.1f ms, best %.1f ms of %d, %d sites"
              % (gemmi.__version__, statistics.median(gemmi_times) * 1e3, min(gemmi_times) * 1e3,
                 repeats, gemmi_sites))
        print("gemmi, and the sites of the whole cell: median %.1f ms, best %.1f ms"
              % (statistics.median(gemmi_expanded) * 1e3, min(gemmi_expanded) * 1e3))
        for bench in benches:
            times, sites = time_tessaline(bench, path, repeats)
            print("tessaline %s: median %.1f ms, best %.1f ms of %d, %d sites" %
                  (bench, statistics.median(times) * 1e3, min(times) * 1e3, repeats, sites))
            print("  speed against gemmi into a structure: %.2fx (medians), %.2fx (best)" %
                  (statistics.median(gemmi_times) / statistics.median(times),
                   min(gemmi_times) / min(times)))
            print("  against gemmi with the whole cell:    %.2fx (medians), %.2fx (best)" %
                  (statistics.median(gemmi_expanded) / statistics.median(times),
                   min(gemmi_expanded) / min(times)))

if __name__ == "__main__":
    main()
