"""The launch path seen from outside: which parameters and which current directory the started
main application gets, and the launcher's exit code."""

from harness import check, check_equal, parameters_seen_by_main_application, scenario

# The parameters that reach the main application: command line (what the launcher's wWinMain
# receives) and the parameters it passes on, one row per kind of command line.
PARAMETER_TABLE = {
    'empty': ('', ''),
    'plain_text': ('alpha "beta gamma" %PATH% 100% C:\\dir\\ end', 'alpha "beta gamma" %PATH% 100% C:\\dir\\ end'),
    'forced_text': ('forcerun:--mode fast "two words"', '--mode fast "two words"'),
    'quoted_link': ('"tessaluvian://open?id=42&name=%E4%B8%AD"', 'open?id=42&name=%E4%B8%AD"'),
    'forced_link': ('forcerun:tessaluvian://join/room 7', 'join/room 7'),
    'text_link_text': ('open "tessaluvian://a b" tessaluvian://c  tail', 'a b" tessaluvian://c  tail'),
}


def expect_launch(s, run, parameters, nth=1):
    """The run returned 0 and started kivo.exe (its nth start in this session) in the install
    folder with these parameters, as its wWinMain sees them."""
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    start = s.wait_for_starts(nth)[nth - 1]
    check_equal(start.parameters, parameters_seen_by_main_application(parameters), 'parameters of kivo.exe')
    check_equal(start.cwd, s.install_folder, 'current directory of kivo.exe')
    s.log(f'started with {start.parameters!r}')


def parameter_row(command_line, parameters):
    def run(s):
        expect_launch(s, s.launch(command_line), parameters)
        s.expect_no_start(known=1, settle=0.3)
    return run


for row, (command_line, parameters) in PARAMETER_TABLE.items():
    scenario('launch_' + row)(parameter_row(command_line, parameters))


@scenario('launch_prefixes_only_where_and_as_written')
def prefixes_only_where_and_as_written(s):
    # Neither prefix counts in another letter case, and "forcerun:" only at the first character.
    # Each launch leaves its kivo.exe running, so the next one asks: OK lets it go on.
    s.answer_message_box('Return')
    for nth, command_line in enumerate(['"forcerun:x" y', 'a forcerun:b',
                                        'FORCERUN:x Tessaluvian://y TESSALUVIAN://z'], start=1):
        expect_launch(s, s.launch(command_line), command_line, nth)


@scenario('launch_command_line_after_program_name')
def command_line_after_program_name(s):
    # The command line starts after the program name and the blanks and tabs that follow it, so
    # the first is forced mode; text glued to the quoted name still belongs to the name (and the
    # second launch, not forced, asks about the first one's kivo.exe: OK).
    s.answer_message_box('Return')
    for nth, (tail, parameters) in enumerate([(' \t  forcerun:tessaluvian://p q', 'p q'),
                                              ('forcerun:glued', '')], start=1):
        expect_launch(s, s.launch(tail=tail), parameters, nth)


@scenario('launch_text_outside_code_page_936')
def text_outside_code_page_936(s):
    # The log records convert the parameters to code page 936; text it cannot hold, and a lone
    # surrogate, must still reach kivo.exe unchanged.
    command_line = 'Ωμέγα Жж 😀 \ud800 «»'
    expect_launch(s, s.launch(command_line), command_line)


@scenario('launch_long_command_line')
def long_command_line(s):
    # Near the limit of a Windows command line (32767 units with the program path).
    command_line = 'tessaluvian://' + ''.join(f'{i:05d} ' for i in range(5000))
    check(len(command_line) > 30000, 'a long command line')
    expect_launch(s, s.launch(command_line), command_line[len('tessaluvian://'):])


def long_install_folder(module_path_length):
    """An install folder in C:\\Program Files whose launcher path has this many characters (in
    folders of at most 100 characters: Linux allows no longer names)."""
    folder = 'C:\\Program Files\\kivo app long'
    while True:
        room = module_path_length - len(folder) - len('\\Fennowick.exe')
        if room <= 0:
            return folder
        # A new folder takes a separator; a single character left goes to the last name.
        folder += '\\' + 'x' * min(room - 1, 100) if room > 1 else 'x'


@scenario('launch_longest_install_folder', install_folder=long_install_folder(259))
def longest_install_folder(s):
    # The module path fills its 260-unit buffer (259 characters and the terminator): the
    # configuration path no longer fits, the launch goes on.
    expect_launch(s, s.launch('forcerun:x'), 'x')
