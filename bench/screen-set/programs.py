"""Producers that shoot desktop programs on an X display of their own: GTK3 dialogs of yad and
zenity with a focused field, whose value GTK selects; coloured output of grep, ls, git and diff
in xterm; Midnight Commander in xterm; and lines selected by a mouse drag in Chromium.

The dialogs, Midnight Commander and the drag want the keyboard focus, so they run one at a
time on a display where nothing else runs. There is no window manager: a shot is the window
itself, as a user selects a dialog inside its frame."""

import os
import random
import re
import shutil
import signal
import subprocess
import tempfile

import numpy

from shots import (Case, crop_to_content, esc, grab_root, measured_boxes, measured_truth, page, scale_name, settled,
                   shoot_xterm, xterm_command)
from texts import FILES, MONO, PATHS, PEOPLE, SCALES, SANS, SERIF, PARAGRAPH, HEADINGS

# A fixed time for every file and commit, so that listings and hashes do not follow the clock.
FIXED_TIME = "2024-03-14 09:30:00"
FIXED_EPOCH = 1710408600


def each_scale(count):
    """Case i's scale: the scales in turn."""
    return [SCALES[i % len(SCALES)] for i in range(count)]


def alternate(i, period):
    """0 or 1, turning over each `period` cases and offset each round, so that two choices meet
    every scale."""
    return (i + i // period) % 2


class Program:
    """A program started in a session of its own, ended with everything it started."""

    def __init__(self, command, env, **options):
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True, **options)

    def __enter__(self):
        return self

    def __exit__(self, *error):
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


def x_tool(display, *command):
    done = subprocess.run(list(command), env=dict(os.environ, DISPLAY=display), capture_output=True, text=True,
                          timeout=60)
    return done.stdout if done.returncode == 0 else ""


def window_box(display, title):
    """(left, top, right, bottom) of the shown window of that exact title, or None."""
    found = x_tool(display, "xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$").split()
    if not found:
        return None
    info = x_tool(display, "xwininfo", "-id", found[0])
    values = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", info, re.M))
    if len(values) < 4:
        return None
    left, top = int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])
    return found[0], (left, top, left + int(values["Width"]), top + int(values["Height"]))


# GTK3 dialogs ---------------------------------------------------------------------------------

FORMS = [
    ("Новая встреча", "Заполните поля встречи",
     [("Тема", ["Обсуждение бюджета Q1", "Планёрка отдела продаж", "Ревью релиза 2.4"]),
      ("Место", ["Переговорная 3", "Zoom", "Кабинет 214"]),
      ("Участники", ["Анна, Иван", "Мария Кузнецова", "team@example.com"]),
      ("Дата", ["14.03.2026 10:00", "завтра в 15:30", "2026-04-01"])]),
    ("Новый контакт", "Данные контакта",
     [("Имя", [p.split()[0] for p in PEOPLE]), ("Фамилия", [p.split()[-1] for p in PEOPLE]),
      ("Email", ["anna.petrova@example.com", "i.smirnov@mail.ru", "sarah@acme.io"]),
      ("Телефон", ["+7 912 345-67-89", "+7 (495) 123-45-67", "8 800 555-35-35"])]),
    ("Подключение", "Параметры сервера",
     [("Сервер", ["mail.example.com", "192.168.1.20", "git.tarn.local"]), ("Порт", ["993", "8080", "2222"]),
      ("Пользователь", ["anna", "ivan.smirnov", "backup"]), ("Папка", PATHS)]),
]
FORM_BUTTONS = [("Сохранить", "Отмена"), ("OK", "Отмена"), ("Применить", "Закрыть"), ("Создать", "Отменить")]
ENTRIES = [
    ("Новая папка", "Название новой папки:", ["Черновики 2026", "Отчёты за март", "Снимки экрана", "Архив Q1"]),
    ("Переименовать", "Новое имя файла:", [f for f in FILES if "/" not in f]),
    ("Поиск", "Что найти:", ["бюджет Q1", "договор №17", "invoice 2025", "Обсуждение бюджета"]),
    ("Ссылка", "Адрес страницы:", ["https://example.com/docs", "https://tarn.local/wiki/Установка"]),
]
ENTRY_BUTTONS = [("OK", "Отмена"), ("Создать", "Отменить"), ("Найти", "Закрыть"), ("Готово", "Отмена")]
GTK_FONTS = ["DejaVu Sans 10", "DejaVu Sans 11", "Liberation Sans 11", "Liberation Sans 12", "DejaVu Sans Condensed 11"]


