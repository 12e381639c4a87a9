"""Producers of Chromium pages: code in syntax colours of two dark themes and a light one,
spreadsheets with their column letters and row numbers in grey header cells, and long lines
shot and then turned by a degree or two as a raster, as a skewed scan shows in a viewer."""

import os
import random
import re
import shutil
import subprocess

from PIL import Image, ImageFont

from shots import Case, esc, page, scale_name, shoot_html
from texts import FILES, MONO, PARAGRAPH, SCALES, SANS

THEMES = {
    "monokai": dict(back="#272822", fore="#f8f8f2", keyword="#f92672", string="#e6db74", number="#ae81ff",
                    comment="#75715e", function="#a6e22e", type="#66d9ef", gutter="#90908a", current="#3e3d32",
                    side="#1e1f1c", side_text="#cfcfc2"),
    "dracula": dict(back="#282a36", fore="#f8f8f2", keyword="#ff79c6", string="#f1fa8c", number="#bd93f9",
                    comment="#6272a4", function="#50fa7b", type="#8be9fd", gutter="#6272a4", current="#44475a",
                    side="#21222c", side_text="#f8f8f2"),
    "github-light": dict(back="#ffffff", fore="#24292f", keyword="#cf222e", string="#0a3069", number="#0550ae",
                         comment="#6e7781", function="#8250df", type="#953800", gutter="#8c959f", current="#f6f8fa",
                         side="#f6f8fa", side_text="#24292f"),
}

CODE_BLOCKS = {
    "python": ("отчёт.py", [
        "import csv",
        "from pathlib import Path",
        "",
        "def load_report(path, month=3):",
        '    """Читает отчёт за месяц и считает итог."""',
        "    rows = []",
        '    with open(path, encoding="utf-8") as f:',
        '        for row in csv.reader(f, delimiter=";"):',
        "            if row and int(row[1]) == month:",
        "                rows.append(row)",
        "    if not rows:",
        "        return None",
        "    total = sum(float(r[2]) for r in rows)",
        '    print(f"Итого за {month}: {total:.2f}")',
        "    return total",
        "",
        "class Backup:",
        "    def __init__(self, folder, keep=7):",
        "        self.folder = Path(folder)",
        "        self.keep = keep  # сколько копий хранить",
        "",
        "    def prune(self):",
        '        copies = sorted(self.folder.glob("*.tar.gz"))',
        "        for old in copies[:-self.keep]:",
        "            old.unlink()",
        "        return len(copies)",
    ]),
    "cpp": ("scanner.cpp", [
        "#include <vector>",
        "#include <string>",
        "",
        "// Считает строки, где есть текст.",
        "int countLines(const std::vector<std::string>& lines)",
        "{",
        "    int count = 0;",
        "    for (const auto& line : lines) {",
        "        if (line.empty())",
        "            continue;",
        "        ++count;",
        "    }",
        "    return count;",
        "}",
        "",
        "static bool isBlank(const QImage& image, int row)",
        "{",
        "    for (int x = 0; x < image.width(); ++x)",
        "        if (qGray(image.pixel(x, row)) < 128)",
        "            return false;",
        "    return true;",
        "}",
    ]),
    "javascript": ("upload.js", [
        "const MAX_SIZE = 25 * 1024 * 1024;",
        "",
        "export async function upload(file, folder = \"Снимки\") {",
        "  if (file.size > MAX_SIZE) {",
        "    throw new Error(\"Файл слишком большой\");",
        "  }",
        "  const form = new FormData();",
        "  form.append(\"file\", file);",
        "  form.append(\"folder\", folder);",
        "  const response = await fetch(\"/api/upload\", {",
        "    method: \"POST\",",
        "    body: form,",
        "  });",
        "  // сервер отвечает ссылкой на файл",
        "  return (await response.json()).url;",
        "}",
    ]),
}
KEYWORDS = {
    "python": "import from def return with as for in if not and or class self None True False while try except",
    "cpp": "int const auto for if continue return static bool true false while void unsigned char",
    "javascript": "const let var export async function if throw new return await for of true false",
}
TYPES = {"python": "int float str len sum sorted print open", "cpp": "std vector string QImage",
         "javascript": "Error FormData"}
