#!/usr/bin/env python3
"""Rip benchmark: times `trackmill --rip` on a generated disc image against peers
measured in the same run, and prints throughput ratios (peer time / trackmill
time, so above 1 means trackmill is faster).

  WAV: trackmill --rip wav  vs  cd-paranoia -Z (same image)  and  copying the image's bytes
  Checksums: the rip to WAV with the per-track checksums against the same rip without
       them (rip_checksum_bench, in process; the ratio should stay within 1.05)
  MP3: trackmill --rip mp3  vs  lame -V 5 -b 192 -B 320 on the same tracks (as WAV files),
       and the same with -q 2, the quality the rip's preset asks libmp3lame for
  FLAC: trackmill --rip flac (level 5, libFLAC's verify on)  vs  flac -5 on the same
       tracks (as WAV files, one flac process for all), and flac -5 -V (verify, as the
       rip does); the target is a ratio of at least 1.8 against flac -5 on a 2-core
       machine, the rip's encoders working beside the disc read
  MP3 target: at least 1.8 against one lame process over the same WAV files
  Disc read: how long the MP3 rip's disc read takes (until it prints "All tracks
       read", or its end) against the WAV rip's whole time; target within 10%
  Memory: the peak resident memory of an MP3 rip of an 80-minute disc (however far
       the encoders lag, the spools keep at most their bound in memory); target at
       most 300 MB

Runs alternate between the commands compared (A B A B ...) and the median is quoted.
The machine should be otherwise idle: the WAV rip is bound by file writes, so a
busy disk or CPU moves the figures by tens of percent.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


# The processor time (user + system) of the last command run, in seconds: steadier than
# the wall time on a busy machine, though it counts every thread of the rip.
last_cpu = 0.0


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run(cmd, cwd=None):
    global last_cpu
    cpu = children_cpu()
    start = time.perf_counter()
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    last_cpu = children_cpu() - cpu
    return wall


def fresh(path):
    """The output folder, created once; every run overwrites the same files, so no
    run pays for deleting the previous run's output."""
    os.makedirs(path, exist_ok=True)
    return path


def compare(name, ours, peers, runs):
    """ours/peers: callables returning seconds. Prints medians and ratios."""
    times = {"trackmill": []}
    times.update({p: [] for p in peers})
    cpus = {p: [] for p in times}
    for _ in range(runs):
        times["trackmill"].append(ours())
        cpus["trackmill"].append(last_cpu)
        for p, fn in peers.items():
            times[p].append(fn())
            cpus[p].append(last_cpu)
    mine = statistics.median(times["trackmill"])
    my_cpu = statistics.median(cpus["trackmill"])
    print(f"{name}: trackmill median {mine:.3f} s ({my_cpu:.3f} s processor time) over {runs} runs")
    for p in peers:
        theirs = statistics.median(times[p])
        their_cpu = statistics.median(cpus[p])
        cpu_ratio = f"  processor time {their_cpu:.3f} s ratio {their_cpu / my_cpu:.2f}" if my_cpu > 0 else ""
        print(f"  vs {p}: {theirs:.3f} s  ratio {theirs / mine:.2f}{cpu_ratio}")


