"""Producers of terminal screens in xterm: the coloured output of grep, ls, git and diff run
for real in a folder laid out for them, and Midnight Commander over such folders."""

import os
import random
import re
import subprocess
import tempfile

from programs import FIXED_EPOCH, FIXED_TIME, Program, each_scale
from shots import Case, scale_name, settled, shoot_xterm, window_settled, x_tool, xterm_command
from texts import FILES, MONO, SCALES

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


def plan_terminal_scene(rng, kind, log_lines=None):
    """(files, steps): the files to lay out, and each step's typed command and what runs."""
    files = {}
    if kind == "grep":
        lines = []
        for _ in range(log_lines or rng.randint(8, 12)):
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
    with Program(command, env) as term:
        # mc has drawn once its window holds still; xterm then prints what it shows.
        picture, box = window_settled(desk, title, f"{case.name}: mc never showed", program=term)
        left, top, right, bottom = box[1]
        x_tool(desk, "xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "key", "ctrl+shift+F12")
        written = []

        def printed_screen():
            names = [n for n in os.listdir(work) if n.startswith(os.path.basename(printed))]
            if names:
                with open(os.path.join(work, names[0]), encoding="utf-8") as f:
                    written[:] = [f.read()]
            return bool(written and written[0].count("\n") >= case.data["rows"] - 1)

        settled(desk, printed_screen, f"{case.name}: xterm printed no screen", box[1])
    planned, case.truth = case.truth, screen_text(written[0])
    # Every file's name stands in a panel, and the key bar is there.
    shown = " ".join(case.truth).split()
    missing = [w for w in planned + ["1Помощь"] if w not in shown and "/" + w not in shown]
    if missing:
        raise RuntimeError(f"{case.name}: the screen lacks {missing}: {case.truth}")
    return picture.crop(box[1])