COMMENT = {"python": "#", "cpp": "//", "javascript": "//"}
TOKEN = re.compile(r'(?P<string>"""[^"]*"""|f?"[^"]*"|\'[^\']*\')|(?P<number>\b\d+(?:\.\d+)?\b)'
                   r"|(?P<word>[A-Za-z_][A-Za-z0-9_]*)|(?P<other>.)")


def highlighted(line, language, theme):
    """One line of code as spans in the theme's colours."""
    colours = THEMES[theme]
    marker = COMMENT[language]
    code, comment = line, ""
    if marker in line and not line.lstrip().startswith("#include"):
        at = line.index(marker)
        if line[:at].count('"') % 2 == 0:
            code, comment = line[:at], line[at:]
    keywords, types = KEYWORDS[language].split(), TYPES[language].split()
    if line.lstrip().startswith("#include"):
        keywords = keywords + ["include"]
    out = []
    for match in TOKEN.finditer(code):
        text, kind = match.group(), match.lastgroup
        if kind == "word":
            rest = code[match.end():]
            kind = ("keyword" if text in keywords else "type" if text in types
                    else "function" if rest.startswith("(") else None)
        colour = colours.get(kind) if kind in ("string", "number", "keyword", "type", "function") else None
        out.append(f"<span style=\"color:{colour}\">{esc(text)}</span>" if colour else esc(text))
    if comment:
        out.append(f"<span style=\"color:{colours['comment']};font-style:italic\">{esc(comment)}</span>")
    return "".join(out)


def code_page(rng, theme, px, lines, language, start, full=None):
    """An editor's page: line numbers in a gutter, each line a unit of coloured pieces, the
    cursor's line lit; on a full screen also a file list, a tab and a status bar."""
    colours = THEMES[theme]
    name = CODE_BLOCKS[language][0]
    current = rng.randrange(len(lines))
    gutter = rng.random() < 0.8 or full is not None
    rows, truth = [], []
    for i, line in enumerate(lines):
        number = start + i
        lit = f"background:{colours['current']};" if i == current else ""
        cell = f"<span style=\"display:inline-block;width:3em;text-align:right;padding-right:1.2em;color:{colours['gutter']}\">{number}</span>" if gutter else ""
        rows.append(f"<div style=\"white-space:pre;{lit}\">{cell}<span class=\"unit\">{highlighted(line, language, theme)}</span></div>")
        words = ([str(number)] if gutter else []) + ([line.strip()] if line.strip() else [])
        if words:
            truth.append(" ".join(words))
    editor = (f"<div style=\"background:{colours['back']};color:{colours['fore']};font:{px}px/{rng.choice([1.4, 1.5, 1.6])} "
              f"'{rng.choice(MONO)}';padding:10px 16px 10px 4px\">{''.join(rows)}</div>")
    # Indents are the code's own: kept inside the pieces as well.
    keep = ".unit,.unit span{white-space:pre;}"
    if full is None:
        return page(editor, MONO[0], px, colours["back"], colours["fore"], 0, keep), truth
    width, height = full
    tree = rng.sample([f for f in FILES if "/" not in f], 8) + [name]
    side = "".join(f"<div style=\"padding:3px 0\">{esc(f)}</div>" for f in tree)
    status = f"Стр. {start + current}, стлб. 1    UTF-8    {language}"
    body = (f"<div style=\"display:flex;width:{width}px;height:{height}px;overflow:hidden;font-size:13px\">"
            f"<div style=\"width:240px;background:{colours['side']};color:{colours['side_text']};padding:12px 16px\">{side}</div>"
            f"<div style=\"flex:1;background:{colours['back']}\">"
            f"<div style=\"padding:8px 16px;color:{colours['fore']};border-bottom:1px solid {colours['gutter']}\">{esc(name)}</div>"
            f"{editor}<div style=\"padding:4px 16px;color:{colours['gutter']}\">{esc(status)}</div></div></div>")
    return page(body, SANS[0], 13, colours["back"], colours["fore"], 0, keep), tree + [name] + truth + [status]


