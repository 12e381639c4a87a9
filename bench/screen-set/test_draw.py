#!/usr/bin/python3
"""Checks of the screen set's drawing script: the plan a seed gives, the texts it expects,
the crop, and that the committed cases are what the script draws today.

Exits 77 (skipped) where the bench packages are not installed (scripts/install-deps --bench).
"""

import contextlib
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from importlib.machinery import SourceFileLoader

try:
    import numpy
    import skimage  # noqa: F401, the photos
    from PIL import Image
except ImportError:
    print("the bench packages are not installed: scripts/install-deps --bench")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
draw = SourceFileLoader("draw", os.path.join(HERE, "draw")).load_module()
import pages  # noqa: E402, beside draw, which puts their folder on the path
import terminal  # noqa: E402


class Plan(unittest.TestCase):
    def test_every_kind_at_every_scale_and_enough_cases(self):
        cases = draw.plan(58, True)
        self.assertGreaterEqual(len(cases), 120)
        self.assertEqual(len({c.name for c in cases}), len(cases))
        kinds = {c.name.split("-0")[0] for c in cases}
        for kind in [k for k, _ in draw.HTML_MAKERS] + ["xterm", "qt-form", "docs-page", "gtk", "xterm-colour", "mc",
                                                        "selection", "syntax", "sheet", "turned"]:
            self.assertIn(kind, kinds)
            if kind != "docs-page":
                scales = {c.data["scale"] for c in cases if c.name.split("-0")[0] == kind}
                self.assertEqual(scales, set(draw.SCALES), kind)

    def test_a_seed_draws_the_same_plan_and_another_seed_another(self):
        first, again, other = draw.plan(58, True), draw.plan(58, True), draw.plan(7, True)
        self.assertEqual([(c.name, c.truth, c.data) for c in first], [(c.name, c.truth, c.data) for c in again])
        self.assertEqual([c.name for c in first], [c.name for c in other])
        differing = sum(a.truth != b.truth for a, b in zip(first, other))
        self.assertGreater(differing, len(first) // 2)

    def test_every_expected_word_is_on_the_page(self):
        for seed in (58, 7):
            for case in draw.plan(seed, True):
                self.assertTrue(case.truth, case.name)
                for line in case.truth:
                    self.assertTrue(line.strip(), case.name)
                    if case.kind == "html":
                        # A field's value stands in its tag; code in coloured pieces stands between tags.
                        shown = case.data["html"] + re.sub(r"<[^>]*>", "", case.data["html"])
                        for word in line.split():
                            self.assertIn(draw.esc(word), shown, f"{case.name}: {line}")

    def test_the_mandatory_screen_texts_are_in_the_set(self):
        truths = "\n".join("\n".join(c.truth) for c in draw.plan(58, True))
        for text in ["++i", "+=", "->", "!=", "x[i]", "черновик.md", "/home/anna/"]:
            self.assertIn(text, truths)


class LaterProducers(unittest.TestCase):
    def test_the_earlier_cases_stay_as_committed(self):
        cases = {c.name: c for c in draw.plan(58, True)}
        for name in [n[:-4] for n in os.listdir(os.path.join(HERE, "cases")) if n[:-4].startswith(("xterm-", "qt-form-"))
                     and n.endswith(".txt") and not n.startswith("readings-")]:
            with open(os.path.join(HERE, "cases", name + ".txt"), encoding="utf-8") as f:
                self.assertEqual(f.read(), "\n".join(line.strip() for line in cases[name].truth) + "\n", name)

    def test_each_choice_of_a_producer_meets_every_scale_or_angle(self):
        for seed in (58, 7):
            cases = draw.plan(seed, True)
            gtk = [(c.data["command"][0], c.data["theme"], c.data["scale"]) for c in cases if c.kind == "gtk"]
            for program in ("yad", "zenity"):
                self.assertEqual({s for p, _, s in gtk if p == program}, set(draw.SCALES))
                self.assertEqual({t for p, t, _ in gtk if p == program}, {"Adwaita", "Adwaita:dark"})
            terminal = [c for c in cases if c.kind == "xterm-colour"]
            for palette in ("xterm", "tango"):
                typed = " ".join(c.truth[0] for c in terminal if c.data["palette"] == palette)
                for command in ("grep --color", "ls --color", "git status -s", "diff --color"):
                    self.assertIn(command, typed, palette)
            turned = [(c.data["angle"], c.data["scale"]) for c in cases if c.kind == "turned"]
            for angle in (1, -1, 2, -2):
                self.assertEqual(len({s for a, s in turned if a == angle}), 2, angle)
            themes = {}
            for c in cases:
                if c.name.startswith("syntax-"):
                    themes.setdefault(c.data["html"].split("background:")[2][:7], set()).add(c.data["scale"])
            self.assertEqual(list(themes.values()), [set(draw.SCALES)] * 3)

    def test_coloured_code_gives_back_each_line_and_colours_its_keywords(self):
        import html
        for theme, colours in pages.THEMES.items():
            for language, (_, lines) in pages.CODE_BLOCKS.items():
                for line in lines:
                    coloured = pages.highlighted(line, language, theme)
                    self.assertEqual(html.unescape(re.sub(r"<[^>]*>", "", coloured)), line)
        python = pages.highlighted('    with open(path) as f:  # читает', "python", "monokai")
        self.assertIn('<span style="color:#f92672">with</span>', python)
        self.assertIn('<span style="color:#66d9ef">open</span>', python)
        self.assertIn('<span style="color:#75715e;font-style:italic"># читает</span>', python)
        self.assertIn('<span style="color:#f1fa8c">"/api/upload"</span>',
                      pages.highlighted('fetch("/api/upload", {', "javascript", "dracula"))

    def test_a_sheet_numbers_every_row_and_keeps_its_lone_figures(self):
        import html
        rng = __import__("random").Random(5)
        lone = 0
        for _ in range(20):
            page, truth = pages.sheet_page(rng, 9, 5)
            self.assertEqual(truth[0], "A B C D E")
            self.assertEqual([line.split()[0] for line in truth[1:]], [str(r) for r in range(1, 10)])
            lone += sum(len(line.split()) == 2 and line.split()[1].isdigit() for line in truth[1:])
            rows = [re.findall(r"<t[dh][^>]*>([^<]*)</t[dh]>", row) for row in re.findall(r"<tr>(.*?)</tr>", page)]
            self.assertEqual(rows[0], ["", "A", "B", "C", "D", "E"])
            for line, row in zip(truth[1:], rows[1:]):
                self.assertEqual(line, " ".join(html.unescape(cell) for cell in row if cell))
        self.assertGreater(lone, 5)

    def test_long_lines_fill_their_width_in_the_font_they_are_shot_in(self):
        font = __import__("PIL.ImageFont").ImageFont.truetype(pages.DEJAVU, 16)
        words = " ".join(draw.PARAGRAPH).split()
        for seed in range(10):
            lines = pages.long_lines(__import__("random").Random(seed))
            self.assertEqual(len(lines), 4)
            for line in lines:
                # Filled up to the next word, which may be a long one.
                self.assertTrue(0.8 * 560 < font.getlength(line) <= 560, line)
                self.assertTrue(set(line.split()) <= set(words), line)

    def test_a_printed_screen_keeps_its_words_and_loses_its_frames(self):
        printed = ("  Левая панель     Файл     Команда\n"
                   "┌<─ ~/Проекты ─────.[^]>┐┌<─ ~/Документы ──•[↓]→┐\n"
                   "│.и     Имя     │Размер│↓и  Имя    │Размер│\n"
                   "│/..            │-ВВЕРХ-│/src     │  4096│\n"
                   "│ отчёт за март.xlsx│ 2305│          │      │\n"
                   "└───────────────┘└──────────┘\n"
                   " 1Помощь   2Меню     3Про~отр 8Удалить 10Выход\n")
        self.assertEqual(terminal.screen_text(printed), [
            "Левая панель Файл Команда", "~/Проекты ~/Документы", ".и Имя Размер ↓и Имя Размер",
            "/.. -ВВЕРХ- /src 4096", "отчёт за март.xlsx 2305", "1Помощь 2Меню 3Про~отр 8Удалить 10Выход"])


@unittest.skipUnless(shutil.which("git") and shutil.which("dircolors"), "git or coreutils missing")
class TerminalOutput(unittest.TestCase):
    def output(self, kind):
        case = next(c for c in draw.plan(58, True) if c.kind == "xterm-colour" and kind in c.truth[0])
        work = tempfile.mkdtemp(prefix="screen-set-test-")
        try:
            return case, *terminal.terminal_output(case, work)
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def test_the_programs_colour_what_they_print_and_the_text_keeps_no_escape(self):
        for kind, coloured in [("grep", r"\x1b\[01;31m\x1b\[K(WARN|ERROR)"), ("ls", r"\x1b\[01;34m"),
                               ("git status", r"\x1b\[3[12]m(M|\?\?|A)"), ("diff", r"\x1b\[3[12]m[-+]")]:
            case, raw, truth = self.output(kind)
            self.assertRegex(raw.decode(), coloured, kind)
            self.assertTrue(truth[0].startswith(case.truth[0]), kind)
            for line in truth:
                self.assertNotIn("\x1b", line)
                self.assertLessEqual(len(line), 100)
        case, raw, truth = self.output("grep")
        self.assertTrue(all("WARN" in line or "ERROR" in line for line in truth[1:] if "$" not in line), truth)

    def test_listings_and_hashes_come_out_the_same_each_time(self):
        for kind in ("ls", "git status", "diff"):
            self.assertEqual(self.output(kind)[2], self.output(kind)[2], kind)



    def test_side_by_side_columns_come_out_row_by_row(self):
        boxes = [["Правая 1", 300, 10, 80, 20], ["Левая 2", 10, 40, 80, 20], ["Левая 1", 10, 11, 80, 20],
                 ["Правая 2", 300, 41, 80, 20]]
        self.assertEqual(draw.reading_order(boxes), ["Левая 1 Правая 1", "Левая 2 Правая 2"])

    def test_a_small_label_joins_a_heading_only_within_half_its_own_height(self):
        heading = ["Заголовок", 10, 0, 200, 50]
        self.assertEqual(draw.reading_order([heading, ["метка", 300, 19, 50, 10]]), ["Заголовок метка"])
        self.assertEqual(draw.reading_order([heading, ["метка", 300, 32, 50, 10]]), ["Заголовок", "метка"])

    def test_a_row_is_judged_by_its_first_line_alone(self):
        boxes = [["a", 10, 0, 10, 20], ["b", 30, 7, 10, 20], ["c", 50, 14, 10, 20]]
        self.assertEqual(draw.reading_order(boxes), ["a b", "c"])


class Crop(unittest.TestCase):
    def picture(self, box, size=(200, 100)):
        image = Image.new("RGB", size, "#f1f3f4")
        image.paste(Image.new("RGB", (box[2] - box[0], box[3] - box[1]), "#1a73e8"), box[:2])
        return image

    def test_keeps_the_margin_on_every_side(self):
        cropped = draw.crop_to_content(self.picture((50, 30, 90, 60)), 8)
        self.assertEqual(cropped.size, (40 + 16, 30 + 16))
        pixels = numpy.asarray(cropped)
        self.assertTrue((pixels[8:-8, 8:-8] == [0x1a, 0x73, 0xe8]).all())
        self.assertTrue((pixels[:8] == [0xf1, 0xf3, 0xf4]).all())
        self.assertTrue((pixels[:, -8:] == [0xf1, 0xf3, 0xf4]).all())

    def test_the_margin_stops_at_the_shot_and_a_blank_shot_is_refused(self):
        self.assertEqual(draw.crop_to_content(self.picture((2, 0, 40, 20)), 8).size, (38 + 10, 20 + 8))
        with self.assertRaises(RuntimeError):
            draw.crop_to_content(Image.new("RGB", (40, 40), "white"), 4)


class CommittedSets(unittest.TestCase):
    def test_every_picture_has_its_text_and_its_kept_reading(self):
        for folder in [os.path.join(HERE, "cases"), os.path.join(HERE, "..", "recognition-set")]:
            names = os.listdir(folder)
            pictures = {n[:-4] for n in names if n.endswith(".png")}
            texts = {n[:-4] for n in names if n.endswith(".txt") and not n.startswith("readings-")}
            self.assertEqual(pictures, texts, folder)
            with open(os.path.join(folder, "readings-f1a408f.txt"), encoding="utf-8") as f:
                kept = [line[4:].split()[0] for line in f if line.startswith("=== ")]
            self.assertEqual(sorted(kept), sorted(pictures), folder)


@unittest.skipUnless(os.environ.get("TARNWICK_RECOGNIZE_FILES"), "recognize_files not built")
class RecognizeFiles(unittest.TestCase):
    def run_tool(self, *arguments):
        return subprocess.run([os.environ["TARNWICK_RECOGNIZE_FILES"], *arguments], capture_output=True, text=True,
                              timeout=600, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))

    def test_prints_each_reading_under_its_name_and_times_on_asking(self):
        alert = os.path.join(HERE, "cases", "alert-01-1x.png")
        button = os.path.join(HERE, "cases", "button-02-125x.png")
        done = self.run_tool(alert, button)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual([l for l in lines if l.startswith("=== ")], ["=== alert-01-1x", "=== button-02-125x"])
        with open(alert[:-4] + ".txt", encoding="utf-8") as f:
            first_word = f.read().split()[0]
        self.assertIn(first_word, "\n".join(lines[1:lines.index("=== button-02-125x")]))
        timed = self.run_tool("--times", "2", button)
        self.assertRegex(timed.stdout.splitlines()[0], r"^=== button-02-125x ms=[0-9]+\.[0-9]$")

    def test_a_file_it_cannot_read_fails_the_run_and_the_others_are_still_read(self):
        done = self.run_tool("/nonexistent/picture.png", os.path.join(HERE, "cases", "alert-01-1x.png"))
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("cannot read /nonexistent/picture.png", done.stderr)
        self.assertIn("=== alert-01-1x", done.stdout)


