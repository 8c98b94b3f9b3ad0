"""End-to-end harness: runs the Windows launcher under Wine on an install folder with the stand-in
main application, and lets scenarios look at what a user would see.

One scenario runs in one `Session`:

    with Session('launch_empty', tools) as s:       # kills Wine, installs Fennowick.exe + kivo.exe
        run = s.launch('')                           # exact command line, waits for the launcher
        check_equal(run.exit_code, 0, 'exit code')
        start = s.wait_for_starts(1)[0]              # polls kivo-record.txt (the launcher never waits)
        check_equal(start.parameters, '', 'parameters')

What a session offers:
  - `launch(command_line)`: the launcher started through exact_run.exe with exactly
    '"<install folder>\\Fennowick.exe" ' + command_line (or any `tail=`), from C:\\windows;
    returns the exit code (all 32 bits), the launcher's stdout/stderr and, with
    `debug_output=True`, what it sent to OutputDebugStringA (WINEDEBUG=+debugstr);
  - `records()`, `wait_for_starts()`, `wait_for_pipe_messages()`, `expect_no_start()`: the
    stand-in's kivo-record.txt;
  - `start_running_copy()`, `running_copies()`, `running_copy_exit_codes()`: stand-ins started
    by the harness, which kivo.exe processes of this install folder are alive, and how the
    harness's copies ended;
  - `registry`: query, set and delete values in the prefix's registry (reg.exe export/import,
    so any text survives);
  - `answer_message_box('Return' | 'Escape')`: presses a key in the launcher's question
    (a window titled 'Prompt' or '提示') with xdotool; a private Xvfb is started when there
    is no DISPLAY;
  - `make_link()`, `read_link()`, `desktop_links()`: shell links (through IShellLinkW) and the
    links on the all-users desktop;
  - `unix_path()`, `write_file()`: files in the prefix by their Windows paths;
  - `env=CHINESE_WINDOWS` (for `launch()` and the like): a Chinese Windows, code page 936.

All sessions of a work folder share one Wine prefix (`<work dir>/wineprefix`);
`Wine.fresh_prefix()` makes it anew. The Windows side of the harness is exact_run.exe and
probe.exe (see their sources). Wine processes never write into pipes that the harness reads: wineserver and the
started programs inherit those file descriptors and would keep them open long after the launcher
has ended, so all output goes through files.
"""

import codecs
import ctypes
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time
from typing import NamedTuple

WINE = '/usr/lib/wine/wine64'
WINESERVER = '/usr/lib/wine/wineserver'
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

RECORD_FILE = 'kivo-record.txt'
# CSIDL_COMMON_DESKTOPDIRECTORY in a Wine prefix.
PUBLIC_DESKTOP = 'C:\\users\\Public\\Desktop'
MESSAGE_BOX_TITLES = ('Prompt', '提示')
# Environment for `launch(env=...)` and the like: Wine then plays a Chinese Windows (ANSI code
# page 936, Chinese interface). No Linux locale needs to be installed for that.
CHINESE_WINDOWS = {'LC_ALL': 'zh_CN.UTF-8'}
# The stand-in ends by itself after this many seconds, in case a scenario leaves it behind.
STAND_IN_SECONDS = 60


class Failure(Exception):
    """A check of a scenario failed; the message says what was expected and what happened."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f'{what}: expected {expected!r}, got {actual!r}')


def poll(probe, timeout, interval=0.05):
    """Calls probe() until it returns something true or timeout seconds have passed; returns the
    last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def utf16_hex(text):
    """Text as exact_run.exe takes it: UTF-16 code units, four hex digits each. Lone surrogates
    (written in Python as '\\ud800') pass as they are."""
    data = text.encode('utf-16-le', 'surrogatepass')
    return ''.join(f'{data[i] | data[i + 1] << 8:04x}' for i in range(0, len(data), 2))


