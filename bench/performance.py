#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs every benchmark program and rewrites the figures in
docs/performance.md (min / median / max over repeated runs where the program
repeats).

    bench/performance.py [--build DIR] [--torture N] [--runs N] [--no-write]

Needs a build with benchmarks (the default) and the test packages (Xvfb);
it starts its own Xvfb for the programs that need a display and stops it by
its PID.
"""
import argparse
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
from testbed import e2e  # noqa: E402

BEGIN = "<!-- performance:begin -->"
END = "<!-- performance:end -->"


def run(cmd, env=None, timeout=3600):
    print("$", " ".join(cmd), file=sys.stderr, flush=True)
    # Not subprocess.run: cut short, it would SIGKILL the benchmark, which
    # then could not stop the servers and busy loops it started.
    with subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) as p:
        try:
            out, err = p.communicate(timeout=timeout)
        except BaseException:
            e2e.stop_process(p, grace=60)
            raise
    if p.returncode != 0:
        return f"(exit {p.returncode})\n{out}{err}"
    return out


def core_table(build, runs):
    out = run([os.path.join(build, "bench", "bench_core"), f"--benchmark_repetitions={runs}",
               "--benchmark_format=json"])
    try:
        data = json.loads(out)
    except json.JSONDecodeError:
        return out
    rows = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b["run_name"]
        rows.setdefault(name, {"time": [], "unit": b["time_unit"], "counters": {}})
        rows[name]["time"].append(b["real_time"])
        for key in ("p99_us", "worst_us", "peak_rss_growth_kb", "cards"):
            if key in b:
                rows[name]["counters"].setdefault(key, []).append(b[key])
    lines = [f"{'benchmark':44} {'min':>9} {'median':>9} {'max':>9}  unit   extra"]
    for name, r in rows.items():
        t = r["time"]
        extra = "  ".join(f"{k} {min(v):g}/{statistics.median(v):g}/{max(v):g}" for k, v in r["counters"].items())
        lines.append(f"{name:44} {min(t):9.2f} {statistics.median(t):9.2f} {max(t):9.2f}  {r['unit']:5}  {extra}")
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=e2e.build_dir())
    ap.add_argument("--torture", type=int, default=1_000_000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--audio-texts", type=int, default=1000,
                    help="answers heard per voice and sound server under two busy loops (texts lost)")
    ap.add_argument("--no-write", "--no-readme", dest="no_write", action="store_true",
                    help="print the figures only, leave docs/performance.md as it is")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    os.environ["ABACORN_BUILD_DIR"] = build

    sections = []
    sections.append(("Dealing, filling and timer cards on the logic (real clock)", core_table(build, args.runs)))
    sections.append(("Random-event torture (every invariant checked after each event)",
                     run([os.path.join(build, "bench", "bench_torture"), str(args.torture)])))
    with e2e.Xvfb() as x:
        env = x.env(dict(os.environ, QT_QPA_PLATFORM="xcb"))
        sections.append(("Pause passes against bare processEvents (Xvfb)",
                         run([os.path.join(build, "bench", "bench_pause"), str(args.runs)], env=env)))
        sections.append(("Speak on the window thread, real voice (Xvfb)",
                         run([os.path.join(build, "bench", "bench_speak")], env=env)))
    sections.append(("The real program under Xvfb: first frame, start-up phases, memory, idle CPU, timer cadence",
                     run([sys.executable, os.path.join(HERE, "run_e2e_bench.py"), "--build", build,
                          "--runs", str(max(5, args.runs))])))
    onset = os.path.join(HERE, "run_audio_bench.py")
    if os.path.exists(onset):
        sections.append(("Both voices on PulseAudio and PipeWire: click to first audible sample, texts lost, "
                         "real audio",
                         run([sys.executable, onset, "--build", build, "--runs", "20",
                              "--texts", str(args.audio_texts)], timeout=3 * 3600)))

    sections.append(("A default start and one with the screen-reader switch on: exec to the welcome's first "
                     "audible sample, CPU in the first 5 s",
                     run([sys.executable, os.path.join(HERE, "run_first_word.py"), "--build", build,
                          "--runs", str(max(5, args.runs))])))
    sections.append(("How clearly each voice says the numbers 0 to 144 (pocketsphinx)",
                     run([sys.executable, os.path.join(HERE, "run_intelligibility.py"), "--build", build])))

    stamp = datetime.date.today().isoformat()
    # Other people's work on the machine slows every figure alike; the
    # load says how much was going on.
    load = " / ".join("%.1f" % v for v in os.getloadavg())
    text = [BEGIN, "",
            f"Regenerated by `bench/performance.py` on {stamp}, {platform.machine()}, "
            f"{os.cpu_count()} cores, load average at the end {load} (1 / 5 / 15 min); "
            f"`RelWithDebInfo` build.", ""]
    for title, body in sections:
        text += [f"### {title}", "", "```", body.rstrip(), "```", ""]
    text.append(END)
    block = "\n".join(text)
    print(block)
    if args.no_write:
        return
    target = os.path.join(ROOT, "docs", "performance.md")
    with open(target) as f:
        content = f.read()
    if BEGIN in content and END in content:
        head, rest = content.split(BEGIN, 1)
        _, tail = rest.split(END, 1)
        content = head + block + tail
    else:
        content = content.rstrip() + "\n\n" + block + "\n"
    with open(target, "w") as f:
        f.write(content)


if __name__ == "__main__":
    main()
