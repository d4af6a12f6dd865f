#!/usr/bin/env python3
"""Holds every symbol that a processor-level source of the reverb's staged kernel defines for the
linker (dsp/ReverbKernel<Level>.cpp) to that level's namespace, quillon::reverb_<level>.

An inline function or template instance that such a file compiles outside its namespace is one
symbol to the linker with the copies of other files, and the linker may keep the copy built for
AVX-512 for a caller built for any processor.

    check_kernel_symbols.py NM ARCHIVE      (ARCHIVE: the static library holding the kernel objects)

The compiler's DW.ref.* words (a pointer to the exception personality routine, the same in every
object) are not code and pass.

Prints one line per stray symbol and exits 1 when there is any, or when no kernel object is found.
"""
import re
import subprocess
import sys


def main():
    nm, archive = sys.argv[1:3]
    listing = subprocess.run([nm, "-C", "-g", "--defined-only", archive], capture_output=True, text=True,
                             check=True).stdout
    member, namespace, kernels, faults = None, None, 0, []
    for line in listing.splitlines():
        header = re.match(r"^(\S+\.o):$", line)
        if header:
            member = header.group(1)
            level = re.match(r"ReverbKernel(\w+)\.cpp\.o$", member)
            namespace = "quillon::reverb_" + level.group(1).lower() + "::" if level else None
            kernels += bool(level)
            continue
        parts = line.split(maxsplit=2)
        if namespace and len(parts) == 3 and not parts[2].startswith((namespace, "DW.ref.")):
            faults.append(f"{member}: {parts[2]} ({parts[1]}) lies outside {namespace[:-2]}")
    if kernels == 0:
        faults.append(f"{archive}: no ReverbKernel*.cpp objects")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
