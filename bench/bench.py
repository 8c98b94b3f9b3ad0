#!/usr/bin/env python3
"""Measures the update benchmark; bench/run.sh builds everything first and then runs this.

Every run extracts into a fresh folder. The tools take turns within each round, so that load from
elsewhere on the machine falls on all of them alike; dirty pages of the round before are written
out (sync) before each timed run. Wall time is the median of the runs; peak memory is the largest
maximum resident set size that /usr/bin/time -v saw.
"""
import argparse
import datetime
import filecmp
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, 'build', 'bench-data')
WORK = os.path.join(ROOT, 'build', 'bench-run')
RESULTS = os.path.join(ROOT, 'build', 'bench', 'results.md')
EXTRACT_BENCH = os.path.join(ROOT, 'build', 'bench', 'bench', 'extract_bench')
WIN64 = os.path.join(ROOT, 'build', 'win64')
LAUNCHER = os.path.join(WIN64, 'Fennowick.exe')
STAND_IN = os.path.join(WIN64, 'tools', 'kivo.exe')
FLOOR = os.path.join(WIN64, 'bench', 'write_floor.exe')
WINE_RUN = os.path.join(ROOT, 'tools', 'wine-run.sh')

DESCRIPTIONS = {
    'A': '2,000 files, 100 MB, half text half random, deflated',
    'B': '20,000 files of 1-4 KiB, deflated',
    'C': 'one file of 200 MB, stored',
}


def log(*words):
    print('[bench]', *words, file=sys.stderr, flush=True)


