"""Running copies, the question, the hand-off of links and the link registration, seen from
outside: which copies end and how, what the running copy receives on its pipe, the launcher's exit
code, the question's texts, and the registered shell command."""

import os
import shutil
import threading

from harness import (CHINESE_WINDOWS, check, check_equal, parameters_seen_by_main_application, scenario,
                     utf16_hex)

CHINESE_QUESTION = '检测到程序正在运行\uff0c是否重新打开!'
ENGLISH_QUESTION = 'Another program is already in progress, start new one?'
LANGUAGE_KEY = 'HKCU\\SOFTWARE\\kivo\\Language'
SCHEME_KEY = 'HKCR\\tessaluvian'
COMMAND_KEY = 'HKCR\\tessaluvian\\shell\\open\\command'


def expect_copies_gone(s, linux_pids, what):
    """The copies ended before the launcher returned: it waits for the copies it terminated."""
    left = [pid for pid in linux_pids if pid in s.running_copies()]
    check_equal(left, [], f'{what} still alive when the launcher returned')


def expect_nothing_else(s, run, known_starts):
    """A declined restart changes nothing: no start, no registration, no log text."""
    s.expect_no_start(known=known_starts)
    check_equal(s.registry.values(SCHEME_KEY), None, 'link registration')
    check_equal(run.stderr, b'', 'log text on standard error')


def registered_command(s):
    """The default value of the scheme's command key, read with RegQueryValueExW: (type, size,
    data bytes)."""
    result = s.probe('reg-value', utf16_hex(COMMAND_KEY), utf16_hex(''))
    check_equal(result.returncode, 0, 'reading the registered command')
    fields = dict(line.split('\t', 1) for line in result.stdout.decode().splitlines() if '\t' in line)
    return int(fields['type']), int(fields['size']), bytes.fromhex(fields['data'])


def expected_command_bytes(launcher_path):
    text = f'"{launcher_path}" "%1"'.encode('utf-16-le')
    return text + b'\0' * (520 - len(text))


class BoxReader:
    """Reads the texts of the question titled `title` as soon as it shows, then answers it."""

    def __init__(self, s, title, key):
        self.s, self.title, self.key = s, title, key
        self.texts = None
        self.answerer = None
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        result = self.s.probe('box-text', utf16_hex(self.title))
        if result.returncode == 0:
            lines = result.stdout.decode('utf-8').splitlines()
            self.texts = [line.split('\t', 1)[1] for line in lines if line.startswith('text\t')]
        self.answerer = self.s.answer_message_box(self.key)

    def join(self):
        """Waits for the reading, and stops answering: a later question is another reader's."""
        self._thread.join(30)
        if self.answerer:
            self.answerer.stop()


@scenario('guard_ok_terminates_the_copy_and_starts_anew')
def ok_terminates_and_starts_anew(s):
    s.start_running_copy('old')
    old = s.running_copies()
    check_equal(len(old), 1, 'running copies before the launch')
    answerer = s.answer_message_box('Return')
    run = s.launch('--page 2')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    expect_copies_gone(s, old, 'the terminated copy')
    check_equal(s.running_copy_exit_codes(timeout=10), [0], 'exit code of the terminated copy')
    check_equal(answerer.answered, ['提示'], 'questions answered')
    start = s.wait_for_starts(2)[1]
    check_equal(start.parameters, parameters_seen_by_main_application('--page 2'), 'parameters of the new copy')
    check_equal(start.cwd, s.install_folder, 'current directory of the new copy')


@scenario('guard_forced_mode_terminates_every_copy_without_asking')
def forced_mode_terminates_every_copy(s):
    s.start_running_copy('first')
    s.start_running_copy('--no-pipe')
    old = s.running_copies()
    check_equal(len(old), 2, 'running copies before the launch')
    answerer = s.answer_message_box('Escape')
    run = s.launch('forcerun:x y')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    expect_copies_gone(s, old, 'terminated copies')
    check_equal(s.running_copy_exit_codes(timeout=10), [0, 0], 'exit codes of the terminated copies')
    check_equal(answerer.answered, [], 'questions in forced mode')
    start = s.wait_for_starts(3)[2]
    check_equal(start.parameters, parameters_seen_by_main_application('x y'), 'parameters of the new copy')