def decode_percent(field):
    """Undoes the stand-in's escapes: %XX for a control character or '%', %uXXXX for a UTF-16
    unit that is not valid text (a lone surrogate)."""
    out = []
    i = 0
    while i < len(field):
        c = field[i]
        if c == '%' and field.startswith('%u', i) and re.fullmatch(r'[0-9A-Fa-f]{4}', field[i + 2:i + 6]):
            out.append(chr(int(field[i + 2:i + 6], 16)))
            i += 6
        elif c == '%' and re.fullmatch(r'[0-9A-Fa-f]{2}', field[i + 1:i + 3]):
            out.append(chr(int(field[i + 1:i + 3], 16)))
            i += 3
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def winmain_command_line(command_line):
    """The command line that a wWinMain built with the Microsoft or MinGW C runtime receives:
    the program name is skipped up to the first blank outside double quotes, then the blanks and
    control characters after it."""
    i, quoted = 0, False
    while i < len(command_line) and (command_line[i] > ' ' or quoted):
        if command_line[i] == '"':
            quoted = not quoted
        i += 1
    while i < len(command_line) and command_line[i] <= ' ':
        i += 1
    return command_line[i:]


def parameters_seen_by_main_application(parameters):
    """What the stand-in's wWinMain receives for the parameters that the launcher passes to
    ShellExecuteW, which puts them after the quoted program path and a blank."""
    return winmain_command_line('"kivo.exe" ' + parameters)


class StartRecord(NamedTuple):
    pid: int
    cwd: str
    parameters: str


class PipeRecord(NamedTuple):
    pid: int
    data: bytes


class Output(NamedTuple):
    returncode: int
    stdout: bytes
    stderr: bytes


class LaunchResult(NamedTuple):
    exit_code: int          # the launcher's 32-bit exit code
    stdout: bytes           # the launcher's standard output
    stderr: bytes           # the launcher's standard error (log text is code page 936)
    debug_strings: list     # OutputDebugStringA texts (bytes), when asked for
    wine_debug: str         # Wine's own diagnostics of the run

    @property
    def stderr_text(self):
        return self.stderr.decode('gbk', 'backslashreplace')

    @property
    def stdout_text(self):
        return self.stdout.decode('gbk', 'backslashreplace')

    @property
    def debug_texts(self):
        return [s.decode('gbk', 'backslashreplace') for s in self.debug_strings]


# Wine writes one line per OutputDebugStringA call: 0024:warn:debugstr:OutputDebugStringA "text"
# with C escapes; texts longer than about 300 bytes end in '"...'.
_DEBUGSTR_LINE = re.compile(r'^[0-9a-f]+:[a-z]+:debugstr:OutputDebugStringA "(.*)"(\.\.\.)?$')


def parse_debug_strings(wine_stderr):
    texts = []
    for line in wine_stderr.splitlines():
        match = _DEBUGSTR_LINE.match(line)
        if not match:
            continue
        raw = match.group(1).encode('latin-1', 'backslashreplace')
        text = codecs.escape_decode(raw)[0]
        if match.group(2):
            text += b'...'
        texts.append(text)
    return texts


def _end_with_parent():
    """In a child process before exec: the child gets SIGTERM when the harness ends, even when a
    test timeout kills the harness without letting it clean up."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


class Display:
    """The X display for Wine's windows: $DISPLAY when set, else a private Xvfb for the session."""

    def __init__(self):
        self.name = os.environ.get('DISPLAY')
        self._server = None

    def start(self):
        if self.name:
            return
        read_end, write_end = os.pipe()
        self._server = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, preexec_fn=_end_with_parent)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure('Xvfb did not start')
        self.name = ':' + number

    def stop(self):
        if self._server:
            self._server.terminate()
            self._server.wait()
            self._server = None
            self.name = None