@unittest.skipUnless(shutil.which("chromium") and shutil.which("xterm") and shutil.which("Xvfb"),
                     "Chromium, xterm or Xvfb missing")
class CommittedCases(unittest.TestCase):
    def test_the_script_draws_the_committed_cases(self):
        out = tempfile.mkdtemp(prefix="screen-set-test-")
        try:
            for prefix in ["button-01-1x", "list-02-125x", "photo-04-2x", "xterm-03-15x"]:
                done = subprocess.run([os.path.join(HERE, "draw"), "--out", out, "--only", prefix,
                                       "--qt-form-shot", "/bin/false"], capture_output=True, text=True, timeout=600)
                self.assertEqual(done.returncode, 0, done.stderr)
                for suffix in [".png", ".txt"]:
                    committed = os.path.join(HERE, "cases", prefix + suffix)
                    drawn = os.path.join(out, prefix + suffix)
                    if suffix == ".txt":
                        with open(committed, encoding="utf-8") as a, open(drawn, encoding="utf-8") as b:
                            self.assertEqual(a.read(), b.read(), prefix)
                    else:
                        a = numpy.asarray(Image.open(committed).convert("RGB")).astype(int)
                        b = numpy.asarray(Image.open(drawn).convert("RGB")).astype(int)
                        self.assertEqual(a.shape, b.shape, prefix)
                        # Photos go through JPEG; a decoder a version apart may move a level or two.
                        self.assertLessEqual(numpy.abs(a - b).max(), 4, prefix)
        finally:
            shutil.rmtree(out, ignore_errors=True)