@scenario('guard_cancel_hands_the_link_to_the_running_copy')
def cancel_hands_the_link_over(s):
    s.registry.delete_key(SCHEME_KEY)
    copy = s.start_running_copy('old')
    s.answer_message_box('Escape')
    # A link as the shell passes it: in quotes, so the payload ends with the closing quote.
    run = s.launch('"tessaluvian://open?id=7&name=café"')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    message = s.wait_for_pipe_messages(1)[0]
    check_equal(message.data, 'open?id=7&name=café"'.encode('cp1252') + b'\0', 'bytes on the pipe')
    check_equal(message.pid, copy.pid, 'the copy that received the link')
    expect_nothing_else(s, run, known_starts=1)
    check_equal(s.running_copy_exit_codes(), [None], 'the running copy is left running')


@scenario('guard_cancel_hands_the_link_over_in_code_page_936')
def cancel_hands_the_link_over_in_code_page_936(s):
    s.start_running_copy('old')
    s.answer_message_box('Escape')
    run = s.launch('"tessaluvian://打开 文档"', env=CHINESE_WINDOWS)
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    message = s.wait_for_pipe_messages(1)[0]
    check_equal(message.data, '打开 文档"'.encode('gbk') + b'\0', 'bytes on the pipe')


@scenario('guard_cancel_with_an_empty_payload_sends_one_zero_byte')
def cancel_with_an_empty_payload(s):
    s.start_running_copy('old')
    s.answer_message_box('Escape')
    run = s.launch('tessaluvian://')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    check_equal(s.wait_for_pipe_messages(1)[0].data, b'\0', 'bytes on the pipe')


@scenario('guard_cancel_without_a_pipe_server_exits_with_1')
def cancel_without_a_pipe_server(s):
    s.registry.delete_key(SCHEME_KEY)
    s.start_running_copy('--no-pipe')
    s.answer_message_box('Escape')
    run = s.launch('"tessaluvian://open"')
    check_equal(run.exit_code, 1, 'exit code of the launcher')
    expect_nothing_else(s, run, known_starts=1)
    check_equal(s.pipe_records(), [], 'pipe messages')


@scenario('guard_cancel_without_a_link_changes_nothing')
def cancel_without_a_link(s):
    s.registry.delete_key(SCHEME_KEY)
    # A pending update stays where it is: the declined run installs nothing.
    s.write_file(s.install_folder + '\\temp\\update.zip', b'PK\x05\x06' + b'\0' * 18)
    s.start_running_copy('old')
    s.answer_message_box('Escape')
    run = s.launch('--page 2')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    expect_nothing_else(s, run, known_starts=1)
    check_equal(s.pipe_records(), [], 'pipe messages')
    check(os.path.exists(s.unix_path(s.install_folder + '\\temp\\update.zip')), 'temp\\update.zip left in place')
    check(not os.path.exists(s.unix_path(s.install_folder + '\\update.zip')), 'no update.zip staged')


@scenario('guard_question_in_the_language_of_the_user')
def question_in_the_language_of_the_user(s):
    rows = [('en-US', 'Prompt', ENGLISH_QUESTION),
            (None, '提示', CHINESE_QUESTION),
            ('zh-CN', '提示', CHINESE_QUESTION),
            ('en-us', '提示', CHINESE_QUESTION),
            ('en-US ', '提示', CHINESE_QUESTION)]
    s.start_running_copy('old')
    for value, title, question in rows:
        if value is None:
            s.registry.delete_key(LANGUAGE_KEY)
        else:
            s.registry.set(LANGUAGE_KEY, '', value)
        reader = BoxReader(s, title, 'Escape')
        run = s.launch('')
        reader.join()
        check_equal(run.exit_code, 0, f'exit code with the language {value!r}')
        check_equal(reader.texts, [question], f'question with the language {value!r}')
    s.registry.delete_key('HKCU\\SOFTWARE\\kivo')
    s.expect_no_start(known=1)


@scenario('guard_registration_follows_the_launcher')
def registration_follows_the_launcher(s):
    s.registry.delete_key(SCHEME_KEY)
    run = s.launch('x')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    check_equal(registered_command(s), (1, 520, expected_command_bytes(s.launcher_path)), 'registered command')
    check_equal(s.registry.values(COMMAND_KEY), {'': f'"{s.launcher_path}" "%1"'}, 'values of the command key')

    moved_folder = 'C:\\Program Files\\kivo moved ' + s.name
    moved = moved_folder + '\\Fennowick.exe'
    with open(s.unix_path(s.launcher_path), 'rb') as f:
        s.write_file(moved, f.read())
    # The first copy started above is still running: the moved launcher is told to go ahead.
    try:
        run = s.launch('forcerun:y', program=moved)
        check_equal(run.exit_code, 0, 'exit code of the moved launcher')
        check_equal(registered_command(s), (1, 520, expected_command_bytes(moved)), 'command after the move')
    finally:
        shutil.rmtree(s.unix_path(moved_folder), ignore_errors=True)
