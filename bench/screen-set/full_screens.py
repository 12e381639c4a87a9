"""Pictures the timing reads besides a set's cases: one short line, two dense pages in two
columns, a selection of six lines, and a whole 1920x1080 screen of each later producer (a
coloured xterm, Midnight Commander, a yad dialog on a desktop, a Chromium editor of code and a
spreadsheet). Each is written as NAME.png with its text in NAME.txt."""

import os
import random

import numpy
from PIL import Image

import pages
import programs
import terminal
from programs import Program
from shots import Case, Display, shoot_html, shoot_xterm, window_settled, write_case, xterm_command

SCREEN = (1920, 1080)

LINES = ["Привет! Это обычный абзац текста на экране, как в почте или в чате.",
         "The quick brown fox jumps over the lazy dog, 1234567890 times a day.",
         "Настройки → Учётная запись → Безопасность: пароль и двухфакторный вход.",
         "Error 404: the page at https://example.com/path/to/page was not found.",
         "Съешь же этих мягких французских булок, да выпей чаю. Ещё немного текста.",
         "Meeting moved to Thursday 14:30, room 5B — bring the quarterly report."]


def plain(name, width, height, font, px, columns, rows, pitch):
    """Lines of plain text in columns, at 1x; the truth goes row by row across the columns."""
    cells = "".join(
        f"<div style=\"position:absolute;left:{30 + 960 * c}px;top:{14 + pitch * r}px\">{LINES[(r + c) % len(LINES)]}</div>"
        for c in range(columns) for r in range(rows))
    html = (f"<!doctype html><meta charset=utf-8><body style=\"margin:0;background:#fff;font:{px}px '{font}';"
            f"color:#111;white-space:nowrap\">{cells}</body>")
    truth = [" ".join(LINES[(r + c) % len(LINES)] for c in range(columns)) for r in range(rows)]
    return Case(name, "html", truth, html=html, scale=1, width=width, height=height, margin=0, full=True,
                measure=False)


def short_line():
    html = ("<!doctype html><meta charset=utf-8><body style=\"margin:0;background:#fff\">"
            "<div id=box style=\"display:inline-block;padding:8px 14px;font:14px 'DejaVu Sans';color:#222\">"
            "Сохранить изменения</div></body>")
    # Headless Chromium draws next to nothing in a window much smaller than this.
    return Case("short-line", "html", ["Сохранить изменения"], html=html, scale=1, width=800, height=200, margin=8,
                measure=False)


def browser_pages(rng):
    code_html, code_truth = pages.full_code_page(rng, (SCREEN[0] - 80, SCREEN[1] - 80))
    sheet_html, sheet_truth = pages.sheet_page(rng, 30, 12, (SCREEN[0] - 80, SCREEN[1] - 80))
    return [short_line(),
            plain("two-column-dejavu-1920x1080", *SCREEN, "DejaVu Sans", 14, 2, 48, 21),
            plain("two-column-serif-1920x1080", *SCREEN, "Liberation Serif", 15, 2, 44, 23),
            plain("selection-800x200", 800, 200, "DejaVu Sans", 16, 1, 6, 30),
            Case("code-editor-1920x1080", "html", code_truth, html=code_html, scale=1, width=SCREEN[0],
                 height=SCREEN[1], margin=0, full=True),
            Case("sheet-1920x1080", "html", sheet_truth, html=sheet_html, scale=1, width=SCREEN[0],
                 height=SCREEN[1], margin=0, full=True)]


def cell_size(display, data, work):
    """The width and height of a character cell of xterm in the case's font."""
    title = "cell-probe"
    with Program(xterm_command(data, 10, 5, title) + ["-e", "sleep", "600"], dict(os.environ, DISPLAY=display)):
        _, box = window_settled(display, title, "xterm never showed")
    border = round(data["margin"] * data["scale"]) + 2
    left, top, right, bottom = box[1]
    return (right - left - 2 * border) / 10, (bottom - top - 2 * border) / 5


def full_terminal(rng, display, work):
    """grep over a long log, ls, git and diff in colour, filling a maximised xterm; what scrolled
    off the top is not in the truth."""
    data = dict(px=11, scale=1, font="DejaVu Sans Mono", back="#000000", fore="#e5e5e5", palette="xterm", margin=2,
                host="anna@tarn", folder="~/Проекты", branch="main", end_prompt=True, full=SCREEN)
    width, height = cell_size(display, data, work)
    data["columns"], data["rows"] = int((SCREEN[0] - 8) // width), int((SCREEN[1] - 8) // height)
    files, steps = {}, []
    for kind in ("git", "ls", "grep", "diff"):
        more_files, more_steps = terminal.plan_terminal_scene(rng, kind, log_lines=60)
        files.update(more_files)
        steps += more_steps
    data["files"], data["steps"] = files, steps
    case = Case("xterm-1920x1080", "xterm-colour", [], **data)
    raw, lines = terminal.terminal_output(case, work)
    case.data["raw"] = raw
    case.truth = lines[-data["rows"]:]
    return case, shoot_xterm(case, work, display)


def full_mc(rng, display, work):
    data = dict(px=12, scale=1, font="DejaVu Sans Mono", back="#000000", fore="#e5e5e5", margin=0, skin="default")
    width, height = cell_size(display, data, work)
    data["columns"], data["rows"] = int((SCREEN[0] - 4) // width), int((SCREEN[1] - 4) // height)
    plan = terminal.plan_mc(rng.randrange(1 << 30), 1)[0]
    data["files"] = plan.data["files"]
    case = Case("mc-1920x1080", "mc", plan.truth, **data)
    window = terminal.shoot_mc(case, work, display, None)
    screen = Image.new("RGB", SCREEN, "black")
    screen.paste(window, (0, 0))
    return case, screen


def full_dialog(rng, display, work):
    """A yad form in the middle of a desktop's plain gradient wallpaper."""
    plan = next(c for c in programs.plan_gtk(rng.randrange(1 << 30)) if c.data["command"][0] == "yad"
                and c.data["scale"] == 1)
    dialog = programs.shoot_gtk(plan, work, display, None)
    ramp = numpy.linspace(0, 1, SCREEN[1])[:, None, None]
    wallpaper = (numpy.array([29, 53, 87]) * (1 - ramp) + numpy.array([69, 123, 157]) * ramp)
    screen = Image.fromarray(numpy.repeat(wallpaper, SCREEN[0], axis=1).astype(numpy.uint8))
    screen.paste(dialog, ((SCREEN[0] - dialog.width) // 2, (SCREEN[1] - dialog.height) // 2))
    return Case("yad-1920x1080", "gtk", plan.truth), screen


def draw_all(work, browser, seed=58):
    """Writes every picture into `work` and gives their paths."""
    rng = random.Random(f"{seed}/timing")
    paths = []
    for case in browser_pages(rng):
        write_case(work, case.name, shoot_html(case, work, browser), case.truth)
        paths.append(os.path.join(work, case.name + ".png"))
    display = Display()
    try:
        for make in (full_terminal, full_mc, full_dialog):
            case, picture = make(rng, display.name, work)
            if picture.size != SCREEN:
                raise RuntimeError(f"{case.name}: the shot is {picture.size}, not a whole screen")
            write_case(work, case.name, picture, case.truth)
            paths.append(os.path.join(work, case.name + ".png"))
    finally:
        display.close()
    return paths
