"""The HTML report of the robmat program (--html and html_report): one self-contained page
whose pictures are well-formed SVG with one mark per observation, and which a real browser
(headless Chromium, when installed) paints inside the plot areas."""

import html.parser
import os
import pathlib
import re
import shutil
import struct
import subprocess
import xml.etree.ElementTree as ET
import zlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
PROGRAM = os.environ.get("ROBMAT_PROGRAM", str(ROOT / "build" / "apps" / "robmat"))
SVG = "{http://www.w3.org/2000/svg}"

SCRIPT = """\
d = read_csv("data/hbk.csv");
[sc, est, dist] = MCD([0], d(:, 1:3));
s = MAD(d, "qn")
[sc2, est2, dist2] = MCD([0], d(:, 1:2));
"""


def run(tmp_path, script, *options):
    path = tmp_path / "script.rm"
    path.write_text(script)
    return subprocess.run([PROGRAM, *options, str(path)], cwd=ROOT, capture_output=True, text=True, timeout=120)


class Page(html.parser.HTMLParser):
    """Ids, links, tags and the SVG pictures of a page."""

    def __init__(self, text):
        super().__init__()
        self.ids, self.links, self.tags = set(), [], []
        self.feed(text)
        self.svgs = re.findall(r"<svg .*?</svg>", text, re.S)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append(tag)
        if "id" in a:
            self.ids.add(a["id"])
        for key in ("href", "src"):
            if key in a:
                self.links.append(a[key])


@pytest.fixture(scope="module")
def report(tmp_path_factory):
    tmp = tmp_path_factory.mktemp("report")
    out = tmp / "report.html"
    done = run(tmp, SCRIPT, "--quiet", "--html", str(out))
    assert done.returncode == 0, done.stderr
    return out


def test_report_holds_every_call_with_its_plots(report):
    text = report.read_text()
    page = Page(text)
    # Contents: three calls, each a section, each plot linked from the table of contents.
    for call in ("call-1", "call-2", "call-3"):
        assert call in page.ids
    assert "call-4" not in page.ids
    internal = [link for link in page.links if link.startswith("#")]
    assert internal and all(link[1:] in page.ids for link in internal)
    assert {"call-1-dd", "call-1-distances", "call-1-qq", "call-2-strips", "call-3-ellipse"} <= page.ids
    assert "call-1-ellipse" not in page.ids  # three variables: no tolerance ellipse
    # Self-contained: nothing to fetch, no scripts.
    assert "script" not in page.tags
    assert [link for link in page.links if not link.startswith("#")] == []
    assert "Minimum Covariance Determinant" not in text  # print level 0 prints nothing
    assert "s =" in text  # MAD's value, displayed, in the listing
    assert "<h4>s (result 1), 1 x 4</h4>" in text and "<th>X1</th>" in text


def test_pictures_are_svg_with_a_mark_per_observation(report):
    svgs = Page(report.read_text()).svgs
    assert len(svgs) == 3 + 1 + 4
    for svg in svgs:
        root = ET.fromstring(svg)  # well-formed XML
        plot = root.get("data-plot")
        points = [c for c in root.iter(SVG + "circle") if "point" in c.get("class", "").split()]
        flagged = [c for c in points if "flagged" in c.get("class").split()]
        if plot == "strips":
            assert len(points) == 75 * 4
        else:
            assert len(points) == 75, plot
            # hbk: observations 1-14 are the planted outliers in the regressors.
            assert len(flagged) == 14, plot
        assert root.find(SVG + "title").text


def test_html_report_writes_the_run_so_far(tmp_path):
    out = tmp_path / "so-far.html"
    script = SCRIPT.replace("s = MAD", f'html_report("{out}");\ns = MAD')
    done = run(tmp_path, script, "--quiet")
    assert done.returncode == 0, done.stderr
    ids = Page(out.read_text()).ids
    assert "call-1" in ids and "call-2" not in ids
    bad = run(tmp_path, 'html_report("/nonexistent/folder/r.html");\n')
    assert bad.returncode == 1
    assert "The report file /nonexistent/folder/r.html could not be opened for writing." in bad.stderr


def png_pixels(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit, non-interlaced RGB(A) PNG."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, [[row[x * bpp:x * bpp + 3] for x in range(width)] for row in rows]


def chromium():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def browser(args, tmp_path, profile):
    return subprocess.run(
        [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--hide-scrollbars",
         "--force-device-scale-factor=1", f"--user-data-dir={tmp_path / profile}", *args],
        capture_output=True, text=True, timeout=120)


def test_a_browser_paints_the_plots_inside_their_areas(report, tmp_path):
    if chromium() is None:
        pytest.skip("Chromium is not installed (Debian package chromium; scripts/test installs it)")
    # The page as it is, plus a test stylesheet that keeps the layout but shows only the
    # pictures, and a script that writes where the browser put them into the page.
    probe = """
<style>body * { visibility: hidden; } svg.robmat-plot, svg.robmat-plot * { visibility: visible; }</style>
<script>
addEventListener("load", () => {
  const r = [...document.querySelectorAll("svg.robmat-plot")].map(s => {
    const b = s.getBoundingClientRect();
    return [b.left + scrollX, b.top + scrollY, b.width, b.height].map(Math.round).join(",");
  });
  const out = document.createElement("pre");
  out.id = "probe";
  out.textContent = document.documentElement.scrollHeight + ";" + r.join(";");
  document.body.appendChild(out);
});
</script>"""
    page = tmp_path / "probe.html"
    page.write_text(report.read_text().replace("</body>", probe + "</body>"))
    dom = browser(["--window-size=1100,1000", "--dump-dom", page.as_uri()], tmp_path, "p1")
    found = re.search(r'<pre id="probe">([^<]*)</pre>', dom.stdout)
    assert found, dom.stderr[-2000:]
    height, *rects = found.group(1).split(";")
    rects = [tuple(int(v) for v in r.split(",")) for r in rects]
    assert len(rects) == 8 and all(r[2] == 480 and r[3] == 360 for r in rects)
    height = min(int(height), 12000)
    shot = tmp_path / "shot.png"
    browser([f"--screenshot={shot}", f"--window-size=1100,{height}", page.as_uri()], tmp_path, "p2")
    width, h, pixels = png_pixels(shot)
    assert (width, h) == (1100, height)

    def inside(x, y):
        return any(rx - 1 <= x <= rx + rw and ry - 1 <= y <= ry + rh for rx, ry, rw, rh in rects)

    painted = [0] * len(rects)
    stray = 0
    for y in range(h):
        row = pixels[y]
        for x in range(width):
            r, g, b = row[x]
            if r > 245 and g > 245 and b > 245:
                continue
            if not inside(x, y):
                stray += 1
                continue
            for k, (rx, ry, rw, rh) in enumerate(rects):
                if rx <= x < rx + rw and ry <= y < ry + rh:
                    painted[k] += 1
    assert stray == 0
    # Each picture has its frame, ticks, marks and text: far more than a few hundred pixels.
    assert all(p > 2000 for p in painted), painted
