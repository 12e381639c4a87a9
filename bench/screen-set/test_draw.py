#!/usr/bin/python3
"""Checks of the screen set's drawing script: the plan a seed gives, the texts it expects,
the crop, and that the committed cases are what the script draws today.

Exits 77 (skipped) where the bench packages are not installed (scripts/install-deps --bench).
"""

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


class ReadingOrder(unittest.TestCase):
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


if __name__ == "__main__":
    unittest.main()