def plan_code(seed, count=12):
    """Each theme at every scale."""
    rng = random.Random(f"{seed}/syntax")
    cases = []
    for i, scale in enumerate(SCALES[i % len(SCALES)] for i in range(count)):
        theme = list(THEMES)[i % len(THEMES)]
        language = rng.choice(list(CODE_BLOCKS))
        block = CODE_BLOCKS[language][1]
        size = rng.randint(6, 10)
        first = rng.randrange(len(block) - size + 1)
        html, truth = code_page(rng, theme, rng.choice([12, 13, 14, 15]), block[first:first + size], language,
                                first + 1)
        cases.append(Case(f"syntax-{i + 1:02d}-{scale_name(scale)}", "html", truth, html=html, scale=scale,
                          width=1100, height=900, margin=rng.choice([4, 8, 12, 16])))
    return cases


def full_code_page(rng, size):
    """A 1920x1080 editor's page of code in one of the themes, for the timing."""
    theme, language = rng.choice(list(THEMES)), rng.choice(list(CODE_BLOCKS))
    block = CODE_BLOCKS[language][1]
    lines = (block * 3)[:44]
    return code_page(rng, theme, 14, lines, language, 1, size)


SHEET_HEADS = [["Товар", "Кол-во", "Цена", "Сумма", "Склад", "Дата"], ["Задача", "Часы", "Ставка", "Итого", "Статус", "Срок"],
               ["Name", "Q1", "Q2", "Q3", "Q4", "Total"]]
SHEET_NAMES = ["Бумага A4", "Картридж", "Ноутбук", "Монитор 27\"", "Стул", "Кофе", "Отчёт", "Ревью", "Server",
               "Лицензия", "Доставка", "Итого"]


def sheet_page(rng, rows, columns, full=None):
    """A spreadsheet's grid: the corner, the column letters and the row numbers in grey header
    cells, text on the left and figures on the right of their cells, some rows left with a lone
    figure, the active cell framed."""
    look = rng.choice([("#f8f9fa", "#5f6368", "#e2e3e3", "Liberation Sans"), ("#e6e6e6", "#333333", "#c0c0c0", "DejaVu Sans"),
                       ("#f3f3f3", "#616161", "#d4d4d4", "Liberation Sans")])
    head_back, head_text, grid, font = look
    px = rng.choice([12, 13, 14])
    letters = [chr(ord("A") + c) for c in range(columns)]
    cells = [rng.choice(SHEET_HEADS)[:columns]]
    for r in range(1, rows):
        kind = rng.random()
        if kind < 0.2:
            row = [""] * columns
            row[rng.randrange(columns)] = str(rng.choice([0, 0, 1, 7, 42, 3]))
        elif kind < 0.3:
            row = [""] * columns
        else:
            row = [rng.choice(SHEET_NAMES)] + [str(rng.choice([0, rng.randint(1, 99), rng.randint(100, 99999)]))
                                               if rng.random() < 0.85 else "" for _ in range(columns - 1)]
        cells.append(row)
    active = (rng.randrange(1, rows), rng.randrange(columns))
    width = rng.choice([90, 100, 110, 120])
    style = f"border:1px solid {grid};padding:3px 6px;height:{round(px * 1.6)}px;white-space:nowrap"
    head = f"background:{head_back};color:{head_text};text-align:center;font-weight:normal"
    html = [f"<tr><th style=\"{style};{head};width:38px\"></th>"
            + "".join(f"<th style=\"{style};{head};width:{width}px\">{letter}</th>" for letter in letters) + "</tr>"]
    truth = [" ".join(letters)]
    for r, row in enumerate(cells, 1):
        line = [f"<td style=\"{style};{head}\">{r}</td>"]
        for c, value in enumerate(row):
            figure = re.fullmatch(r"\d+", value) is not None
            frame = ";outline:2px solid #1a73e8;outline-offset:-2px" if (r - 1, c) == active else ""
            line.append(f"<td style=\"{style};text-align:{'right' if figure else 'left'}{frame}\">{esc(value)}</td>")
        html.append("<tr>" + "".join(line) + "</tr>")
        truth.append(" ".join([str(r)] + [v for v in row if v]))
    table = f"<table style=\"border-collapse:collapse;font:{px}px '{font}';color:#202124;background:#fff\">{''.join(html)}</table>"
    if full:
        table = f"<div style=\"width:{full[0]}px;height:{full[1]}px;overflow:hidden\">{table}</div>"
    return page(table, font, px, "#ffffff", "#202124", 0), truth


