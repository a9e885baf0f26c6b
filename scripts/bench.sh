#!/usr/bin/env bash
# Builds and runs every benchmark, then writes BENCHMARKS.md at the top of
# the tree: the figures of each benchmark and the targets of DESIGN.md's
# "Performance we hold ourselves to", each marked met or not met.
#
#   scripts/bench.sh                 builds build/plain through scripts/build.sh
#   MVCOMM_BENCH_BUILD=DIR scripts/bench.sh
#                                    uses an already configured build folder
#   MVCOMM_BENCH_MIN_TIME=0.3        seconds per benchmark (default 0.3; shorter runs of
#                                    the fastest calls read noisy)
#
# A benchmark that does not build is skipped and listed as such in the report.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${MVCOMM_BENCH_BUILD:-$top/build/plain}
[[ -d $dir ]] && dir=$(cd "$dir" && pwd)   # the benchmarks run from their own folders
min_time=${MVCOMM_BENCH_MIN_TIME:-0.3}
out=$(mktemp -d /tmp/mvcomm-benchrun-XXXXXX)
trap 'rm -rf "$out"' EXIT

build() {
  if [[ -n ${MVCOMM_BENCH_BUILD:-} ]]; then
    cmake --build "$dir" -j 2 --target "$@"
  else
    bash "$top/scripts/build.sh" plain "$@"
  fi
}