NEEDED = ["chromium", "xterm", "Xvfb", "yad", "zenity", "mc", "convert", "xdotool", "xwininfo", "git"]


@unittest.skipUnless(all(shutil.which(p) for p in NEEDED), "a program of the later producers is missing")
class DrawnPrograms(unittest.TestCase):
    """One case of each program the later producers shoot, drawn for real and looked at."""

    @classmethod
    def setUpClass(cls):
        cls.out = tempfile.mkdtemp(prefix="screen-set-test-")
        cls.names = ["gtk-01-1x", "gtk-05-1x", "selection-01-1x", "xterm-colour-01-1x", "mc-01-1x", "turned-01-1x"]
        cls.done = subprocess.run([os.path.join(HERE, "draw"), "--out", cls.out, "--only", ",".join(cls.names),
                                   "--qt-form-shot", "/bin/false"], capture_output=True, text=True, timeout=800)
        cls.planned = {c.name: c for c in draw.plan(58, True) if c.name in cls.names}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)

    def picture(self, name):
        self.assertEqual(self.done.returncode, 0, self.done.stderr)
        return numpy.asarray(Image.open(os.path.join(self.out, name + ".png")).convert("RGB")).astype(int)

    def text(self, name):
        with open(os.path.join(self.out, name + ".txt"), encoding="utf-8") as f:
            return f.read().splitlines()

    @staticmethod
    def highlight(pixels):
        """Rows and columns of the selection's strong blue."""
        return (pixels[..., 2] > 150) & (pixels[..., 2] - pixels[..., 0] > 80)

    def test_the_focused_field_of_a_dialog_shows_its_value_selected(self):
        for name in ("gtk-01-1x", "gtk-05-1x"):
            pixels = self.picture(name)
            self.assertEqual(self.text(name), self.planned[name].truth)
            blue = self.highlight(pixels)
            # White letters on the highlight, a field's height of it.
            rows = numpy.where(blue.sum(axis=1) > 20)[0]
            self.assertGreaterEqual(len(rows), 12, name)
            self.assertTrue((pixels[rows[0]:rows[-1] + 1][..., 0] > 220).sum() > 30, name)

    def test_a_drag_selects_from_its_line_down_and_leaves_the_heading(self):
        pixels = self.picture("selection-01-1x")
        ink = (pixels.max(axis=2) < 100).any(axis=1)
        blue = self.highlight(pixels).sum(axis=1) > 20
        heading_end = numpy.argmax(ink) + numpy.argmin(ink[numpy.argmax(ink):])
        self.assertGreater(blue.sum(), 10)
        self.assertGreater(numpy.argmax(blue), heading_end)
        self.assertEqual(sorted(self.text("selection-01-1x")), sorted(self.planned["selection-01-1x"].truth))

    def test_warnings_and_errors_of_grep_are_red_on_the_terminal(self):
        pixels = self.picture("xterm-colour-01-1x")
        red = (pixels[..., 0] > 180) & (pixels[..., 1] < 80) & (pixels[..., 2] < 80)
        self.assertGreater(red.sum(), 50)
        lines = self.text("xterm-colour-01-1x")
        self.assertTrue(lines[0].endswith("grep --color=always -n -E 'WARN|ERROR' app.log"), lines)
        self.assertTrue(all(re.search("WARN|ERROR", line) for line in lines[1:] if "$" not in line), lines)

    def test_midnight_commander_shows_both_panels_and_its_key_bar(self):
        lines = self.text("mc-01-1x")
        self.assertEqual(lines[0], "Левая панель Файл Команда Настройки Правая панель")
        self.assertRegex(lines[-1], r"^1Помощь 2Меню .* 8Удалить 9МенюMC 10Выход$")
        self.assertIn("~/Проекты ~/Документы", lines)
        shown = " ".join(lines).split()
        for word in self.planned["mc-01-1x"].truth:
            self.assertTrue(word in shown or "/" + word in shown, word)
        # The whole window: its columns of cells within xterm's two-pixel border.
        pixels = self.picture("mc-01-1x")
        self.assertEqual((pixels.shape[1] - 4) % self.planned["mc-01-1x"].data["columns"], 0)

    def test_a_turned_page_slopes_by_its_angle(self):
        self.picture("turned-01-1x")
        page = Image.open(os.path.join(self.out, "turned-01-1x.png")).convert("L")

        # Turned back by its angle, the lines lie level: the rows' ink parts most sharply from the gaps.
        def sharpness(angle):
            rows = (255 - numpy.asarray(page.rotate(angle, resample=Image.BICUBIC, fillcolor=255), float)).sum(axis=1)
            return float((numpy.diff(rows) ** 2).sum())
        best = max(numpy.arange(-3, 3.01, 0.25), key=sharpness)
        self.assertAlmostEqual(best, self.planned["turned-01-1x"].data["angle"], delta=0.3)
        self.assertEqual(self.text("turned-01-1x"), self.planned["turned-01-1x"].truth)


