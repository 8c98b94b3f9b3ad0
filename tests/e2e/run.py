#!/usr/bin/env python3
"""Runs end-to-end scenarios under Wine (see harness.py). CTest runs each as e2e.<name>.

  run.py --list                                         names of all scenarios, one a line
  run.py --work-dir DIR --fresh-prefix                  makes DIR/wineprefix anew
  run.py --launcher EXE --stand-in EXE --exact-run EXE --probe EXE --work-dir DIR NAME...

Scenarios live in the scenarios_*.py files beside this one. Exit code 0 when every named scenario
passed, 1 when one failed.
"""
import argparse
import glob
import importlib
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402


def load_scenarios():
    here = os.path.dirname(os.path.abspath(__file__))
    for path in sorted(glob.glob(os.path.join(here, 'scenarios_*.py'))):
        importlib.import_module(os.path.splitext(os.path.basename(path))[0])
    return harness.SCENARIOS


def run_one(name, scenario, tools):
    started = time.monotonic()
    session = harness.Session(name, tools, scenario.install_folder)
    try:
        with session:
            scenario.function(session)
    except harness.Failure as failure:
        print(f'FAIL {name}: {failure}')
        print(f'  records of kivo.exe: {session.records()!r}')
        return False
    except Exception:  # a fault of the scenario or the harness, shown in full
        print(f'ERROR {name}:')
        traceback.print_exc(file=sys.stdout)
        return False
    finally:
        sys.stdout.flush()
    print(f'PASS {name} ({time.monotonic() - started:.1f} s)')
    return True


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--list', action='store_true', help='print the scenario names')
    parser.add_argument('--fresh-prefix', action='store_true', help='make the Wine prefix anew')
    parser.add_argument('--launcher', help='Fennowick.exe to install')
    parser.add_argument('--stand-in', help='the stand-in kivo.exe to install')
    parser.add_argument('--exact-run', help='exact_run.exe')
    parser.add_argument('--probe', help='probe.exe')
    parser.add_argument('--work-dir', help='folder of the Wine prefix')
    parser.add_argument('names', nargs='*', help='scenarios to run')
    args = parser.parse_args(argv)

    scenarios = load_scenarios()
    if args.list:
        print('\n'.join(sorted(scenarios)))
        return 0
    if not args.work_dir:
        parser.error('--work-dir is needed')
    if args.fresh_prefix:
        started = time.monotonic()
        harness.Wine(os.path.join(args.work_dir, 'wineprefix'), harness.Display()).fresh_prefix()
        print(f'fresh Wine prefix in {args.work_dir} ({time.monotonic() - started:.1f} s)')
        return 0

    for option in ('launcher', 'stand_in', 'exact_run', 'probe'):
        if not getattr(args, option) or not os.path.isfile(getattr(args, option)):
            parser.error(f'--{option.replace("_", "-")} must name an existing file')
    unknown = [n for n in args.names if n not in scenarios]
    if unknown or not args.names:
        parser.error(f'unknown scenario(s) {unknown}; known: {sorted(scenarios)}')
    tools = harness.Tools(os.path.abspath(args.launcher), os.path.abspath(args.stand_in),
                          os.path.abspath(args.exact_run), os.path.abspath(args.probe),
                          os.path.abspath(args.work_dir))
    results = [run_one(name, scenarios[name], tools) for name in args.names]
    return 0 if all(results) else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