def plan_sheets(seed, count=8):
    rng = random.Random(f"{seed}/sheet")
    cases = []
    for i in range(count):
        scale = SCALES[i % len(SCALES)]
        html, truth = sheet_page(rng, rng.randint(6, 10), rng.randint(4, 6))
        cases.append(Case(f"sheet-{i + 1:02d}-{scale_name(scale)}", "html", truth, html=html, scale=scale,
                          width=1100, height=900, margin=rng.choice([0, 0, 4, 8])))
    return cases


DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
TURNED_WIDTH = 560


def long_lines(rng, count=4, width=TURNED_WIDTH):
    """Lines of running text, each filled with words up to the width in DejaVu Sans 16 px."""
    font = ImageFont.truetype(DEJAVU, 16)
    words = " ".join(rng.sample(PARAGRAPH, len(PARAGRAPH))).split()
    lines, at = [], rng.randrange(len(words))
    for _ in range(count):
        line = []
        while font.getlength(" ".join(line + [words[at % len(words)]])) <= width:
            line.append(words[at % len(words)])
            at += 1
        lines.append(" ".join(line))
    return lines


def plan_turned(seed, count=8):
    """Four long lines turned by +1, -1, +2 and -2 degrees, each angle at two scales."""
    rng = random.Random(f"{seed}/turned")
    cases = []
    for i in range(count):
        angle = [1, -1, 2, -2][i % 4]
        scale = SCALES[(i + i // 4 * 2) % len(SCALES)]
        lines = long_lines(rng)
        body = "".join(f"<div>{esc(line)}</div>" for line in lines)
        html = page(f"<div style=\"line-height:{rng.choice([1.4, 1.5, 1.6])}\">{body}</div>", "DejaVu Sans", 16,
                    "#ffffff", rng.choice(["#000000", "#1a1a1a", "#333333"]), 0)
        name = f"turned-{i + 1:02d}-{scale_name(scale)}"
        cases.append(Case(name, "turned", lines, html=html, scale=scale, width=900, height=400,
                          margin=rng.choice([8, 12, 16, 24]), angle=angle))
    return cases


def shoot_turned(case, work, browser):
    """The shot turned as a raster by ImageMagick, the corners it opens filled white."""
    flat = os.path.join(work, case.name + ".flat.png")
    turned = os.path.join(work, case.name + ".turned.png")
    shoot_html(case, work, browser).save(flat)
    convert = shutil.which("convert")
    if not convert:
        raise RuntimeError("ImageMagick's convert is missing (scripts/install-deps --bench installs it)")
    done = subprocess.run([convert, flat, "-background", "white", "-rotate", str(case.data["angle"]), "+repage", turned],
                          capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise RuntimeError(f"{case.name}: convert failed: {done.stderr[-300:]}")
    return Image.open(turned).convert("RGB")