def print_track_bound(cue, binf):
    """What whole-track parallelism allows on this disc: encoders on every core, each
    taking the longest waiting track as it comes free (an image is read far faster than
    it is encoded, so every track is soon waiting), finish when the busiest one does.
    Peer time / rip time cannot exceed total / busiest for an encoder as fast as the
    peer's."""
    starts = []
    with open(cue) as f:
        for line in f:
            parts = line.split()
            if parts[:2] == ["INDEX", "01"]:
                m, s, fr = (int(x) for x in parts[2].split(":"))
                starts.append((m * 60 + s) * 75 + fr)
    end = os.path.getsize(binf) // 2352
    lengths = [b - a for a, b in zip(starts, starts[1:] + [end])]
    cores = os.cpu_count() or 1
    free = [0] * cores
    for n in sorted(lengths, reverse=True):
        i = free.index(min(free))
        free[i] += n
    print(f"track-level bound: {len(lengths)} tracks on {cores} cores allow at most "
          f"{sum(lengths) / max(free):.2f}x one encoder (the busiest core takes "
          f"{max(free) / 75:.0f} s of the {sum(lengths) / 75:.0f} s of audio)", flush=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--trackmill", default=os.path.join(here, "trackmill"))
    ap.add_argument("--make-disc", default=os.path.join(here, "rip_bench_disc"))
    ap.add_argument("--checksum-bench", default=os.path.join(here, "rip_checksum_bench"))
    ap.add_argument("--minutes", type=float, default=10.5)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--skip-mp3", action="store_true")
    ap.add_argument("--only-flac", action="store_true", help="the WAV rip (for its files) and FLAC only")
    ap.add_argument("--memory-minutes", type=float, default=80, help="the disc of the memory run")
    ap.add_argument("--skip-memory", action="store_true")
    args = ap.parse_args()
    for tool in ("cd-paranoia", "lame", "cp", "flac"):
        if not shutil.which(tool):
            sys.exit(f"rip_bench: {tool} is not installed")

    work = tempfile.mkdtemp(prefix="rip_bench_")
    try:
        cue = os.path.join(work, "disc.cue")
        binf = os.path.join(work, "disc.bin")
        subprocess.run([args.make_disc, cue, str(args.minutes)], check=True)
        print_track_bound(cue, binf)
        wav_out = os.path.join(work, "wav")
        mp3_out = os.path.join(work, "mp3")
        peer_out = os.path.join(work, "peer")

        def rip(fmt, out):
            return lambda: run([args.trackmill, "--rip", fmt, "--disc", cue, "--out", fresh(out)])

        def paranoia():
            return run(["cd-paranoia", "-Z", "-q", "-B", "-d", cue], cwd=fresh(peer_out))

        def copy():
            return run(["cp", binf, os.path.join(fresh(peer_out), "copy.bin")])

        if args.only_flac:
            rip("wav", wav_out)()
        else:
            compare("rip to WAV", rip("wav", wav_out), {"cd-paranoia -Z": paranoia, "copying the image": copy},
                    args.runs)
            print("checksums:", flush=True)
            subprocess.run([args.checksum_bench, cue, str(max(args.runs, 21))], check=True)
        wavs = sorted(os.path.join(wav_out, f) for f in os.listdir(wav_out) if f.endswith(".wav"))

        def flac(extra):
            def go():
                out = fresh(os.path.join(work, "flac")) + os.sep
                return run(["flac", "-5", "-s", "-f", *extra, "--output-prefix=" + out, *wavs])
            return go

        # The rip reads the "flac" setting: an empty settings folder gives level 5.
        env_config = os.path.join(work, "config")
        os.makedirs(env_config, exist_ok=True)
        os.environ["XDG_CONFIG_HOME"] = env_config
        compare("rip to FLAC", rip("flac", os.path.join(work, "ripflac")),
                {"flac -5": flac([]), "flac -5 -V": flac(["-V"])}, args.runs)
        if args.skip_mp3 or args.only_flac:
            return

        def lame(extra):
            def go():
                global last_cpu
                out = fresh(os.path.join(work, "lame"))
                cpu = children_cpu()
                start = time.perf_counter()
                for w in wavs:
                    subprocess.run(["lame", "--quiet", "-V", "5", "-b", "192", "-B", "320", *extra, w,
                                    os.path.join(out, os.path.basename(w) + ".mp3")], check=True)
                last_cpu = children_cpu() - cpu
                return time.perf_counter() - start
            return go

        compare("rip to MP3", rip("mp3", mp3_out),
                {"lame -V 5 -b 192 -B 320": lame([]), "lame -V 5 -b 192 -B 320 -q 2": lame(["-q", "2"])},
                args.runs)

        # The disc read of an MP3 rip: until the rip says every track is read.
        def read_time(fmt, out):
            start = time.perf_counter()
            p = subprocess.Popen([args.trackmill, "--rip", fmt, "--disc", cue, "--out", fresh(out)],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            read = None
            for line in p.stdout:
                if read is None and line.startswith("All tracks read"):
                    read = time.perf_counter() - start
            p.wait()
            end = time.perf_counter() - start
            return read if read is not None else end, end

        mp3_reads, wav_reads = [], []
        for _ in range(args.runs):
            mp3_reads.append(read_time("mp3", mp3_out)[0])
            wav_reads.append(read_time("wav", wav_out)[1])
        mp3_read, wav_read = statistics.median(mp3_reads), statistics.median(wav_reads)
        print(f"disc read: MP3 rip {mp3_read:.3f} s, WAV rip {wav_read:.3f} s: "
              f"{mp3_read / wav_read:.2f} of the WAV rip's (target at most 1.10)", flush=True)

        if args.skip_memory:
            return
        big = os.path.join(work, "big.cue")
        subprocess.run([args.make_disc, big, str(args.memory_minutes)], check=True)
        start = time.perf_counter()
        p = subprocess.Popen([args.trackmill, "--rip", "mp3", "--disc", big, "--out",
                              fresh(os.path.join(work, "big"))],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        if status != 0:
            sys.exit(f"rip_bench: the {args.memory_minutes:g}-minute MP3 rip failed ({status})")
        print(f"memory: MP3 rip of a {args.memory_minutes:g}-minute disc peaked at "
              f"{usage.ru_maxrss / 1024:.1f} MB resident (target at most 300 MB), "
              f"{time.perf_counter() - start:.1f} s", flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