@unittest.skipUnless(all(shutil.which(p) for p in NEEDED), "a program of the later producers is missing")
class FullScreens(unittest.TestCase):
    """The timing's whole screens: a maximised terminal shows the last lines its output left."""

    @classmethod
    def setUpClass(cls):
        import full_screens
        cls.full = full_screens
        cls.work = tempfile.mkdtemp(prefix="screen-set-test-")
        cls.display = draw.Display()
        rng = __import__("random").Random(3)
        cls.shots = {make.__name__: make(rng, cls.display.name, cls.work)
                     for make in (full_screens.full_terminal, full_screens.full_mc, full_screens.full_dialog)}

    @classmethod
    def tearDownClass(cls):
        cls.display.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_a_maximised_terminal_holds_one_line_of_its_text_in_each_row_of_cells(self):
        case, picture = self.shots["full_terminal"]
        self.assertEqual(picture.size, self.full.SCREEN)
        width, height = self.full.cell_size(self.display.name, case.data, self.work)
        ink = numpy.asarray(picture).max(axis=2) > 100
        rows = [bool(ink[round(4 + k * height):round(4 + (k + 1) * height)].any()) for k in range(case.data["rows"])]
        # The output is longer than the screen: every row shows a line, the first of the text at the top.
        self.assertEqual(len(case.truth), case.data["rows"])
        self.assertTrue(all(rows), rows)
        self.assertTrue(case.truth[-1].startswith("anna@tarn:~/Проекты (main)$"))
        self.assertTrue(any("WARN" in line for line in case.truth))

    def test_midnight_commander_and_a_dialog_fill_and_keep_their_place_on_the_screen(self):
        case, picture = self.shots["full_mc"]
        self.assertEqual(picture.size, self.full.SCREEN)
        self.assertRegex(case.truth[-1], r"^1Помощь .* 10Выход$")
        pixels = numpy.asarray(picture).astype(int)
        # The key bar stands within the last text row of the screen.
        lit = numpy.where(pixels.max(axis=2).max(axis=1) > 60)[0]
        self.assertGreater(lit[-1], self.full.SCREEN[1] - 40)
        case, picture = self.shots["full_dialog"]
        pixels = numpy.asarray(picture).astype(int)
        grey = numpy.where((numpy.abs(pixels - pixels[:, :, :1]).max(axis=2) < 4) & (pixels[..., 0] > 200))
        middle = ((grey[1].min() + grey[1].max()) / 2, (grey[0].min() + grey[0].max()) / 2)
        self.assertAlmostEqual(middle[0], self.full.SCREEN[0] / 2, delta=3)
        self.assertAlmostEqual(middle[1], self.full.SCREEN[1] / 2, delta=3)
        self.assertGreater(DrawnPrograms.highlight(pixels).sum(), 200)


