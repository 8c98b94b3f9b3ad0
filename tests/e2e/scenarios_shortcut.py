"""The desktop shortcut seen from outside: ProductConfig.xml in the install folder names the
shortcut on the all-users desktop, and the launch path points it at the launcher, renames it and
retires the old one. Shortcuts are made with probe.exe, since the launcher never makes one from
nothing; the main application is started whatever happens to the shortcut."""

import os

from harness import PUBLIC_DESKTOP, check_equal, scenario

OLD_CN, NEW_CN = '旧版快捷方式', '新版快捷方式'
OLD_EN, NEW_EN = 'Kivo', 'Kivo Studio'


def config(old_cn=None, old_en=None, new_cn=None, new_en=None):
    elements = [('shortcut_cn', old_cn), ('shortcut_en', old_en),
                ('shortcut_new_cn', new_cn), ('shortcut_new_en', new_en)]
    body = ''.join(f'  <{name}>{value}</{name}>\n' for name, value in elements if value is not None)
    return f'<?xml version="1.0" encoding="UTF-8"?>\n<config>\n{body}</config>\n'


def link_path(name):
    return f'{PUBLIC_DESKTOP}\\{name}.lnk'


def prepare(s, config_text=None, links=(), icon=True):
    """A desktop with only these (name, target) links, the configuration (None: no file) and the
    icon file kivo.ico beside the launcher."""
    folder = s.unix_path(PUBLIC_DESKTOP)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.lower().endswith('.lnk'):
            os.remove(os.path.join(folder, name))
    if config_text is not None:
        s.write_file(s.install_folder + '\\ProductConfig.xml', config_text)
    if icon:
        s.write_file(s.install_folder + '\\kivo.ico', b'\0\0\1\0')
    for name, target in links:
        s.make_link(link_path(name), target)


def launch(s, nth=1):
    """The launch path ran to its end: exit code 0 and kivo.exe started with the parameters."""
    run = s.launch('--page 2')
    check_equal(run.exit_code, 0, 'exit code of the launcher')
    start = s.wait_for_starts(nth)[nth - 1]
    check_equal(start.parameters, '--page 2', 'parameters of kivo.exe')


def expect_refreshed(s, name, icon=True):
    link = s.read_link(link_path(name))
    check_equal(link is not None, True, f'{name}.lnk loads')
    check_equal(link['target'], s.launcher_path, f'target of {name}.lnk')
    check_equal(link['working-folder'], s.install_folder, f'working folder of {name}.lnk')
    check_equal(link['description'], 'kivo', f'description of {name}.lnk')
    if icon:
        check_equal(link['icon'], s.install_folder + '//kivo.ico', f'icon of {name}.lnk')


def expect_unchanged(s, name, target):
    link = s.read_link(link_path(name))
    check_equal(link is not None, True, f'{name}.lnk loads')
    check_equal(link['target'], target, f'target of {name}.lnk')
    check_equal(link['description'], '', f'description of {name}.lnk')


def expect_desktop(s, *names):
    check_equal(s.desktop_links(), sorted(name + '.lnk' for name in names), 'links on the all-users desktop')


@scenario('shortcut_updated_in_place')
def updated_in_place(s):
    # Only the old name: the link keeps its name and now starts the launcher.
    prepare(s, config(old_cn=OLD_CN), [(OLD_CN, 'C:\\Program Files\\kivo\\kivo.exe')])
    launch(s)
    expect_desktop(s, OLD_CN)
    expect_refreshed(s, OLD_CN)


@scenario('shortcut_missing_icon_keeps_the_links_own')
def missing_icon(s):
    # Without kivo.ico the link keeps the icon it had.
    prepare(s, config(old_cn=OLD_CN), icon=False)
    s.make_link(link_path(OLD_CN), 'C:\\Other\\kivo.exe', 'C:\\Other\\own.ico')
    launch(s)
    expect_refreshed(s, OLD_CN, icon=False)
    check_equal(s.read_link(link_path(OLD_CN))['icon'], 'C:\\Other\\own.ico', 'icon location of the link')


@scenario('shortcut_renamed_old_retired')
def renamed_old_retired(s):
    # Wine answers the short form of a path with its long form, so an old link to a program
    # called Fennowick.exe, in any folder and any letter case, is the launcher's: it goes.
    for nth, old_target in enumerate(['D:\\Old Place\\FENNOWICK.exe', None], start=1):
        prepare(s, config(old_cn=OLD_CN, new_cn=NEW_CN), [(OLD_CN, old_target or s.launcher_path)])
        launch(s, nth)
        expect_desktop(s, NEW_CN)
        expect_refreshed(s, NEW_CN)


