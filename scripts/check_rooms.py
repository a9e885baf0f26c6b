#!/usr/bin/env python3
"""Checks that the build keeps each room to what it may include.

    scripts/check_rooms.py BUILD_DIR

1. No source of a library or program is compiled with the repository root
   on its include path (tests, benchmarks and fuzz targets may be).
2. Probes: a one-line file compiled with the flags of a room's own source
   must fail to include a higher room's header or another room's internal/
   header, and must succeed with a header the room may use.
Exit status 0 when all holds, 1 otherwise.
"""

import json
import os
import shlex
import subprocess
import sys
import tempfile

UNCHECKED = ("tests/", "bench/", "fuzz/")

# (a source of the room, the include, whether it must compile)
PROBES = [
    ("terminal/n_cst_mvcomm.cpp", "platform/serial/serial_port.h", True),
    ("terminal/n_cst_mvcomm.cpp", "vm/vm_api.h", False),
    ("platform/serial/termios_port.cpp", "terminal/n_cst_mvcomm.h", False),
    ("vm/session_table.cpp", "component/mvcomm_object.h", False),
    ("component/accessors.cpp", "convert/pbcom_type_converter.h", True),
    ("component/accessors.cpp", "platform/registry/internal/database.h", False),
    ("arrays/array_elements.cpp", "convert/internal/variant_rules.h", False),
]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(build, "compile_commands.json")) as f:
        commands = {os.path.relpath(c["file"], top): c for c in json.load(f)}
    failures = []

    for source, command in sorted(commands.items()):
        if source.startswith(UNCHECKED) or source.startswith(".."):
            continue
        if "-I" + top in shlex.split(command["command"]):
            failures.append("%s is compiled with the repository root on its include path" % source)

    with tempfile.TemporaryDirectory() as scratch:
        for source, header, allowed in PROBES:
            if source not in commands:
                failures.append("probe source %s is not in the build" % source)
                continue
            probe = os.path.join(scratch, "probe.cpp")
            with open(probe, "w") as f:
                f.write('#include "%s"\n' % header)
            args = shlex.split(commands[source]["command"])
            kept = [args[0], "-fsyntax-only"]
            skip = False
            for a in args[1:]:
                if skip:
                    skip = False
                elif a in ("-o", "-MT", "-MF", "-c"):
                    skip = True
                elif a in ("-MD", "-MMD") or a == commands[source]["file"]:
                    continue
                else:
                    kept.append(a)
            kept.append(probe)
            done = subprocess.run(kept, cwd=commands[source]["directory"], capture_output=True, text=True)
            if (done.returncode == 0) != allowed:
                failures.append("%s including %s: %s" % (source, header,
                                "refused, but it may use it" if allowed else "compiled, but it must not"))

    for failure in failures:
        print("check_rooms: " + failure, file=sys.stderr)
    if not failures:
        print("check_rooms: every room sees only its own headers and those below it")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
