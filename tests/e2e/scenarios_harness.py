"""The harness's own checks: what the launcher scenarios rely on (exact command lines, the
stand-in's record and pipe, message boxes, debugger output, the registry, running copies, shell
links) works under this Wine, so that a failing launcher scenario points at the launcher."""

import os

from harness import (CHINESE_WINDOWS, PUBLIC_DESKTOP, Failure, check, check_equal, parse_debug_strings, poll,
                     scenario, utf16_hex, winmain_command_line)


@scenario('harness_exact_command_line')
def exact_command_line(s):
    # Tails that Wine's argument quoting could not produce, given straight to the stand-in.
    tails = [
        ' a "b c" \\"d\\" %PATH% 100% x\\',
        '"glued"after" the name\t\ttabs and trailing blanks  ',
        '"glued"to the name',
        ' 中文 Ωμέγα 😀 lone \ud800 surrogate',
        ' \x01control\x1f%',
    ]
    for n, tail in enumerate(tails, start=1):
        # exact_run waits for its child, so this stand-in ends at once.
        run = s.launch(tail=tail, program=s.main_app_path, env={'KIVO_STANDIN_SECONDS': '0'})
        check_equal(run.exit_code, 0, 'exit code of the stand-in')
        starts = s.wait_for_starts(n)
        expected = winmain_command_line(f'"{s.main_app_path}"{tail}')
        check_equal(starts[-1].parameters, expected, f'parameters for tail {tail!r}')
        check_equal(starts[-1].cwd, 'C:\\windows', 'current directory given to exact_run')


@scenario('harness_pipe_and_running_copies')
def pipe_and_running_copies(s):
    check_equal(s.running_copies(), [], 'copies before the start')
    first = s.start_running_copy('first')
    second = s.start_running_copy('--no-pipe')
    check(first.pid != second.pid, 'two processes')
    check_equal(len(s.running_copies()), 2, 'running copies')

    payload = 'open?id=7"'.encode('cp1252') + b'\0'
    result = s.probe('pipe-write', payload.hex())
    check_equal(result.returncode, 0, 'pipe client exit code')
    message = s.wait_for_pipe_messages(1)[0]
    check_equal(message.data, payload, 'bytes on the pipe')
    check_equal(message.pid, first.pid, 'the copy that serves the pipe')

    s.wine.kill()
    check(poll(lambda: not s.running_copies(), 10), 'copies left after wineserver -k')
    s.wine.start_session()
    check_equal(s.probe('pipe-write', '00').returncode, 1, 'pipe client without a server')


@scenario('harness_message_box')
def message_box(s):
    for title, key, answer in (('Prompt', 'Return', 1), ('提示', 'Escape', 2)):
        answerer = s.answer_message_box(key)
        result = s.probe('message-box', utf16_hex(title))
        answerer.stop()
        check_equal(result.returncode, answer, f'answer to {title!r} after {key}')
        check_equal(answerer.answered, [title], 'boxes answered')


@scenario('harness_debug_output')
def debug_output(s):
    texts = [b'[DID] [I] [2026-01-02 03:04:05] class path: kivo.exe\n',
             'par: 中文 "q" \\ \t end'.encode('gbk'),
             b'x' * 1000]
    for text in texts:
        result = s.probe('debug-string', text.hex(), debug_output=True)
        strings = parse_debug_strings(result.stderr.decode('latin-1'))
        check_equal(len(strings), 1, f'debug strings of {text[:40]!r}')
        if len(text) < 200:
            check_equal(strings[0], text, 'debug string')
        else:
            # Wine shortens long texts in its trace and marks the cut.
            check(strings[0].endswith(b'...') and text.startswith(strings[0][:-3]),
                  f'shortened debug string {strings[0][:40]!r}...')


@scenario('harness_registry')
def registry(s):
    key = 'HKCU\\Software\\fennowick-e2e\\sub key'
    value = '"C:\\Program Files\\kivo app\\Fennowick.exe" "%1" 中文'
    s.registry.delete_key('HKCU\\Software\\fennowick-e2e')
    check_equal(s.registry.values(key), None, 'values of a missing key')
    s.registry.set(key, '', value)
    s.registry.set(key, 'Language', 'zh-CN')
    s.registry.set(key, 'Count', 7)
    check_equal(s.registry.values(key), {'': value, 'Language': 'zh-CN', 'Count': 7}, 'values')
    s.registry.delete_value(key, 'Language')
    check_equal(s.registry.query(key, 'Language'), None, 'deleted value')
    check_equal(s.registry.query(key), value, 'default value')
    s.registry.delete_key('HKCU\\Software\\fennowick-e2e')
    if s.registry.values(key) is not None:
        raise Failure('key still there after delete_key')


@scenario('harness_shell_links')
def shell_links(s):
    link = PUBLIC_DESKTOP + '\\kivo e2e 中文.lnk'
    s.make_link(link, s.launcher_path)
    check('kivo e2e 中文.lnk' in s.desktop_links(), f'link on the desktop: {s.desktop_links()}')
    properties = s.read_link(link)
    check_equal(properties['target'], s.launcher_path, 'target')
    check_equal(properties['working-folder'], s.install_folder, 'working folder')
    check_equal(s.read_link(PUBLIC_DESKTOP + '\\missing.lnk'), None, 'a missing link')
    os.remove(s.unix_path(link))


@scenario('harness_chinese_windows')
def chinese_windows(s):
    # The locale reaches programs that a Windows program starts, as the launcher's children.
    probe = s.helper_folder + '\\probe.exe'
    check_equal(s.launch(tail=' code-page', program=probe).exit_code, 1252, 'ANSI code page by default')
    check_equal(s.launch(tail=' code-page', program=probe, env=CHINESE_WINDOWS).exit_code, 936,
                'ANSI code page of a Chinese Windows')