@unittest.skipUnless(shutil.which("chromium"), "Chromium missing")
class TimedPages(unittest.TestCase):
    def test_the_short_line_and_the_two_column_pages_show_their_text(self):
        import full_screens
        work = tempfile.mkdtemp(prefix="screen-set-test-")
        try:
            shots = {c.name: (c, draw.shoot_html(c, work, draw.chromium()))
                     for c in full_screens.browser_pages(__import__("random").Random(1))}
        finally:
            shutil.rmtree(work, ignore_errors=True)
        case, line = shots["short-line"]
        # Its 19 letters at 14 px, and the margin.
        self.assertGreater(line.width, 140)
        self.assertLess(line.height, 40)
        for name in ("two-column-dejavu-1920x1080", "two-column-serif-1920x1080"):
            case, page = shots[name]
            self.assertEqual(page.size, (1920, 1080))
            ink = numpy.asarray(page.convert("L")) < 128
            rows = numpy.where(ink.any(axis=1))[0]
            # Both columns hold text down the page, one line of each in each row of the truth.
            self.assertTrue(ink[:, :960].any() and ink[:, 960:].any(), name)
            self.assertGreater(rows[-1] - rows[0], 900, name)
            self.assertEqual(len(case.truth), 48 if "dejavu" in name else 44)


