"""What the screen set's producers share: the case, the page around a maker's HTML, the X
display, the shots of Chromium, xterm and Qt, and the text a page shows in reading order."""

import base64
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import numpy
from PIL import Image

def esc(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class Case:
    def __init__(self, name, kind, truth, **data):
        self.name, self.kind, self.truth, self.data = name, kind, truth, data


def page(body, font, px, back, colour, margin, extra_css=""):
    return f"""<!doctype html><html><head><meta charset="utf-8"><style>
html,body{{margin:0;background:{back};}}
body{{padding:40px;font-family:'{font}';font-size:{px}px;color:{colour};}}
.line,.cell,span,a,button,td,th,label,div{{white-space:nowrap;}}
{extra_css}</style></head><body><div id="box" style="display:inline-block">{body}</div></body></html>"""


def write_case(out, name, picture, truth):
    picture.save(os.path.join(out, name + ".png"), optimize=True)
    with open(os.path.join(out, name + ".txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(line.strip() for line in truth) + "\n")


def crop_to_content(picture, margin):
    """Crops to the drawn content and a margin around it, as a user drags a selection."""
    pixels = numpy.asarray(picture.convert("RGB")).astype(numpy.int16)
    back = pixels[0, 0]
    differs = numpy.abs(pixels - back).max(axis=2) > 6
    rows, cols = numpy.where(differs.any(axis=1))[0], numpy.where(differs.any(axis=0))[0]
    if len(rows) == 0:
        raise RuntimeError("the shot is blank")
    top, bottom = max(0, rows[0] - margin), min(picture.height, rows[-1] + 1 + margin)
    left, right = max(0, cols[0] - margin), min(picture.width, cols[-1] + 1 + margin)
    return picture.crop((left, top, right, bottom))


def chromium():
    for name in ["chromium", "chromium-browser", "google-chrome"]:
        path = shutil.which(name)
        if path:
            return path
    sys.exit("draw: Chromium is missing (bench/screen-set/install-deps installs it)")


# Run in a copy of the page: the box of each text line as laid out, and of each field's value.
MEASURE = """<script>(function () {
  const out = [];
  const box = document.getElementById('box');
  for (const unit of box.querySelectorAll('.unit')) {
    const text = unit.textContent.trim();
    if (!text) continue;
    const range = document.createRange();
    range.selectNodeContents(unit);
    const r = range.getBoundingClientRect();
    out.push([text, r.left, r.top, r.width, r.height]);
  }
  const walker = document.createTreeWalker(box, NodeFilter.SHOW_TEXT);
  for (let node; (node = walker.nextNode());) {
    if (node.parentElement.closest('.unit')) continue;
    let offset = 0;
    for (const segment of node.textContent.split('\\n')) {
      const text = segment.trim();
      if (text) {
        const range = document.createRange();
        const start = offset + segment.indexOf(text);
        range.setStart(node, start);
        range.setEnd(node, start + text.length);
        const r = range.getBoundingClientRect();
        out.push([text, r.left, r.top, r.width, r.height]);
      }
      offset += segment.length + 1;
    }
  }
  for (const field of document.querySelectorAll('#box input')) {
    if (field.type === 'checkbox' || !field.value.trim()) continue;
    const r = field.getBoundingClientRect();
    const size = parseFloat(getComputedStyle(field).fontSize) * 1.16;
    out.push([field.value.trim(), r.left + 8, r.top + r.height / 2 - size / 2, r.width - 16, size]);
  }
  const mark = document.createElement('div');
  mark.id = 'boxes';
  mark.setAttribute('data-b', btoa(unescape(encodeURIComponent(JSON.stringify(out)))));
  document.body.appendChild(mark);
})();</script>"""


def reading_order(boxes):
    """The lines as the program must give them: top to bottom, and left to right within a visual
    row, a row being the lines whose centres lie within half the smaller height of its first
    line's. Boxes are (text, left, top, width, height) with y down; line boxes hold the font's
    whole height, of which the glyphs take about four fifths."""
    lines = [(text, left, top + height / 2, 0.8 * height) for text, left, top, width, height in boxes]
    lines.sort(key=lambda line: (line[2], line[1]))
    rows = []
    for line in lines:
        for row in rows:
            anchor = row[0]
            if abs(anchor[2] - line[2]) <= 0.5 * min(anchor[3], line[3]):
                row.append(line)
                break
        else:
            rows.append([line])
    return [" ".join(line[0] for line in sorted(row, key=lambda line: line[1])) for row in rows]


def measured_boxes(case, work, browser):
    """The page's text boxes as Chromium lays them out at its viewport, in CSS pixels."""
    html_path = os.path.join(work, case.name + ".measure.html")
    with open(html_path, "w", encoding="utf-8") as f:
        f.write(case.data["html"].replace("</body>", MEASURE + "</body>"))
    profile = tempfile.mkdtemp(prefix="profile-", dir=work)
    done = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
                           "--disable-extensions", "--mute-audio", f"--user-data-dir={profile}", "--dump-dom",
                           f"--window-size={case.data['width']},{case.data['height']}", "file://" + html_path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    shutil.rmtree(profile, ignore_errors=True)
    found = re.search(r'id="boxes" data-b="([A-Za-z0-9+/=]*)"', done.stdout.decode(errors="replace"))
    if done.returncode != 0 or not found:
        raise RuntimeError(f"{case.name}: Chromium measured nothing: {done.stderr.decode(errors='replace')[-400:]}")
    return json.loads(base64.b64decode(found.group(1)).decode("utf-8"))


def measured_truth(case, work, browser, boxes=None):
    truth = reading_order(boxes if boxes is not None else measured_boxes(case, work, browser))
    # The page must show every word the case was made of, and no other.
    if sorted(" ".join(truth).split()) != sorted(" ".join(case.truth).split()):
        raise RuntimeError(f"{case.name}: the page shows {truth}, the case wants {case.truth}")
    return truth


def shoot_html(case, work, browser):
    html_path = os.path.join(work, case.name + ".html")
    shot = os.path.join(work, case.name + ".shot.png")
    with open(html_path, "w", encoding="utf-8") as f:
        f.write(case.data["html"])
    width, height, scale = case.data["width"], case.data["height"], case.data["scale"]
    profile = tempfile.mkdtemp(prefix="profile-", dir=work)
    command = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
               "--disable-extensions", "--mute-audio", f"--user-data-dir={profile}",
               f"--screenshot={shot}", f"--window-size={width},{height}",
               f"--force-device-scale-factor={scale}", "file://" + html_path]
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=300)
    shutil.rmtree(profile, ignore_errors=True)
    if done.returncode != 0 or not os.path.exists(shot):
        raise RuntimeError(f"{case.name}: Chromium failed: {done.stderr.decode(errors='replace')[-400:]}")
    picture = Image.open(shot).convert("RGB")
    if case.data.get("measure", True):
        case.truth = measured_truth(case, work, browser)
    if case.data.get("full"):
        return picture
    return crop_to_content(picture, round(case.data["margin"] * scale))


class Display:
    """An Xvfb of our own: the first free display number, chosen by the server itself. It never
    resets: by default it would each time its last client leaves, and a program connecting then
    finds no display."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "2400x1400x24", "-nolisten", "tcp",
                                         "-br", "-noreset"], pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        self.process.wait()


def grab_root(display):
    from PIL import ImageGrab
    return ImageGrab.grab(xdisplay=display).convert("RGB")


class Program:
    """A program started in a session of its own, ended with everything it started; where the
    shot fails, the error tells what the program said."""

    def __init__(self, command, env, **options):
        self.said = tempfile.TemporaryFile()
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=self.said,
                                        start_new_session=True, **options)

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.said.seek(0)
        said = self.said.read().decode(errors="replace").strip()[-400:]
        self.said.close()
        if isinstance(error, RuntimeError) and said:
            raise RuntimeError(f"{error}; {self.process.args[0]} said: {said}") from error


def settled(display, ready, what, region=None, deadline=600):
    """The screen once `ready()` holds and two grabs a moment apart agree on `region` (a box, or
    a function giving it once ready; the whole screen without one). Other windows of the same
    screen may come and go meanwhile."""
    start = time.monotonic()
    previous, was_ready = None, False
    while True:
        if time.monotonic() - start > deadline:
            raise RuntimeError(f"{what} ({'it never held still' if was_ready else 'not there'} in {deadline} s)")
        if ready():
            was_ready = True
            picture = grab_root(display)
            box = region() if callable(region) else region
            part = (picture.crop(box) if box else picture).tobytes()
            if part == previous:
                return picture
            previous = part
        time.sleep(0.2)


def x_tool(display, *command):
    done = subprocess.run(list(command), env=dict(os.environ, DISPLAY=display), capture_output=True, text=True,
                          timeout=120)
    return done.stdout if done.returncode == 0 else ""


def window_box(display, title):
    """The id and (left, top, right, bottom) of the shown window of that exact title, or None."""
    found = x_tool(display, "xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$").split()
    if not found:
        return None
    info = x_tool(display, "xwininfo", "-id", found[0])
    values = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", info, re.M))
    if len(values) < 4:
        return None
    left, top = int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])
    return found[0], (left, top, left + int(values["Width"]), top + int(values["Height"]))


def window_settled(display, title, what, ready=lambda box: True, program=None):
    """The screen once the window of that title shows, `ready(box)` holds and the window holds
    still; and the window's id and box. A program that ends before fails the shot at once."""
    box = []

    def shown():
        if program and program.process.poll() is not None:
            raise RuntimeError(f"{what} (it ended with {program.process.returncode})")
        if not box:
            box.extend(window_box(display, title) or [])
        return bool(box) and ready(box)
    try:
        return settled(display, shown, what, region=lambda: box[1]), box
    except RuntimeError as error:
        if box:
            raise
        names = x_tool(display, "xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@")
        raise RuntimeError(f"{error}; no window {title!r} among {names.split(chr(10))}") from error


# Palettes of terminal colours 0-15: xterm's own and the Tango set of GNOME's terminals.
PALETTES = {
    "xterm": ["#000000", "#cd0000", "#00cd00", "#cdcd00", "#0000ee", "#cd00cd", "#00cdcd", "#e5e5e5",
              "#7f7f7f", "#ff0000", "#00ff00", "#ffff00", "#5c5cff", "#ff00ff", "#00ffff", "#ffffff"],
    "tango": ["#2e3436", "#cc0000", "#4e9a06", "#c4a000", "#3465a4", "#75507b", "#06989a", "#d3d7cf",
              "#555753", "#ef2929", "#8ae234", "#fce94f", "#729fcf", "#ad7fa8", "#34e2e2", "#eeeeec"],
}


def xterm_command(data, columns, rows, title):
    """xterm with the case's font, size, colours and border, its scroll bar and cursor blink off."""
    size = data["px"] * data["scale"]
    command = ["xterm", "-T", title, "-geometry", f"{columns}x{rows}+0+0", "-fa", data["font"], "-fs", f"{size:.2f}",
               "-bg", data["back"], "-fg", data["fore"], "-b", str(round(data["margin"] * data["scale"]) + 2),
               "-bw", "0", "+sb", "-u8"]
    for index, colour in enumerate(PALETTES.get(data.get("palette"), [])):
        command += ["-xrm", f"XTerm*color{index}: {colour}"]
    return command


def shoot_xterm(case, work, display):
    text = os.path.join(work, case.name + ".term.txt")
    marker = os.path.join(work, case.name + ".ready")
    with open(text, "wb") as f:
        # Coloured cases hold the programs' own output, escapes and all.
        f.write(case.data["raw"] if "raw" in case.data else ("\n".join(case.truth) + "\n").encode())
    env = dict(os.environ, DISPLAY=display, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    command = xterm_command(case.data, case.data.get("columns", 100), case.data.get("rows", 14), case.name) + [
        "-e", "sh", "-c", f"cat '{text}'; printf '\\033[?25l'; touch '{marker}'; exec sleep 600"]
    with Program(command, env) as term:
        # The text is out once the marker exists; it is drawn once two grabs of the window agree.
        picture, _ = window_settled(display, case.name, f"{case.name}: xterm never showed its text",
                                    lambda box: os.path.exists(marker), term)
        if case.data.get("full"):
            return picture.crop((0, 0, *case.data["full"]))
        pixels = numpy.asarray(picture).astype(numpy.int16)
        back = numpy.array(Image.new("RGB", (1, 1), case.data["back"]).getpixel((0, 0)))
        # The window is the block of the terminal's background at the top-left corner.
        is_back = (numpy.abs(pixels - back).max(axis=2) <= 6)
        width = int(numpy.argmin(is_back[0])) if not is_back[0].all() else picture.width
        column = is_back[:, 0]
        height = int(numpy.argmin(column)) if not column.all() else picture.height
        return crop_to_content(picture.crop((0, 0, width, height)), round(case.data["margin"] * case.data["scale"]))


def shoot_qt(case, work, display, tool):
    form = os.path.join(work, case.name + ".json")
    out = os.path.join(work, case.name + ".qt.png")
    with open(form, "w", encoding="utf-8") as f:
        json.dump(case.data["form"], f, ensure_ascii=False)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR=str(case.data["scale"]),
               QT_AUTO_SCREEN_SCALE_FACTOR="0", QT_ENABLE_HIGHDPI_SCALING="1")
    done = subprocess.run([tool, form, out], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
    if done.returncode != 0:
        raise RuntimeError(f"{case.name}: qt_form_shot failed: {done.stderr.decode(errors='replace')[-400:]}")
    return Image.open(out).convert("RGB")


def scale_name(scale):
    return {1: "1x", 1.25: "125x", 1.5: "15x", 2: "2x"}[scale]