@scenario('shortcut_old_link_of_the_main_application_kept')
def old_link_of_main_application_kept(s):
    prepare(s, config(old_cn=OLD_CN, new_cn=NEW_CN), [(OLD_CN, s.main_app_path)])
    launch(s)
    expect_desktop(s, NEW_CN, OLD_CN)
    expect_unchanged(s, OLD_CN, s.main_app_path)
    expect_refreshed(s, NEW_CN)


@scenario('shortcut_both_links_the_old_one_is_the_source')
def both_links(s):
    prepare(s, config(old_cn=OLD_CN, new_cn=NEW_CN),
            [(OLD_CN, 'C:\\Old\\Fennowick.exe'), (NEW_CN, 'C:\\Elsewhere\\other.exe')])
    launch(s)
    expect_desktop(s, NEW_CN)
    expect_refreshed(s, NEW_CN)


@scenario('shortcut_only_the_new_link_updated')
def only_new_link(s):
    prepare(s, config(old_cn=OLD_CN, new_cn=NEW_CN), [(NEW_CN, 'C:\\Elsewhere\\other.exe')])
    launch(s)
    expect_desktop(s, NEW_CN)
    expect_refreshed(s, NEW_CN)


@scenario('shortcut_none_is_made_from_nothing')
def none_made(s):
    prepare(s, config(old_cn=OLD_CN, new_cn=NEW_CN))
    launch(s)
    expect_desktop(s)


@scenario('shortcut_configuration_files')
def configuration_files(s):
    # What ProductConfig.xml holds decides whether the link is touched; kivo.exe starts anyway.
    old_target = 'C:\\Old\\Fennowick.exe'
    rows = [
        ('no file', None, [OLD_CN]),
        ('malformed', config(old_cn=OLD_CN, new_cn=NEW_CN)[:-3], [OLD_CN]),
        ('root without children', '<config/>', [OLD_CN]),
        ('byte-order mark', '\ufeff' + config(old_cn=OLD_CN, new_cn=NEW_CN), [NEW_CN]),
        ('English names only: no Chinese old name', config(old_en=OLD_EN, new_en=NEW_EN), [OLD_CN]),
    ]
    for nth, (what, text, links) in enumerate(rows, start=1):
        s.log(what)
        config_file = s.unix_path(s.install_folder + '\\ProductConfig.xml')
        if os.path.exists(config_file):
            os.remove(config_file)
        prepare(s, text, [(OLD_CN, old_target)])
        launch(s, nth)
        expect_desktop(s, *links)
        if links == [OLD_CN]:
            expect_unchanged(s, OLD_CN, old_target)
        else:
            expect_refreshed(s, NEW_CN)


@scenario('shortcut_chinese_pair_by_default')
def chinese_pair_by_default(s):
    # Without a language value the interface is Chinese: the Chinese pair of names is used and
    # the link under the English name is not touched.
    old_target = 'C:\\Old\\Fennowick.exe'
    s.registry.delete_key('HKEY_CURRENT_USER\\SOFTWARE\\kivo\\Language')
    prepare(s, config(old_cn=OLD_CN, old_en=OLD_EN, new_cn=NEW_CN, new_en=NEW_EN),
            [(OLD_CN, old_target), (OLD_EN, old_target)])
    launch(s)
    expect_desktop(s, NEW_CN, OLD_EN)
    expect_refreshed(s, NEW_CN)
    expect_unchanged(s, OLD_EN, old_target)


@scenario('shortcut_configuration_in_a_chinese_folder_on_a_western_windows',
          install_folder='C:\\Program Files\\快捷 kivo')
def configuration_in_a_chinese_folder(s):
    # The configuration path is opened in its code page 936 form, which the system reads in its
    # ANSI code page: on a western Windows it names another file, so the shortcut is left alone.
    # (The Chinese Windows of the harness cannot show the other half: without a zh_CN locale on
    # the machine Wine cannot map Chinese file names while it plays code page 936.)
    old_target = 'C:\\Old\\Fennowick.exe'
    prepare(s, config(old_cn=OLD_CN, new_cn=NEW_CN), [(OLD_CN, old_target)])
    launch(s)
    expect_desktop(s, OLD_CN)
    expect_unchanged(s, OLD_CN, old_target)


@scenario('shortcut_english_pair_for_en_us')
def english_pair_for_en_us(s):
    # The per-user language value "en-US" picks the English pair; the Chinese link stays as it was.
    old_target = 'C:\\Old\\Fennowick.exe'
    s.registry.set('HKCU\\SOFTWARE\\kivo\\Language', '', 'en-US')
    try:
        prepare(s, config(old_cn=OLD_CN, old_en=OLD_EN, new_cn=NEW_CN, new_en=NEW_EN),
                [(OLD_CN, old_target), (OLD_EN, old_target)])
        launch(s)
        expect_desktop(s, NEW_EN, OLD_CN)
        expect_refreshed(s, NEW_EN)
        expect_unchanged(s, OLD_CN, old_target)
    finally:
        s.registry.delete_key('HKCU\\SOFTWARE\\kivo')
