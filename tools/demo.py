#!/usr/bin/env python3
"""Runs the launcher once under Wine on a demo install folder and prints what happened.

The demo prefix (<work dir>/wineprefix) gets an install folder C:\\Program Files\\kivo demo with
Fennowick.exe, the stand-in kivo.exe, a ProductConfig.xml, the icon kivo.ico and a pending update
(temp\\update.zip, made with Info-ZIP zip, and two leftovers of the updater); an older shortcut
"kivo.lnk" on the all-users desktop points at the launcher. Then the shell's command for a
tessaluvian:// link runs, and the demo shows the parameters that kivo.exe got, the link
registration, the installed update, the shortcut and the log lines.

Usage: demo.py --build-dir build/win64 --work-dir build/demo
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e'))

import harness  # noqa: E402

INSTALL_FOLDER = 'C:\\Program Files\\kivo demo'
COMMAND_LINE = '"tessaluvian://open?doc=demo&page=2"'
LINK_KEY = 'HKCR\\tessaluvian\\shell\\open\\command'
LANGUAGE_KEY = 'HKCU\\SOFTWARE\\kivo\\Language'

PRODUCT_CONFIG = '''<?xml version="1.0" encoding="UTF-8"?>
<config>
  <shortcut_cn>kivo</shortcut_cn>
  <shortcut_en>kivo</shortcut_en>
  <shortcut_new_cn>kivo 演示</shortcut_new_cn>
  <shortcut_new_en>kivo Demo</shortcut_new_en>
</config>
'''

# The pending update: path inside the archive (and the install folder) and content.
UPDATE_FILES = {
    'readme.txt': 'kivo 1.1 (demo update)\n',
    'data/notes.txt': 'Installed by Fennowick from temp\\update.zip.\n',
    'docs/说明.txt': '演示更新\n',
}
UPDATER_LEFTOVERS = ['temp\\Updater.exe', 'temp\\update.td']


def make_update_zip(target):
    with tempfile.TemporaryDirectory() as staging:
        for name, text in UPDATE_FILES.items():
            path = os.path.join(staging, *name.split('/'))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'w', encoding='utf-8') as f:
                f.write(text)
        # -X: no Unix extra fields; the UTF-8 locale makes zip store the Chinese name as UTF-8.
        subprocess.run(['zip', '-q', '-X', '-r', target] + sorted({n.split('/')[0] for n in UPDATE_FILES}),
                       cwd=staging, check=True, env=dict(os.environ, LC_ALL='C.UTF-8'))


def prepare(s):
    s.registry.delete_key('HKCR\\tessaluvian')
    s.registry.set(LANGUAGE_KEY, '', 'en-US')
    for name in s.desktop_links():
        if name.lower().startswith('kivo'):
            os.remove(os.path.join(s.unix_path(harness.PUBLIC_DESKTOP), name))
    s.write_file(INSTALL_FOLDER + '\\ProductConfig.xml', PRODUCT_CONFIG)
    shutil.copyfile(os.path.join(ROOT, 'res', 'Fennowick.ico'), s.unix_path(INSTALL_FOLDER) + '/kivo.ico')
    for leftover in UPDATER_LEFTOVERS:
        s.write_file(INSTALL_FOLDER + '\\' + leftover, b'left over by the updater')
    make_update_zip(s.unix_path(INSTALL_FOLDER + '\\temp') + '/update.zip')
    s.make_link(harness.PUBLIC_DESKTOP + '\\kivo.lnk', s.launcher_path)


def heading(text):
    print(f'\n-- {text}')


def report(s, run):
    print(f'exit code of the launcher: {run.exit_code}')

    heading('the main application (stand-in kivo.exe)')
    # The launcher does not wait for kivo.exe.
    starts = harness.poll(s.start_records, 15) or []
    if starts:
        for start in starts:
            print(f'started, process {start.pid}, current directory {start.cwd}')
            print(f'parameters: {start.parameters}')
    else:
        print('not started')

    heading(f'link registration, {LINK_KEY} (default value)')
    value = s.registry.query(LINK_KEY)
    print(value if value is not None else 'not written (yet)')

    heading('pending update, temp\\update.zip')
    install = s.unix_path(INSTALL_FOLDER)
    installed = []
    for name, text in UPDATE_FILES.items():
        path = os.path.join(install, *name.split('/'))
        if os.path.isfile(path):
            with open(path, encoding='utf-8', errors='replace') as f:
                same = f.read() == text
            installed.append(f'  {name.replace("/", chr(92))}{"" if same else " (different content)"}')
    waiting = os.path.exists(os.path.join(install, 'temp', 'update.zip'))
    staged = os.path.exists(os.path.join(install, 'update.zip'))
    if installed:
        print('installed files:')
        print('\n'.join(installed))
    else:
        print('no file of the update installed (yet)')
    print(f'temp\\update.zip {"still waiting" if waiting else "gone"}; update.zip {"still there" if staged else "gone"}')
    left = [n for n in UPDATER_LEFTOVERS if os.path.exists(os.path.join(install, *n.split('\\')))]
    print(f'updater leftovers: {", ".join(left) if left else "deleted"}')

    heading(f'shortcut on the all-users desktop ({harness.PUBLIC_DESKTOP})')
    links = [n for n in s.desktop_links() if n.lower().startswith('kivo')]
    if not links:
        print('no kivo shortcut')
    for name in links:
        properties = s.read_link(harness.PUBLIC_DESKTOP + '\\' + name) or {}
        print(f'{name}: target {properties.get("target", "?")}, working folder '
              f'{properties.get("working-folder", "?")}, icon {properties.get("icon") or "none"}, '
              f'description {properties.get("description") or "none"}')
    if links == ['kivo.lnk']:
        print('(unchanged: not yet renamed to "kivo Demo.lnk")')

    heading('log lines on standard error')
    lines = run.stderr_text.splitlines()
    print('\n'.join(lines) if lines else 'none (yet)')
    heading('log lines on the debugger output (WINEDEBUG=+debugstr)')
    texts = [t.rstrip('\n') for t in run.debug_texts]
    print('\n'.join(texts) if texts else 'none (yet)')
    return bool(starts)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--build-dir', default=os.path.join(ROOT, 'build', 'win64'))
    parser.add_argument('--work-dir', default=os.path.join(ROOT, 'build', 'demo'))
    args = parser.parse_args(argv)
    build = os.path.abspath(args.build_dir)
    tools = harness.Tools(os.path.join(build, 'Fennowick.exe'), os.path.join(build, 'tools', 'kivo.exe'),
                          os.path.join(build, 'tests', 'e2e', 'exact_run.exe'),
                          os.path.join(build, 'tests', 'e2e', 'probe.exe'), os.path.abspath(args.work_dir))
    for path in tools[:4]:
        if not os.path.isfile(path):
            sys.exit(f'demo: {path} is missing; build the win64 preset first')

    with harness.Session('demo', tools, INSTALL_FOLDER) as s:
        prepare(s)
        print(f'Wine prefix:    {s.wine.prefix}')
        print(f'install folder: {INSTALL_FOLDER}')
        print(f'                ({os.path.realpath(s.unix_path(INSTALL_FOLDER))})')
        print(f'files:          {", ".join(sorted(os.listdir(s.unix_path(INSTALL_FOLDER))))}')
        print(f'command line:   "{s.launcher_path}" {COMMAND_LINE}')
        print('                (as the shell runs it for a tessaluvian:// link)')
        run = s.launch(COMMAND_LINE, debug_output=True)
        started = report(s, run)
    return 0 if started and run.exit_code == 0 else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