class Wine:
    """One Wine prefix and the programs that run in it."""

    def __init__(self, prefix, display):
        self.prefix = os.path.abspath(prefix)
        self.display = display

    def environment(self, debug='-all', extra=None):
        env = dict(os.environ)
        env.update({
            'WINEPREFIX': self.prefix,
            'WINEARCH': 'win64',
            'WINEDEBUG': debug,
            'WINEDLLOVERRIDES': 'mscoree,mshtml=',
            # The same Windows locale (en-US, code page 1252) on every machine; a scenario may
            # pass another one in `env`.
            'LC_ALL': 'C.UTF-8',
            'KIVO_STANDIN_SECONDS': str(STAND_IN_SECONDS),
        })
        if self.display.name:
            env['DISPLAY'] = self.display.name
        env.update(extra or {})
        return env

    def ensure_prefix(self):
        subprocess.run([os.path.join(SOURCE_DIR, 'tools', 'wine-prefix.sh'), self.prefix], check=True,
                       stdin=subprocess.DEVNULL)

    def fresh_prefix(self):
        self.kill()
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.ensure_prefix()

    def start_session(self):
        """Starts wineserver and Wine's background programs (services, explorer ...) with no
        descriptor of ours: they would otherwise hold the first scenario program's output files,
        and its run would pay for their start."""
        quiet = dict(env=self.environment(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, cwd=self.prefix)
        subprocess.run([WINESERVER], **quiet)
        subprocess.run([WINE, 'cmd.exe', '/c', 'exit'], **quiet)

    def kill(self):
        """Ends every Wine process of the prefix, and the server."""
        if not os.path.isdir(self.prefix):
            return
        for args in ([WINESERVER, '-k'], [WINESERVER, '-w']):
            subprocess.run(args, env=self.environment(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, args, timeout=60, debug='-all', env=None):
        """Runs a Windows program (path or name as wine64 takes it) and waits for it."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen([WINE] + list(args), env=self.environment(debug, env),
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=self.prefix)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise Failure(f'{args[0]} did not end within {timeout} s')
            out.seek(0)
            err.seek(0)
            return Output(process.returncode, out.read(), err.read())

    def spawn(self, args, env=None, stdout=None):
        """Starts a Windows program and does not wait for it; its output goes to the file object
        `stdout` when given."""
        return subprocess.Popen([WINE] + list(args), env=self.environment('-all', env),
                                stdin=subprocess.DEVNULL, stdout=stdout or subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, cwd=self.prefix)

    def unix_path(self, windows_path):
        """The Linux path of a Windows path such as C:\\users\\Public\\Desktop. Existing folders are
        matched without regard to case, as Windows would."""
        match = re.match(r'^([A-Za-z]):\\?(.*)$', windows_path)
        if not match:
            raise ValueError(f'not an absolute Windows path: {windows_path}')
        path = os.path.join(self.prefix, 'dosdevices', match.group(1).lower() + ':')
        for part in [p for p in match.group(2).split('\\') if p]:
            exact = os.path.join(path, part)
            if not os.path.exists(exact) and os.path.isdir(path):
                for entry in os.listdir(path):
                    if entry.lower() == part.lower():
                        exact = os.path.join(path, entry)
                        break
            path = exact
        return path


_HIVES = {
    'HKCR': 'HKEY_CLASSES_ROOT', 'HKCU': 'HKEY_CURRENT_USER', 'HKLM': 'HKEY_LOCAL_MACHINE',
    'HKU': 'HKEY_USERS',
}


def _full_key(key):
    hive, _, rest = key.partition('\\')
    hive = _HIVES.get(hive.upper(), hive.upper())
    return hive + ('\\' + rest if rest else '')


def _reg_string(text):
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


class Registry:
    """The prefix's registry through reg.exe. Reads export the key to a UTF-16 .reg file and
    writes import one, so that any text, Chinese included, arrives unchanged (reg.exe's console
    output and Wine's argument conversion would not promise that)."""

    def __init__(self, wine, scratch):
        self.wine = wine
        self.scratch = scratch  # Windows folder for the .reg files

    def _scratch_file(self, name):
        os.makedirs(self.wine.unix_path(self.scratch), exist_ok=True)
        windows = self.scratch + '\\' + name
        return windows, self.wine.unix_path(self.scratch) + '/' + name

    def values(self, key):
        """All values of the key (not of its subkeys): {name: data}, '' naming the default value;
        None when the key does not exist. REG_SZ data is a str, REG_DWORD an int, anything else
        the .reg text of the data."""
        windows, unix = self._scratch_file('export.reg')
        if os.path.exists(unix):
            os.remove(unix)
        result = self.wine.run(['reg', 'export', _full_key(key), windows, '/y'])
        if result.returncode != 0 or not os.path.exists(unix):
            return None
        with open(unix, 'rb') as f:
            text = f.read().decode('utf-16')
        return _parse_reg_section(text, _full_key(key))

    def query(self, key, name=''):
        values = self.values(key)
        return None if values is None else values.get(name)

    def _import(self, body):
        windows, unix = self._scratch_file('import.reg')
        text = 'Windows Registry Editor Version 5.00\r\n\r\n' + body + '\r\n'
        with open(unix, 'wb') as f:
            f.write(b'\xff\xfe' + text.encode('utf-16-le', 'surrogatepass'))
        result = self.wine.run(['reg', 'import', windows])
        if result.returncode != 0:
            raise Failure(f'reg import failed: {result.stderr.decode(errors="replace")}{result.stdout.decode(errors="replace")}')

    def set(self, key, name, data):
        """Sets a REG_SZ (str) or REG_DWORD (int) value; name '' is the default value."""
        value = f'dword:{data:08x}' if isinstance(data, int) else _reg_string(data)
        label = '@' if name == '' else _reg_string(name)
        self._import(f'[{_full_key(key)}]\r\n{label}={value}\r\n')

    def delete_value(self, key, name=''):
        label = '@' if name == '' else _reg_string(name)
        self._import(f'[{_full_key(key)}]\r\n{label}=-\r\n')

    def delete_key(self, key):
        self._import(f'[-{_full_key(key)}]\r\n')


def _parse_reg_section(text, key):
    lines = text.replace('\r\n', '\n').split('\n')
    # Joins the continuation lines of long hex values.
    joined = []
    for line in lines:
        if joined and joined[-1].endswith('\\') and line.startswith('  '):
            joined[-1] = joined[-1][:-1] + line.strip()
        else:
            joined.append(line)
    values = None
    for line in joined:
        if line.startswith('['):
            if values is not None:
                break
            if line[1:-1].lower() == key.lower():
                values = {}
            continue
        if values is None or not line:
            continue
        if line.startswith('@='):
            name, data = '', line[2:]
        else:
            match = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not match:
                continue
            name, data = _unescape_reg(match.group(1)), match.group(2)
        if data.startswith('"') and data.endswith('"'):
            values[name] = _unescape_reg(data[1:-1])
        elif data.startswith('dword:'):
            values[name] = int(data[6:], 16)
        else:
            values[name] = data
    return values


def _unescape_reg(text):
    return re.sub(r'\\(.)', lambda m: {'n': '\n', 'r': '\r', '0': '\0'}.get(m.group(1), m.group(1)), text)


class MessageBoxAnswerer:
    """Presses a key in the launcher's question as soon as it shows up: in every window titled
    'Prompt' or '提示' (English or Chinese interface), once per window, repeated while the window
    stays open (a key that arrives before the box can take it is lost)."""

    def __init__(self, display_name, key, titles=MESSAGE_BOX_TITLES, timeout=60):
        self.display_name = display_name
        self.key = key
        self.titles = titles
        self.timeout = timeout
        self.answered = []      # titles of the windows that got the key
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.display_name)
        result = subprocess.run(['xdotool'] + list(args), env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return result.stdout.decode('utf-8', 'replace')

    def _question_windows(self):
        """(window, title) of the visible windows with one of the titles. Titles are compared as
        getwindowname decodes them: a Chinese Windows (code page 936) names its windows in that
        encoding, which `xdotool search --name` does not match."""
        found = []
        for window in self._xdotool('search', '--onlyvisible', '--name', '.').split():
            title = self._xdotool('getwindowname', window).strip()
            if title in self.titles:
                found.append((window, title))
        return found

    def _run(self):
        deadline = time.monotonic() + self.timeout
        pressed = {}
        while not self._stop.is_set() and time.monotonic() < deadline:
            for window, title in self._question_windows():
                if time.monotonic() - pressed.get(window, -1e9) < 0.5:
                    continue
                self._xdotool('key', '--window', window, self.key)
                if window not in pressed:
                    self.answered.append(title)
                pressed[window] = time.monotonic()
            self._stop.wait(0.1)

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._stop.set()
        self._thread.join()


class Tools(NamedTuple):
    """The programs under test and the work folder (holds the shared prefix)."""
    launcher: str     # build/win64/Fennowick.exe
    stand_in: str     # the stand-in kivo.exe
    exact_run: str    # exact_run.exe
    probe: str        # probe.exe, for the harness's own checks
    work_dir: str


class Session:
    r"""One scenario: a clean Wine (no process left from before), the install folder
    C:\Program Files\kivo app <name> with Fennowick.exe and the stand-in kivo.exe."""

    LAUNCHER_NAME = 'Fennowick.exe'
    MAIN_APP_NAME = 'kivo.exe'

    def __init__(self, name, tools, install_folder=None):
        self.name = name
        self.tools = tools
        self.display = Display()
        self.wine = Wine(os.path.join(tools.work_dir, 'wineprefix'), self.display)
        self.install_folder = install_folder or ('C:\\Program Files\\kivo app ' + name)
        self.helper_folder = 'C:\\e2e\\' + name
        self.registry = Registry(self.wine, self.helper_folder)
        self._answerers = []
        self._copies = []
        self._copy_reports = []   # exact_run's report (its standard output) for each copy
        self._runs = 0

    # --- set-up -------------------------------------------------------------------------------

    def __enter__(self):
        try:
            self.display.start()
            self.wine.ensure_prefix()
            self.wine.kill()
            self.install()
            self.wine.start_session()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for answerer in self._answerers:
            answerer.stop()
        self.wine.kill()
        for copy in self._copies:
            copy.wait()
        for report in self._copy_reports:
            report.close()
        self.display.stop()
        return False

    def unix_path(self, windows_path):
        return self.wine.unix_path(windows_path)

    @property
    def install_path(self):
        return self.unix_path(self.install_folder)

    @property
    def launcher_path(self):
        return self.install_folder + '\\' + self.LAUNCHER_NAME

    @property
    def main_app_path(self):
        return self.install_folder + '\\' + self.MAIN_APP_NAME

    def install(self):
        """A fresh install folder with the launcher and the stand-in, and an empty helper folder."""
        for folder in (self.install_folder, self.helper_folder):
            shutil.rmtree(self.unix_path(folder), ignore_errors=True)
        os.makedirs(self.install_path)
        os.makedirs(self.unix_path(self.helper_folder))
        shutil.copyfile(self.tools.launcher, os.path.join(self.install_path, self.LAUNCHER_NAME))
        shutil.copyfile(self.tools.stand_in, os.path.join(self.install_path, self.MAIN_APP_NAME))
        for helper in (self.tools.exact_run, self.tools.probe):
            shutil.copyfile(helper, os.path.join(self.unix_path(self.helper_folder), os.path.basename(helper)))

    def write_file(self, windows_path, data):
        """Writes bytes (or str as UTF-8) to a file in the prefix, making its folders."""
        path = self.unix_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data.encode('utf-8') if isinstance(data, str) else data)

    # --- running programs ----------------------------------------------------------------------

    def _exact_run_args(self, program, tail, cwd, stdout=None, stderr=None):
        args = [self.helper_folder + '\\exact_run.exe', '--program=' + utf16_hex(program)]
        if len(tail) < 1000:
            args.append('--tail=' + utf16_hex(tail))
        else:  # beyond what exact_run's own command line can carry
            tail_file = f'{self.helper_folder}\\tail{self._runs}.txt'
            self.write_file(tail_file, tail.encode('utf-16-le', 'surrogatepass'))
            args.append('--tail-file=' + utf16_hex(tail_file))
        if cwd:
            args.append('--cwd=' + utf16_hex(cwd))
        if stdout:
            args.append('--stdout=' + utf16_hex(stdout))
        if stderr:
            args.append('--stderr=' + utf16_hex(stderr))
        return args

    def launch(self, command_line='', *, tail=None, program=None, cwd='C:\\windows',
               debug_output=False, env=None, timeout=60):
        """Runs the launcher with the command line '"<launcher path>" ' + command_line, or
        '"<launcher path>"' + tail, and waits for it (not for what it starts)."""
        self._runs += 1
        stdout = f'{self.helper_folder}\\launch{self._runs}.out'
        stderr = f'{self.helper_folder}\\launch{self._runs}.err'
        args = self._exact_run_args(program or self.launcher_path,
                                    ' ' + command_line if tail is None else tail, cwd, stdout, stderr)
        result = self.wine.run(args, timeout=timeout, env=env,
                               debug='-all,+debugstr' if debug_output else '-all')
        report = result.stdout.decode('utf-8', 'replace').replace('\r\n', '\n')
        match = re.search(r'^exit-code 0x([0-9A-F]{8})$', report, re.M)
        if not match:
            raise Failure(f'exact_run did not run the launcher: {report.strip()} '
                          f'{result.stderr.decode("utf-8", "replace").strip()}')
        wine_debug = result.stderr.decode('latin-1')

        def read(path):
            with open(self.unix_path(path), 'rb') as f:
                return f.read()
        return LaunchResult(int(match.group(1), 16), read(stdout), read(stderr),
                            parse_debug_strings(wine_debug), wine_debug)

    def start_running_copy(self, parameters='', timeout=20):
        """Starts the installed stand-in as a running copy of the main application (exactly these
        parameters; '--no-pipe' keeps it off the pipe) and waits until it is up."""
        before = len(self.start_records())
        self._runs += 1
        args = self._exact_run_args(self.main_app_path, ' ' + parameters, self.install_folder)
        report = tempfile.TemporaryFile()
        self._copy_reports.append(report)
        self._copies.append(self.wine.spawn(args, stdout=report))
        starts = self.wait_for_starts(before + 1, timeout)
        return starts[-1]

    def running_copy_exit_codes(self, timeout=0):
        """The exit codes of the copies that start_running_copy() started, in that order: the
        32-bit code, or None for a copy still running after `timeout` seconds."""
        poll(lambda: all(copy.poll() is not None for copy in self._copies), timeout)
        codes = []
        for copy, report in zip(self._copies, self._copy_reports):
            if copy.poll() is None:
                codes.append(None)
                continue
            report.seek(0)
            match = re.search(rb'^exit-code 0x([0-9A-F]{8})', report.read(), re.M)
            codes.append(int(match.group(1), 16) if match else None)
        return codes

    def running_copies(self):
        """Linux process ids of the kivo.exe processes of this install folder that are alive."""
        target = os.path.realpath(os.path.join(self.install_path, self.MAIN_APP_NAME))
        alive = []
        for entry in os.listdir('/proc'):
            if not entry.isdigit():
                continue
            try:
                with open(f'/proc/{entry}/maps', 'rb') as f:
                    maps = f.read().decode('utf-8', 'replace')
            except OSError:
                continue
            if any(line.endswith(target) for line in maps.splitlines()):
                alive.append(int(entry))
        return alive

    # --- the stand-in's record -----------------------------------------------------------------

    def records(self):
        """Complete lines of kivo-record.txt, as StartRecord and PipeRecord."""
        try:
            with open(os.path.join(self.install_path, RECORD_FILE), 'rb') as f:
                data = f.read()
        except FileNotFoundError:
            return []
        records = []
        for line in data.decode('utf-8', 'replace').split('\n')[:-1]:
            fields = line.split('\t')
            if fields[0] == 'start' and len(fields) == 4:
                records.append(StartRecord(int(fields[1]), decode_percent(fields[2]), decode_percent(fields[3])))
            elif fields[0] == 'pipe' and len(fields) == 3:
                records.append(PipeRecord(int(fields[1]), bytes.fromhex(fields[2])))
        return records

    def start_records(self):
        return [r for r in self.records() if isinstance(r, StartRecord)]

    def pipe_records(self):
        return [r for r in self.records() if isinstance(r, PipeRecord)]

    def wait_for_starts(self, count=1, timeout=20):
        starts = poll(lambda: len(self.start_records()) >= count and self.start_records(), timeout)
        if not starts:
            raise Failure(f'expected {count} start(s) of kivo.exe within {timeout} s, '
                          f'saw {self.start_records()!r}')
        return starts

    def wait_for_pipe_messages(self, count=1, timeout=20):
        messages = poll(lambda: len(self.pipe_records()) >= count and self.pipe_records(), timeout)
        if not messages:
            raise Failure(f'expected {count} pipe message(s) within {timeout} s, saw {self.pipe_records()!r}')
        return messages

    def expect_no_start(self, known=0, settle=1.0):
        """Checks that no start beyond the `known` ones shows up. The launcher has created any
        process it starts before it ends, so a short wait for its record is enough."""
        time.sleep(settle)
        starts = self.start_records()
        check(len(starts) == known, f'expected no new start of kivo.exe, saw {starts[known:]!r}')

    # --- message boxes -------------------------------------------------------------------------

    def answer_message_box(self, key='Return', timeout=60):
        """From now on answers the launcher's question with a key: 'Return' is OK, 'Escape' is
        Cancel. Returns the answerer; its `answered` lists the titles of the boxes it answered."""
        answerer = MessageBoxAnswerer(self.display.name, key, timeout=timeout).start()
        self._answerers.append(answerer)
        return answerer

    def probe(self, *args, debug_output=False):
        """Runs probe.exe (see probe.cpp) and returns its Output."""
        return self.wine.run([self.helper_folder + '\\probe.exe'] + list(args),
                             debug='-all,+debugstr' if debug_output else '-all')

    def make_link(self, link_path, target_path, icon_path=None):
        """Saves a shell link (through IShellLinkW) to target_path, working folder its folder, and
        the icon icon_path (index 0) when given."""
        icon = [utf16_hex(icon_path)] if icon_path else []
        result = self.probe('make-link', utf16_hex(link_path), utf16_hex(target_path), *icon)
        check_equal(result.returncode, 0, f'making the shell link {link_path}')

    def read_link(self, link_path):
        """The properties of a shell link as IShellLinkW reads them: {'target', 'arguments',
        'working-folder', 'description', 'icon'}; None when it cannot be loaded."""
        result = self.probe('read-link', utf16_hex(link_path))
        if result.returncode != 0:
            return None
        lines = result.stdout.decode('utf-8', 'replace').split('\n')
        return dict(line.split('\t', 1) for line in lines if '\t' in line)

    def desktop_links(self):
        """File names of the shell links on the all-users desktop."""
        folder = self.unix_path(PUBLIC_DESKTOP)
        if not os.path.isdir(folder):
            return []
        return sorted(name for name in os.listdir(folder) if name.lower().endswith('.lnk'))

    def log(self, text):
        print(f'[{self.name}] {text}', flush=True)


# --- scenario registry ---------------------------------------------------------------------------

SCENARIOS = {}


class Scenario(NamedTuple):
    function: object          # takes the Session
    install_folder: str       # None: C:\\Program Files\\kivo app <name>


def scenario(name, install_folder=None):
    """Registers a function taking a Session as the scenario `name` (the CTest test e2e.<name>)."""
    def register(function):
        if name in SCENARIOS:
            raise ValueError(f'scenario {name} registered twice')
        SCENARIOS[name] = Scenario(function, install_folder)
        return function
    return register
