"""Producers that shoot desktop programs on an X display of their own: GTK3 dialogs of yad and
zenity with a focused field, whose value GTK selects, and lines selected by a mouse drag in
Chromium; and what they share with the terminal's producers.

The dialogs, Midnight Commander and the drag want the keyboard focus, so they run one at a
time on a display where nothing else runs. There is no window manager: a shot is the window
itself, as a user selects a dialog inside its frame."""

import os
import random
import shutil
import tempfile

import numpy

from shots import (Case, Program, crop_to_content, esc, grab_root, measured_boxes, measured_truth, page, scale_name,
                   settled, window_settled, x_tool)
from texts import FILES, HEADINGS, PARAGRAPH, PATHS, PEOPLE, SANS, SCALES, SERIF

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
    with Program(case.data["command"], gtk_env(case, work, desk)) as dialog:
        focused = []

        def focus(box):
            # Without a window manager the dialog is made active by hand, as a click would.
            if not focused:
                x_tool(desk, "xdotool", "windowfocus", "--sync", box[0])
                focused.append(box)
            return True

        picture, box = window_settled(desk, case.data["title"], f"{case.name}: the dialog never showed", focus, dialog)
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
        settled(desk, lambda: painted(desk, window), f"{case.name}: Chromium never showed the page", window)
        middle = ((start[0] + end[0]) / 2, (start[1] + end[1]) / 2)
        x_tool(desk, "xdotool", "mousemove", *at(start), "mousedown", "1", "mousemove", *at(middle),
               "mousemove", *at(end), "mouseup", "1", "mousemove", str(window[2] - 2), str(window[3] - 2))
        picture = settled(desk, lambda: selected(desk, window), f"{case.name}: the drag selected nothing", window)
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