def plan_gtk(seed, count=8):
    """yad forms and zenity entries, in Adwaita and Adwaita dark; the focused field's value is
    selected as GTK selects it on focus."""
    rng = random.Random(f"{seed}/gtk")
    cases = []
    for i, scale in enumerate(each_scale(count)):
        program = "yad" if (i // len(SCALES)) % 2 == 0 else "zenity"
        theme = ["Adwaita", "Adwaita:dark"][alternate(i, len(SCALES))]
        font = rng.choice(GTK_FONTS)
        if program == "yad":
            title, text, fields = rng.choice(FORMS)
            chosen = [(label, rng.choice(values)) for label, values in fields[:rng.randint(2, len(fields))]]
            buttons = rng.choice(FORM_BUTTONS)
            shown = rng.random() < 0.75
            truth = ([text] if shown else []) + [f"{label} {value}" for label, value in chosen] + [" ".join(buttons)]
            command = ["yad", "--form", f"--title={title}", f"--borders={rng.randint(6, 14)}",
                       f"--focus-field={rng.randint(1, len(chosen))}"] + ([f"--text={text}"] if shown else [])
            command += [f"--field={label}" for label, _ in chosen] + [value for _, value in chosen]
            command += [f"--button={label}:{code}" for code, label in enumerate(buttons)]
        else:
            title, text, values = rng.choice(ENTRIES)
            value = rng.choice(values)
            ok, cancel = rng.choice(ENTRY_BUTTONS)
            truth = [text, value, f"{cancel} {ok}"]
            command = ["zenity", "--entry", f"--title={title}", f"--text={text}", f"--entry-text={value}",
                       f"--ok-label={ok}", f"--cancel-label={cancel}"]
        # Fields wide enough for their values at the scaled font.
        width = round(rng.randint(440, 520) * (scale if scale < 2 else 1))
        cases.append(Case(f"gtk-{i + 1:02d}-{scale_name(scale)}", "gtk", truth, command=command + [f"--width={width}"],
                          title=title, theme=theme, font=font, scale=scale))
    return cases


def gtk_env(case, work, display):
    config = tempfile.mkdtemp(prefix="gtk-", dir=work)
    os.makedirs(os.path.join(config, "gtk-3.0"))
    with open(os.path.join(config, "gtk-3.0", "settings.ini"), "w", encoding="utf-8") as f:
        f.write(f"[Settings]\ngtk-font-name={case.data['font']}\ngtk-cursor-blink=false\ngtk-enable-animations=false\n")
    scale = case.data["scale"]
    env = dict(os.environ, DISPLAY=display, LANG="ru_RU.UTF-8", LC_ALL="ru_RU.UTF-8", GTK_THEME=case.data["theme"],
               XDG_CONFIG_HOME=config, NO_AT_BRIDGE="1", GDK_BACKEND="x11")
    # GTK scales whole pixels; between them, as on such desktops, it scales the text.
    env["GDK_SCALE"] = "2" if scale == 2 else "1"
    env["GDK_DPI_SCALE"] = "1" if scale == 2 else str(scale)
    return env


def shoot_gtk(case, work, desk, browser):
    with Program(case.data["command"], gtk_env(case, work, desk)):
        found = []

        def shown():
            if not found:
                box = window_box(desk, case.data["title"])
                if box:
                    found.append(box)
                    # Without a window manager the dialog is made active by hand, as a click would.
                    x_tool(desk, "xdotool", "windowfocus", "--sync", box[0])
            return bool(found)

        picture = settled(desk, shown, f"{case.name}: the dialog never showed")
        return picture.crop(window_box(desk, case.data["title"])[1])


# Coloured terminal output ---------------------------------------------------------------------

LOG_EVENTS = [("INFO", "Запуск службы sync"), ("INFO", "Подключено к mail.example.com"),
              ("WARN", "Диск заполнен на {n}%"), ("ERROR", "Не удалось отправить отчёт: тайм-аут"),
              ("INFO", "Загружено {n} файлов"), ("ERROR", "Нет доступа к /home/anna/Документы"),
              ("WARN", "Повтор запроса через {n} с"), ("INFO", "Резервная копия готова"),
              ("ERROR", "connection refused: 10.0.0.{n}:5432"), ("WARN", "slow query: {n} ms")]
DIFF_LINES = ["Купить бумагу для принтера", "Позвонить в бухгалтерию", "Отправить отчёт за март",
              "Обновить договор №17", "Забронировать переговорную", "Проверить сборку на main",
              "Написать Анне про бюджет", "Заказать картриджи"]
HOSTS = ["anna@tarn", "ivan@build", "maria@laptop", "user@desk"]
FOLDERS = ["~/Проекты", "~/notes", "~/src/tarn", "~/Документы"]


def prompt(host, folder, branch=None):
    """A Debian bash prompt: the user and host in bold green, the folder in bold blue."""
    tail = f" \033[01;36m({branch})\033[00m" if branch else ""
    return f"\033[01;32m{host}\033[00m:\033[01;34m{folder}\033[00m{tail}$ "


def plan_terminal_scene(rng, kind):
    """(files, steps): the files to lay out, and each step's typed command and what runs."""
    files = {}
    if kind == "grep":
        lines = []
        for _ in range(rng.randint(8, 12)):
            level, text = rng.choice(LOG_EVENTS)
            stamp = f"2026-03-14 {rng.randint(8, 18):02d}:{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d}"
            lines.append(f"{stamp} {level:<5} {text.format(n=rng.randint(2, 99))}")
        files["app.log"] = "\n".join(lines) + "\n"
        number = rng.random() < 0.5
        typed = f"grep --color=always {'-n ' if number else ''}-E 'WARN|ERROR' app.log"
        steps = [(typed, ["grep", "--color=always"] + (["-n"] if number else []) + ["-E", "WARN|ERROR", "app.log"])]
    elif kind == "ls":
        names = rng.sample(["src", "docs", "Снимки", "backup", "notes"], 2) + \
            rng.sample(["build.sh", "deploy.sh", "backup.tar.gz", "photo_2024.jpg", "Снимок экрана.png", "README.md",
                        "план работ.txt", "data.csv", "main.cpp", "release.zip"], rng.randint(5, 8))
        for name in names:
            files[name + ("/" if "." not in name else "")] = "x" * rng.randint(10, 900)
        files["latest"] = ("link", names[0])
        # ls as in a terminal: in columns, names with blanks in quotes.
        listing = ["ls", "--color=always", "-C", "-w", "100", "-T", "0", "--quoting-style=shell-escape"]
        steps = [("ls --color", listing)]
        if rng.random() < 0.5:
            steps.append((f"ls --color {names[0]}", listing + [names[0]]))
            for name in rng.sample(FILES[:6], 3):
                files[f"{names[0]}/{os.path.basename(name)}"] = "y" * rng.randint(10, 900)
    elif kind == "git":
        files[".git-plan"] = ("git", rng.sample(["src/main.cpp", "README.md", "docs/установка.md", "notes/черновик.md",
                                                  "CMakeLists.txt", "src/отчёт.cpp"], 4),
                              rng.sample(["Добавить экспорт в CSV", "Fix crash on empty folder", "Обновить README",
                                          "Перевод меню", "Speed up the scan"], 3))
        steps = [("git status -s", ["git", "status", "-s"])]
        if rng.random() < 0.6:
            steps.append(("git log --oneline -3", ["git", "log", "--oneline", "--decorate", "-3"]))
    else:
        old = rng.sample(DIFF_LINES, 5)
        new = list(old)
        new[rng.randrange(5)] = rng.choice([line for line in DIFF_LINES if line not in old])
        del new[rng.randrange(5)]
        new.insert(rng.randrange(len(new) + 1), rng.choice([line for line in DIFF_LINES if line not in new]))
        # diff writes names of other letters as octal escapes: the files have Latin names.
        files["plan.txt"], files["plan-new.txt"] = "\n".join(old) + "\n", "\n".join(new) + "\n"
        steps = [("diff --color -u plan.txt plan-new.txt", ["diff", "--color=always", "-u", "plan.txt", "plan-new.txt"])]
    return files, steps


def plan_terminal(seed, count=8):
    """grep, ls, git and diff in colour, each in both palettes and at every scale."""
    rng = random.Random(f"{seed}/xterm-colour")
    kinds = ["grep", "ls", "git", "diff"]
    cases = []
    for i, scale in enumerate(each_scale(count)):
        palette = ["xterm", "tango"][(i // len(SCALES)) % 2]
        kind = kinds[(i + i // len(SCALES)) % len(kinds)]
        if palette == "xterm":
            back, fore = "#000000", "#e5e5e5"
        else:
            back, fore = rng.choice([("#300a24", "#ffffff"), ("#2e3436", "#d3d7cf"), ("#ffffff", "#2e3436")])
        files, steps = plan_terminal_scene(rng, kind)
        host, folder = rng.choice(HOSTS), rng.choice(FOLDERS)
        typed = [(f"{host}:{folder}{' (main)' if kind == 'git' else ''}$ {shown}") for shown, _ in steps]
        cases.append(Case(f"xterm-colour-{i + 1:02d}-{scale_name(scale)}", "xterm-colour", typed, scale=scale,
                          px=rng.choice([10, 11, 12, 13]), font=rng.choice(MONO), back=back, fore=fore,
                          palette=palette, margin=rng.choice([2, 4, 8]), files=files, steps=steps, host=host,
                          folder=folder, branch="main" if kind == "git" else None, end_prompt=rng.random() < 0.5))
    return cases


def lay_out(root, files, env):
    for name, content in files.items():
        path = os.path.join(root, name)
        if isinstance(content, tuple) and content[0] == "git":
            lay_out_repository(root, content[1], content[2], env)
            continue
        os.makedirs(os.path.dirname(path.rstrip("/")), exist_ok=True)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
        elif isinstance(content, tuple):
            os.symlink(content[1], path)
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(content)
            if name.endswith(".sh"):
                os.chmod(path, 0o755)
    for folder, dirs, names in os.walk(root):
        for name in dirs + names:
            os.utime(os.path.join(folder, name), (FIXED_EPOCH, FIXED_EPOCH), follow_symlinks=False)


def lay_out_repository(root, paths, messages, env):
    """A repository with a few commits, one file changed, one staged and one new."""
    def git(*arguments):
        subprocess.run(["git", *arguments], cwd=root, env=env, check=True, capture_output=True, timeout=60)
    git("init", "-q", "-b", "main")
    for path in paths[:3]:
        os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(root, path), "w", encoding="utf-8") as f:
            f.write(f"// {path}\n")
    for message in messages:
        with open(os.path.join(root, paths[0]), "a", encoding="utf-8") as f:
            f.write(message + "\n")
        git("add", "-A")
        git("commit", "-q", "-m", message)
    with open(os.path.join(root, paths[1]), "a", encoding="utf-8") as f:
        f.write("changed\n")
    with open(os.path.join(root, paths[2]), "a", encoding="utf-8") as f:
        f.write("staged\n")
    git("add", paths[2])
    os.makedirs(os.path.join(root, os.path.dirname(paths[3])), exist_ok=True)
    with open(os.path.join(root, paths[3]), "w", encoding="utf-8") as f:
        f.write("new\n")


ESCAPE = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07")


def terminal_output(case, work):
    """What the terminal shows, escapes and all, and its text: each prompt, then the output of
    running the command in the laid-out folder."""
    root = tempfile.mkdtemp(prefix="term-", dir=work)
    env = dict(os.environ, HOME=root, LANG="ru_RU.UTF-8", LC_ALL="ru_RU.UTF-8", TZ="UTC", COLUMNS="100",
               GIT_CONFIG_NOSYSTEM="1", GIT_AUTHOR_NAME="Anna Petrova", GIT_AUTHOR_EMAIL="anna@example.com",
               GIT_COMMITTER_NAME="Anna Petrova", GIT_COMMITTER_EMAIL="anna@example.com",
               GIT_AUTHOR_DATE=FIXED_TIME + " +0000", GIT_COMMITTER_DATE=FIXED_TIME + " +0000")
    env.pop("GREP_COLORS", None)
    env["LS_COLORS"] = re.search(r"LS_COLORS='([^']*)'", subprocess.run(["dircolors", "-b"], capture_output=True,
                                                                       text=True, env=env).stdout).group(1)
    # Names as the user wrote them, not as octal escapes; the settings stay out of the listed folder.
    env["GIT_CONFIG_GLOBAL"] = os.path.join(work, case.name + ".gitconfig")
    with open(env["GIT_CONFIG_GLOBAL"], "w", encoding="utf-8") as f:
        f.write("[core]\n\tquotePath = false\n[color]\n\tui = always\n")
    lay_out(root, case.data["files"], env)
    shown = ""
    data = case.data
    for typed, command in data["steps"]:
        shown += prompt(data["host"], data["folder"], data["branch"]) + typed + "\n"
        done = subprocess.run(command, cwd=root, env=env, capture_output=True, timeout=60)
        shown += done.stdout.decode("utf-8")
    if data["end_prompt"]:
        shown += prompt(data["host"], data["folder"], data["branch"])
    text = [line.rstrip() for line in ESCAPE.sub("", shown).replace("\t", " ").split("\n")]
    return shown.encode("utf-8"), [line for line in text if line.strip()]


def shoot_terminal(case, work, display, browser=None):
    raw, truth = terminal_output(case, work)
    if any(len(line) > 100 for line in truth):
        raise RuntimeError(f"{case.name}: a line is wider than the terminal")
    case.truth = truth
    case.data["raw"], case.data["rows"] = raw, len(truth) + 1
    return shoot_xterm(case, work, display)


# Midnight Commander ---------------------------------------------------------------------------

MC_SKINS = ["default", "default", "dark", "gotar", "nicedark", "darkfar"]
MC_INI = """[Midnight-Commander]
auto_save_setup=false
confirm_exit=false
skin={skin}

[Layout]
message_visible=false
keybar_visible=true
menubar_visible=true
free_space=false
command_prompt=false
xterm_title=false

[Panels]
show_mini_info=true
navigate_with_arrows=false
"""


def plan_mc(seed, count=4):
    """Both panels over folders of the seed's files, and the key bar."""
    rng = random.Random(f"{seed}/mc")
    cases = []
    plain = [f for f in FILES if "/" not in f]
    for i, scale in enumerate(each_scale(count)):
        left = rng.sample(["src", "docs", "build", "Снимки"], rng.randint(1, 2)) + rng.sample(plain, rng.randint(3, 7))
        right = rng.sample(["Архив", "Музыка", "old"], rng.randint(0, 2)) + rng.sample(plain, rng.randint(2, 6))
        files = {}
        for folder, names in (("Проекты", left), ("Документы", right)):
            for name in names:
                files[f"{folder}/{name}" + ("/" if "." not in name else "")] = "z" * rng.randint(100, 60000)
        words = [w for name in left + right for w in name.split()]
        cases.append(Case(f"mc-{i + 1:02d}-{scale_name(scale)}", "mc", words, scale=scale, files=files,
                          px=rng.choice([11, 12, 13]), font=rng.choice(MONO), skin=rng.choice(MC_SKINS),
                          columns=rng.randint(88, 110), rows=rng.randint(20, 26), back="#000000", fore="#e5e5e5",
                          margin=0))
    return cases


BOX_DRAWING = re.compile("[\u2500-\u257f]")


def screen_text(printed):
    """The lines of a printed terminal screen a user would copy: the frames' lines go, and so do
    the panels' corner marks ("<", ".[^]>") that are made of signs alone."""
    lines = []
    for row in printed.splitlines():
        words = [w for w in BOX_DRAWING.sub(" ", row).split() if not set(w) <= set("<>[]^.v«»•←→↑↓")]
        if words:
            lines.append(" ".join(words))
    return lines


def shoot_mc(case, work, desk, browser):
    home = tempfile.mkdtemp(prefix="mc-", dir=work)
    for folder in [".config/mc", ".cache/mc", ".local/share/mc", "Проекты", "Документы"]:
        os.makedirs(os.path.join(home, folder))
    with open(os.path.join(home, ".config/mc/ini"), "w", encoding="utf-8") as f:
        f.write(MC_INI.format(skin=case.data["skin"]))
    lay_out(home, case.data["files"], os.environ)
    os.utime(home, (FIXED_EPOCH, FIXED_EPOCH))
    printed = os.path.join(work, case.name + ".screen-")
    title = case.name
    command = xterm_command(case.data, case.data["columns"], case.data["rows"], title) + [
        "-xrm", f"XTerm*printFileImmediate: {printed}", "-xrm", "XTerm*printOptsImmediate: 1",
        "-xrm", "XTerm*VT100.translations: #override Ctrl Shift <Key>F12: print-immediate()",
        "-e", "mc", "-u", os.path.join(home, "Проекты"), os.path.join(home, "Документы")]
    env = dict(os.environ, DISPLAY=desk, HOME=home, LANG="ru_RU.UTF-8", LC_ALL="ru_RU.UTF-8", TZ="UTC",
               XDG_CONFIG_HOME=os.path.join(home, ".config"))
    with Program(command, env):
        box = []
        settled(desk, lambda: box or box.extend(window_box(desk, title) or []), f"{case.name}: mc never showed")
        # mc has drawn once the screen holds still a while; xterm then prints what it shows.
        picture = settled(desk, lambda: True, f"{case.name}: mc never settled")
        left, top, right, bottom = box[1]
        x_tool(desk, "xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "key", "ctrl+shift+F12")
        written = []

        def printed_screen():
            names = [n for n in os.listdir(work) if n.startswith(os.path.basename(printed))]
            if names:
                with open(os.path.join(work, names[0]), encoding="utf-8") as f:
                    written[:] = [f.read()]
            return bool(written and written[0].count("\n") >= case.data["rows"] - 1)

        settled(desk, printed_screen, f"{case.name}: xterm printed no screen")
    planned, case.truth = case.truth, screen_text(written[0])
    # Every file's name stands in a panel, and the key bar is there.
    shown = " ".join(case.truth).split()
    missing = [w for w in planned + ["1Помощь"] if w not in shown and "/" + w not in shown]
    if missing:
        raise RuntimeError(f"{case.name}: the screen lacks {missing}: {case.truth}")
    return picture.crop(box[1])


# Selections made by a mouse drag in Chromium ---------------------------------------------------

def plan_drag(seed, count=8):
    """A heading and lines of text on a page; a drag from one line's start to the middle or the
    end of a later line selects them in the window's highlight."""
    rng = random.Random(f"{seed}/selection")
    cases = []
    for i, scale in enumerate(each_scale(count)):
        font, px = rng.choice(SANS + SERIF), rng.choice([14, 15, 16, 18])
        lines = rng.sample(PARAGRAPH, rng.randint(3, 6))
        heading = rng.choice(HEADINGS)
        body = (f"<div style=\"font-size:{px + 8}px;font-weight:bold;margin-bottom:12px\">{esc(heading)}</div>"
                + "".join(f"<div style=\"margin:{rng.choice([2, 3, 4])}px 0\">{esc(line)}</div>" for line in lines))
        colour = rng.choice(["#1f2328", "#222222", "#333333", "#3c4043"])
        html = page(body, font, px, rng.choice(["#ffffff", "#ffffff", "#f8f9fa", "#fffdf5"]), colour, 0)
        first = rng.randrange(len(lines))
        last = min(len(lines) - 1, first + rng.randint(1, 3))
        cases.append(Case(f"selection-{i + 1:02d}-{scale_name(scale)}", "selection", [heading] + lines, html=html,
                          scale=scale, width=1000, height=640, margin=rng.choice([6, 8, 12, 16]),
                          drag=(first + 1, last + 1, rng.uniform(0.3, 1.0))))
    return cases


def shoot_drag(case, work, desk, browser):
    boxes = measured_boxes(case, work, browser)
    case.truth = measured_truth(case, work, browser, boxes)
    html_path = os.path.join(work, case.name + ".html")
    with open(html_path, "w", encoding="utf-8") as f:
        f.write(case.data["html"])
    profile = tempfile.mkdtemp(prefix="profile-", dir=work)
    scale, width, height = case.data["scale"], case.data["width"], case.data["height"]
    command = [browser, "--no-sandbox", "--test-type", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
               "--disable-extensions", "--mute-audio", "--hide-scrollbars", f"--user-data-dir={profile}",
               "--window-position=0,0", f"--window-size={width},{height}", f"--force-device-scale-factor={scale}",
               f"--app=file://{html_path}"]
    # Line boxes in the order of the page: the heading first, then the lines.
    ordered = sorted(boxes, key=lambda b: (b[2], b[1]))
    first, last, reach = case.data["drag"]
    # A pixel into the first letter: further left, the press lands beside the text and selects from the page's start.
    start = (ordered[first][1] + 1, ordered[first][2] + ordered[first][4] / 2)
    end = (ordered[last][1] + reach * ordered[last][3], ordered[last][2] + ordered[last][4] / 2)
    window = (0, 0, round(width * scale), round(height * scale))

    def at(point):
        return [str(round(point[0] * scale)), str(round(point[1] * scale))]

    with Program(command, dict(os.environ, DISPLAY=desk)):
        settled(desk, lambda: painted(desk, window), f"{case.name}: Chromium never showed the page")
        middle = ((start[0] + end[0]) / 2, (start[1] + end[1]) / 2)
        x_tool(desk, "xdotool", "mousemove", *at(start), "mousedown", "1", "mousemove", *at(middle),
               "mousemove", *at(end), "mouseup", "1", "mousemove", str(window[2] - 2), str(window[3] - 2))
        picture = settled(desk, lambda: selected(desk, window), f"{case.name}: the drag selected nothing")
    shutil.rmtree(profile, ignore_errors=True)
    return crop_to_content(picture.crop(window), round(case.data["margin"] * scale))


def painted(display, window):
    """Whether the window shows more than one colour, its page drawn."""
    part = grab_root(display).crop(window)
    return len(part.getcolors(1 << 16) or [None, None]) > 1


def selected(display, window):
    """Whether the window shows the selection's highlight: many pixels of a strong blue."""
    pixels = numpy.asarray(grab_root(display).crop(window)).astype(int)
    blue = (pixels[..., 2] > 150) & (pixels[..., 2] - pixels[..., 0] > 80)
    return int(blue.sum()) > 200


SHOOTERS = {"gtk": shoot_gtk, "mc": shoot_mc, "selection": shoot_drag}