# Every mvcomm_bench(NAME ...) of bench/*/CMakeLists.txt.
mapfile -t targets < <(sed -n 's/^[[:space:]]*mvcomm_bench(\([A-Za-z0-9_-]*\).*/\1/p' "$top"/bench/*/CMakeLists.txt | sort -u)

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
: >"$out/skipped"
for t in "${targets[@]}"; do
  echo "== $t" >&2
  if ! build "$t" >"$out/$t.build.log" 2>&1; then
    echo "$t	did not build" >>"$out/skipped"
    continue
  fi
  exe=$(find "$dir" -type f -name "$t" -perm -u+x | head -n1)
  if [[ -z $exe ]]; then
    echo "$t	no executable found" >>"$out/skipped"
    continue
  fi
  if ! (cd "$(dirname "$exe")" && "$exe" --benchmark_min_time="$min_time" \
        --benchmark_format=json --benchmark_out="$out/$t.json" --benchmark_out_format=json \
        >"$out/$t.stdout" 2>"$out/$t.stderr"); then
    echo "$t	failed to run (exit status $?)" >>"$out/skipped"
    rm -f "$out/$t.json"
  fi
done

# The commands end to end over a pseudo-terminal, in real time.
if build mvcomm mvcomm-sim >"$out/tools.build.log" 2>&1 && [[ -x $dir/bin/mvcomm ]]; then
  echo "== bench/tools/bench_commands.py" >&2
  if ! python3 "$top/bench/tools/bench_commands.py" "$dir" >"$out/commands.txt" 2>"$out/commands.err"; then
    echo "bench_commands.py	failed to run" >>"$out/skipped"
    rm -f "$out/commands.txt"
  fi
else
  echo "bench_commands.py	mvcomm or mvcomm-sim did not build" >>"$out/skipped"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$out" "$top/BENCHMARKS.md" "$load_before" "$load_after" "$min_time" <<'PY'
import glob, json, os, re, sys, time

out, report, load_before, load_after, min_time = sys.argv[1:6]
runs = {}
context = {}
for path in sorted(glob.glob(os.path.join(out, "*.json"))):
    with open(path) as f:
        data = json.load(f)
    name = os.path.basename(path)[:-5]
    runs[name] = [b for b in data.get("benchmarks", []) if b.get("run_type", "iteration") == "iteration"]
    context = context or data.get("context", {})
skipped = [line.rstrip("\n").split("\t") for line in open(os.path.join(out, "skipped")) if line.strip()]

NS = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
def ns(b, key="real_time"):
    return b[key] * NS[b.get("time_unit", "ns")]

def find(exe, bench):
    for b in runs.get(exe, []):
        if b["name"] == bench or b["name"].startswith(bench + "/"):
            return b
    return None

def show(v):
    if v >= 1e9: return "%.3f s" % (v / 1e9)
    if v >= 1e6: return "%.3f ms" % (v / 1e6)
    if v >= 1e3: return "%.2f us" % (v / 1e3)
    return "%.1f ns" % v

commands = None
cpath = os.path.join(out, "commands.txt")
if os.path.exists(cpath):
    commands = open(cpath).read()

targets = []  # (target, measured, met or None when not measured)
def target(text, measured, met):
    targets.append((text, measured, met))

# Terminal operation: wall time against the mandated waits and wire time.
m = commands and re.search(r"worst ratio ([0-9.]+).*worst cpu/wall ([0-9.]+)%", commands)
if m:
    ratio, share = float(m.group(1)), float(m.group(2))
    target("Terminal operation wall time within 2% of the mandated waits + wire time (mvcomm commands against mvcomm-sim)",
           "worst wall/mandated %.4f" % ratio, ratio <= 1.02)
    target("Host CPU under 1% of a core while a terminal operation waits (mvcomm commands)",
           "worst CPU/wall %.3f%%" % share, share < 1.0)
else:
    target("Terminal operation wall time within 2% of the mandated waits + wire time", "not measured", None)
b = find("terminal_bench", "BM_IdleTimeOutAccuracy")
if b:
    late = b.get("late_median_ms", 0.0)
    target("Reception ends on time: idle time-out overshoot, median of 50 (under 2% of the 100 ms time-out)",
           "median %.3f ms, max %.3f ms" % (late, b.get("late_max_ms", 0.0)), late <= 2.0)
b = find("terminal_bench", "BM_ReceptionCpuOverWall")
if b:
    pct = b.get("cpu_over_wall_pct", 100.0)
    target("Host CPU under 1% of a core while waiting for a reply (reception on a pseudo-terminal)",
           "%.3f%%" % pct, pct < 1.0)
else:
    target("Host CPU under 1% of a core while waiting for a reply", "not measured", None)

# In-process figures are judged on CPU time: on a loaded machine wall time
# also counts the time spent waiting for a core.
def cpu(b):
    return ns(b, "cpu_time")

# Late binding against early binding: 200 ns over, or 10 times, at most.
def late_vs_early(text, exe, late, early):
    l, e = find(exe, late), find(exe, early)
    if not (l and e):
        target(text, "not measured (%s not built)" % exe, None)
        return
    lt, et = cpu(l), cpu(e)
    over = lt - et
    target(text, "%s vs %s: +%s, x%.1f" % (show(lt), show(et), show(over), lt / et if et else 0),
           over <= 200 or lt <= 10 * et)
late_vs_early("Late-bound property get (ITypeInfo::Invoke) within 200 ns or 10x of the early-bound call",
              "typelib_bench", "BM_PropertyGetInvoke", "BM_PropertyGetDirect")
late_vs_early("Late-bound method call (ITypeInfo::Invoke) within 200 ns or 10x of the early-bound call",
              "typelib_bench", "BM_Method3Invoke", "BM_Method3Direct")
late_vs_early("Automation object: errorcode through IDispatch::Invoke within 200 ns or 10x of IMVComm",
              "mv_component_bench", "BM_ErrorcodeLateBound", "BM_ErrorcodeEarlyBound")
late_vs_early("Automation object: moverecord through IDispatch::Invoke within 200 ns or 10x of IMVComm",
              "mv_component_bench", "BM_MoverecordLateBound", "BM_MoverecordEarlyBound")

b = find("terminal_bench", "BM_DecodeFullStream/0")
if b:
    t = cpu(b)
    target("Decoding a full 150000-byte record stream well under 1 ms (under 0.5 ms)", show(t), t < 0.5e6)
else:
    target("Decoding a full 150000-byte record stream well under 1 ms", "not measured", None)
b = find("terminal_bench", "BM_DecodeFullStream/1")
if b:
    t = cpu(b)
    target("Decoding it when its check bytes fit no known form (every form tried on every frame) under 5 ms",
           show(t), t < 5e6)

w, c = find("typelib_bench", "BM_LoadRegTypeLibWarm"), find("typelib_bench", "BM_LoadRegTypeLibCold")
if w and c:
    target("Type library cache: a cached LoadRegTypeLib at most a fifth of a cold one",
           "%s cached vs %s cold" % (show(cpu(w)), show(cpu(c))), cpu(w) * 5 <= cpu(c))
else:
    target("Type library cache: cached LoadRegTypeLib against a cold one", "not measured", None)
b = find("mv_component_bench", "BM_CreateAndRelease")
if b:
    target("Object creation cheap: CoCreateInstance + Release under 50 us", show(cpu(b)), cpu(b) < 50e3)
else:
    target("Object creation cheap: CoCreateInstance + Release", "not measured (mv_component_bench not built)", None)

md = []
md.append("# Benchmarks\n")
md.append("Written by `scripts/bench.sh` on %s (UTC). Machine: %s CPU(s)%s; load average %s before the run, %s after "
          "(1, 5 and 15 minutes). The machine is shared: figures taken under load run slow and noisy, so a "
          "\"not met\" here is to be confirmed on a quiet machine before it is taken as a regression. "
          "Each benchmark ran with `--benchmark_min_time=%s`.\n" % (
              time.strftime("%Y-%m-%d %H:%M", time.gmtime()), context.get("num_cpus", os.cpu_count()),
              (" at %s MHz" % context["mhz_per_cpu"]) if context.get("mhz_per_cpu") else "",
              load_before, load_after, min_time))
md.append("## Targets\n")
md.append("In-process figures are judged on CPU time (wall time under load also counts the wait for a core); "
          "the terminal operations and the reception on wall time, which is what they are about.\n")
md.append("| target | measured | verdict |")
md.append("|---|---|---|")
for text, measured, met in targets:
    md.append("| %s | %s | %s |" % (text, measured, "met" if met else ("not measured" if met is None else "**not met**")))
md.append("")
if skipped:
    md.append("## Skipped\n")
    for name, why in skipped:
        md.append("- `%s`: %s" % (name, why))
    md.append("")
md.append("## Figures\n")
for exe in sorted(runs):
    md.append("### %s\n" % exe)
    md.append("| benchmark | wall time | CPU time | iterations | counters |")
    md.append("|---|---|---|---|---|")
    for b in runs[exe]:
        skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads", "iterations",
                "real_time", "cpu_time", "time_unit", "family_index", "per_family_instance_index",
                "aggregate_name", "error_occurred", "error_message"}
        counters = ", ".join("%s %.4g" % (k, v) for k, v in b.items() if k not in skip and isinstance(v, (int, float)))
        if b.get("error_occurred"):
            counters = "error: " + b.get("error_message", "")
        md.append("| %s | %s | %s | %d | %s |" % (b["name"], show(ns(b)), show(ns(b, "cpu_time")),
                                                 b.get("iterations", 0), counters))
    md.append("")
if commands:
    md.append("### mvcomm commands against mvcomm-sim (bench/tools/bench_commands.py)\n")
    md.append("```\n" + commands.rstrip() + "\n```\n")
with open(report, "w") as f:
    f.write("\n".join(md))
print("wrote", report)
PY