def load():
    with open('/proc/loadavg') as f:
        return ' '.join(f.read().split()[:3])


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def timed(command, cwd, env=None):
    """Runs command under /usr/bin/time -v; returns (wall seconds, peak KiB)."""
    report = os.path.join(WORK, 'time-report.txt')
    subprocess.run(['sync'], check=True)
    start = time.perf_counter()
    result = subprocess.run(['/usr/bin/time', '-v', '-o', report] + command, cwd=cwd, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit(f'{command[0]} failed ({result.returncode}): {result.stderr.decode(errors="replace")}')
    peak = 0
    with open(report) as f:
        for line in f:
            if 'Maximum resident set size' in line:
                peak = int(line.split(':')[1])
    return wall, peak


def same_trees(left, right):
    """True when both folders hold the same names and the same bytes."""
    def walk(top):
        found = {}
        for folder, dirs, files in os.walk(top):
            for name in dirs + files:
                path = os.path.join(folder, name)
                found[os.path.relpath(path, top)] = path
        return found
    a, b = walk(left), walk(right)
    if a.keys() != b.keys():
        log('names differ:', sorted(set(a) ^ set(b))[:5])
        return False
    for relative, path in a.items():
        if os.path.isfile(path) and not filecmp.cmp(path, b[relative], shallow=False):
            log('content differs:', relative)
            return False
    return True


def manifest(archive):
    files = folders = 0
    with open(os.path.join(DATA, f'{archive}.tsv'), encoding='utf-8') as f:
        for line in f:
            if line.startswith('F\t'):
                files += 1
            elif line.startswith('D\t'):
                folders += 1
    return files, folders


def count_files(top):
    return sum(len(files) for _, _, files in os.walk(top))


# ---- host: ours, unzip, bsdtar -------------------------------------------------------------------

def host_round(archive, run, samples, check):
    zip_path = os.path.join(DATA, f'{archive}.zip')
    tools = ['ours', 'unzip', 'bsdtar']
    order = tools[run % 3:] + tools[:run % 3]
    places = {}
    for tool in order:
        folder = os.path.join(WORK, f'host-{tool}')
        fresh(folder)
        if tool == 'ours':
            wall, peak = timed([EXTRACT_BENCH, zip_path, folder], folder)
            installed = subprocess.run(['find', folder, '-type', 'd', '-name', 'install'], capture_output=True,
                                       text=True, check=True).stdout.split()
            places[tool] = installed[0]
        elif tool == 'unzip':
            wall, peak = timed(['unzip', '-o', '-qq', zip_path], folder)
            places[tool] = folder
        else:
            wall, peak = timed(['bsdtar', '-xf', zip_path], folder)
            places[tool] = folder
        samples[tool].append((wall, peak))
        # Removed before the next tool's sync, so that its pages are never written out.
        if not check:
            shutil.rmtree(folder, ignore_errors=True)
    if check:
        # Once per archive: our files are the ones the other tools make.
        for other in ('unzip', 'bsdtar'):
            if not same_trees(places['ours'], places[other]):
                raise SystemExit(f'archive {archive}: our files differ from those of {other}')
        for tool in tools:
            shutil.rmtree(os.path.join(WORK, f'host-{tool}'), ignore_errors=True)


def run_host(archives, runs):
    table = {}
    for archive in archives:
        log(f'host, archive {archive}: {runs} rounds of ours, unzip and bsdtar (load {load()})')
        samples = {'ours': [], 'unzip': [], 'bsdtar': []}
        for run in range(runs):
            host_round(archive, run, samples, check=run == 0)
        table[archive] = {tool: (statistics.median(w for w, _ in s), max(p for _, p in s))
                          for tool, s in samples.items()}
    return table


# ---- Wine: the launch path and the floor ---------------------------------------------------------

def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


def wine_env():
    env = dict(os.environ)
    # The stand-in ends at once: nothing is left running for the next launch to find.
    env['KIVO_STANDIN_SECONDS'] = '0'
    env.pop('DISPLAY', None)
    return env


def wait_for(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def launch_once(archive, folder):
    fresh(folder)
    shutil.copy2(LAUNCHER, os.path.join(folder, 'Fennowick.exe'))
    shutil.copy2(STAND_IN, os.path.join(folder, 'kivo.exe'))
    os.makedirs(os.path.join(folder, 'temp'))
    staged = os.path.join(folder, 'temp', 'update.zip')
    try:
        os.link(os.path.join(DATA, f'{archive}.zip'), staged)
    except OSError:
        shutil.copy2(os.path.join(DATA, f'{archive}.zip'), staged)
    wall, peak = timed([WINE_RUN, os.path.join(folder, 'Fennowick.exe'), '--no-pipe'], folder, env=wine_env())
    record = os.path.join(folder, 'kivo-record.txt')
    if not wait_for(lambda: os.path.exists(record) and os.path.getsize(record) > 0, 30):
        raise SystemExit('the launch path did not start kivo.exe')
    files, _ = manifest(archive)
    # The archive's files, the launcher, the stand-in and its record; both archives are gone.
    installed = count_files(folder) - 3
    if installed != files or os.path.exists(staged) or os.path.exists(os.path.join(folder, 'update.zip')):
        raise SystemExit(f'archive {archive}: the launch path installed {installed} of {files} files')
    return wall, peak


def floor_once(archive, folder):
    fresh(folder)
    wall, peak = timed([WINE_RUN, FLOOR, windows_path(os.path.join(DATA, f'{archive}.tsv'))], folder, env=wine_env())
    files, _ = manifest(archive)
    if count_files(folder) != files:
        raise SystemExit(f'archive {archive}: the floor wrote {count_files(folder)} of {files} files')
    return wall, peak


def run_wine(archives, runs):
    table = {}
    # The first program of a Wine session starts wineserver and Wine's own processes.
    subprocess.run([WINE_RUN, FLOOR, 'no-such-manifest'], cwd=WORK, env=wine_env(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for archive in archives:
        log(f'Wine, archive {archive}: {runs} rounds of the launch path and the floor (load {load()})')
        samples = {'launch': [], 'floor': []}
        for run in range(runs):
            order = ['launch', 'floor'] if run % 2 == 0 else ['floor', 'launch']
            for kind in order:
                folder = os.path.join(WORK, f'wine-{kind}')
                sample = launch_once(archive, folder) if kind == 'launch' else floor_once(archive, folder)
                samples[kind].append(sample)
                shutil.rmtree(folder, ignore_errors=True)
        table[archive] = {kind: (statistics.median(w for w, _ in s), max(p for _, p in s))
                          for kind, s in samples.items()}
    return table


# ---- the report ----------------------------------------------------------------------------------

def mib(kib):
    return f'{kib / 1024:.1f} MiB'


def report(host, wine, runs, started, loads):
    lines = []
    lines.append(f'Measured {started:%Y-%m-%d %H:%M} on {os.cpu_count()} cores, Linux {platform.release()}; '
                 f'median of {runs} runs each; load average (1, 5, 15 min) {loads[0]} at the start, '
                 f'{loads[1]} at the end.')
    lines.append('')
    if host:
        lines.append('Host (Linux): our extractor through the Win32 model, unzip -o -qq, bsdtar -xf. '
                     'Ratio: to the faster of the other two.')
        lines.append('')
        lines.append('| Archive | Tool | Median wall | Ratio | Peak memory |')
        lines.append('|---|---|---:|---:|---:|')
        for archive, tools in host.items():
            for tool in ('ours', 'unzip', 'bsdtar'):
                wall, peak = tools[tool]
                others = min(tools[t][0] for t in tools if t != tool)
                name = {'ours': 'ours (ApplyUpdateArchive)', 'unzip': 'unzip', 'bsdtar': 'bsdtar'}[tool]
                lines.append(f'| {archive}: {DESCRIPTIONS[archive]} | {name} | {wall:.3f} s | '
                             f'{wall / others:.2f}x | {mib(peak)} |')
        lines.append('')
    if wine:
        lines.append('Wine (64-bit): the launch path (Fennowick.exe with the archive as temp\\update.zip, '
                     'a stand-in kivo.exe) against the floor (write_floor.exe: the same files from memory, '
                     'the same calls). Both include starting the program under Wine.')
        lines.append('')
        lines.append('| Archive | Launch path | Floor | Ratio | Per file (launch / floor) | Peak memory (launch) |')
        lines.append('|---|---:|---:|---:|---:|---:|')
        for archive, kinds in wine.items():
            launch, launch_peak = kinds['launch']
            floor, _ = kinds['floor']
            files, _ = manifest(archive)
            lines.append(f'| {archive}: {DESCRIPTIONS[archive]} | {launch:.3f} s | {floor:.3f} s | '
                         f'{launch / floor:.2f}x | {launch / files * 1000:.2f} / {floor / files * 1000:.2f} ms | '
                         f'{mib(launch_peak)} |')
        lines.append('')
    return '\n'.join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--runs', type=int, default=7)
    parser.add_argument('--only', choices=['host', 'wine'])
    parser.add_argument('--archives', default='ABC')
    args = parser.parse_args()

    started = datetime.datetime.now()
    clock = time.monotonic()
    start_load = load()
    fresh(WORK)
    host = run_host(args.archives, args.runs) if args.only != 'wine' else {}
    wine = run_wine(args.archives, args.runs) if args.only != 'host' else {}
    shutil.rmtree(WORK, ignore_errors=True)

    text = report(host, wine, args.runs, started, (start_load, load()))
    os.makedirs(os.path.dirname(RESULTS), exist_ok=True)
    with open(RESULTS, 'w') as f:
        f.write(text + '\n')
    print(text)
    log(f'done in {time.monotonic() - clock:.0f} s; table in {os.path.relpath(RESULTS, ROOT)}')


if __name__ == '__main__':
    main()
