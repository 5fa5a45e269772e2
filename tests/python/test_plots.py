"""The plots of results in Python: the host's figures with their SVG (well-formed, a mark per
observation), matplotlib drawing on an Agg canvas, the notebook HTML and the HTML report."""

import xml.etree.ElementTree as ET

import numpy as np
import pytest

import robmat

SVG = "{http://www.w3.org/2000/svg}"


def marks(svg):
    root = ET.fromstring(svg)
    points = [c for c in root.iter(SVG + "circle") if "point" in c.get("class", "").split()]
    return len(points), sum("flagged" in c.get("class").split() for c in points)


def test_mcd_figures_with_their_pictures(hbk_x):
    r = robmat.mcd(hbk_x[:, :2])
    figures = r.plots()
    assert [f["id"] for f in figures] == ["dd", "distances", "qq", "ellipse"]
    assert r.plot_notes == []
    for f in figures:
        assert marks(f["svg"]) == (75, 14), f["id"]  # hbk: observations 1-14 are the outliers
        assert len(f["points"]["x"]) == 75
    dd = figures[0]
    cutoffs = [line["at"] for line in dd["lines"] if line["role"] == "cutoff"]
    assert cutoffs == [r.cutoff, r.cutoff]
    assert np.allclose(dd["points"]["y"], r.robust_distances)
    assert sorted(int(v) for v in dd["points"]["labels"] if v) == list(range(1, 15))
    assert r.svg("dd") == dd["svg"]
    with pytest.raises(KeyError, match="the plots are dd, distances, qq, ellipse"):
        r.svg("outlier-map")


def test_observation_names_label_the_outliers(hbk_x):
    r = robmat.mcd(hbk_x)
    r.row_names = [f"case {i + 1}" for i in range(75)]
    labels = [v for v in r.plots()[0]["points"]["labels"] if v]
    assert sorted(labels) == sorted(f"case {i}" for i in range(1, 15))


def test_mad_strips_through_call(stackloss):
    o = robmat.call("MAD", stackloss, "nmad")
    (f,) = o.plots()
    assert f["id"] == "strips" and "normalized MAD" in f["title"]
    assert len(f["bands"]) == 4 and marks(f["svg"])[0] == 21 * 4
    assert f["bands"][0]["centre"] == np.median(stackloss[:, 0])


def test_matplotlib_draws_on_agg(hbk_x, stackloss):
    matplotlib = pytest.importorskip("matplotlib", reason="matplotlib is not installed (python3-matplotlib)")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    r = robmat.mcd(hbk_x[:, :2])
    fig = r.plot()
    fig.canvas.draw()
    assert len([ax for ax in fig.axes if ax.get_visible()]) == 4
    plt.close(fig)
    fig, axes = plt.subplots(1, 2)
    assert r.plot(["dd", "qq"], axes=axes) is fig
    assert axes[0].get_title() == "Distance-distance plot"
    plt.close(fig)
    fig = robmat.call("MAD", stackloss, "qn").plot()
    fig.canvas.draw()
    plt.close(fig)


def test_notebook_html_and_report(hbk_x, stackloss, tmp_path):
    r = robmat.mcd(hbk_x)
    html = r._repr_html_()
    assert html.count("<svg ") == 3 and "McdResult" in html
    path = tmp_path / "mcd.html"
    r.to_html(path, title="hbk")
    page = path.read_text()
    assert "<title>hbk</title>" in page and page.count("<svg ") == 3
    both = tmp_path / "both.html"
    robmat.report(both, r, robmat.call("MAD", stackloss))
    page = both.read_text()
    assert 'id="call-1-dd"' in page and 'id="call-2-strips"' in page
    with pytest.raises(OSError, match="could not be opened"):
        r.to_html(tmp_path / "no" / "such" / "folder.html")
    with pytest.raises(TypeError, match="holds no call"):
        robmat.report(both, object())


def test_readme_picture_is_what_the_project_draws(hbk_x):
    """docs/hbk-dd.svg, shown by the README, is the DD plot as drawn now (scripts/docs-pictures
    redraws it)."""
    import pathlib
    committed = pathlib.Path(__file__).resolve().parent.parent.parent / "docs" / "hbk-dd.svg"
    assert committed.read_text() == robmat.mcd(hbk_x).svg("dd"), "run scripts/docs-pictures"