class TimingBounds(unittest.TestCase):
    timing = SourceFileLoader("timing", os.path.join(HERE, "timing")).load_module()

    def test_pictures_fall_into_the_groups_the_bounds_speak_of(self):
        group = self.timing.group_of
        self.assertEqual(group("xterm-1920x1080.png", (1920, 1080), "a\nb"), "page")
        self.assertEqual(group("chat-03-15x.png", (700, 900), "a\nb"), "chat")
        self.assertEqual(group("button-01-1x.png", (120, 40), "Сохранить изменения\n"), "short")
        self.assertEqual(group("alert-01-1x.png", (600, 60), "Обновление 258.2 установлено, перезапустите программу\n"),
                         "other")
        self.assertEqual(group("list-01-1x.png", (300, 200), "Звук\nСеть\n"), "other")
        self.assertEqual(group("dense.png", (1920, 1080), None), "page")

    def test_each_bound_names_the_pictures_that_break_it(self):
        def row(name, group, ours, older, command, ours_wrong=0, older_wrong=0):
            return {"name": name, "group": group, "ours wrong": ours_wrong, "older wrong": older_wrong,
                    "ours/command1": ours / command, "ours/command": ours / command, "ours/older": ours / older}
        rows = [row("button", "short", 30, 10, 100), row("label", "short", 10, 10, 100),
                row("page-slow", "page", 1100, 1000, 1000), row("page-ok", "page", 500, 400, 1000),
                row("page-better", "page", 600, 300, 1000, ours_wrong=0, older_wrong=9),
                row("chat", "chat", 900, 400, 1000, ours_wrong=1, older_wrong=20)]
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            self.timing.verdicts(rows, "60e4ba8")
        lines = out.getvalue().splitlines()
        self.assertIn("one short line at most 0.2x command1: 1 of 2 hold; ratio median 0.20, max 0.30", lines)
        self.assertIn("  button: 0.30", lines)
        self.assertIn("full pages and chats no slower than command: 3 of 4 hold; ratio median 0.75, max 1.10", lines)
        self.assertIn("  page-slow: 1.10", lines)
        # Only pages the older build reads as well as we do are held to 1.2x its time.
        self.assertIn("full pages 60e4ba8 reads as well as we do, at most 1.2x it: 1 of 2 hold; ratio median 1.18, max 1.25",
                      lines)
        self.assertIn("  page-ok: 1.25", lines)
        self.assertNotIn("  page-better: 2.00", lines)


if __name__ == "__main__":
    unittest.main()
