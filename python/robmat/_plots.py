"""The diagnostic plots of a call, for every result object: the figures the host builds (one
declaration per routine serves the HTML report, the notebook pictures and matplotlib alike),
drawn with matplotlib when it is installed, shown as SVG in notebooks, and written as an HTML
report."""

import html

_COLOURS = {"point": "#1f4e79", "flagged": "#c0392b", "band": "#dbe9f6", "series": ("#4c72b0", "#c44e52")}


class PlotsMixin:
    """Plots of a result that keeps the host's result of its call in `handle` (and the names of
    its observations in `row_names`, when it has them)."""

    handle = None
    row_names = None

    def _plot_data(self):
        cached = self.__dict__.get("_plots_cache")
        if cached is None:
            from ._capi import plots_json
            cached = plots_json(self.handle, self.row_names)
            self.__dict__["_plots_cache"] = cached
        return cached

    def plots(self):
        """The figures of the call, as dicts: id, title, x_label, y_label, x_limits, y_limits,
        categories, points (x, y, obs, flagged, labels), lines, curves, bands, notes, and svg
        (the picture). The layout is described in docs/python.md."""
        return list(self._plot_data()["plots"])

    @property
    def plot_notes(self):
        """Sentences on the declared plots that could not be drawn, and why."""
        return list(self._plot_data()["notes"])

    def svg(self, which):
        """The SVG picture of one plot, by id (such as "dd") or position."""
        return _select(self.plots(), which)["svg"]

    def plot(self, which=None, *, axes=None, ncols=2, figsize=None):
        """Draws the plots with matplotlib and returns the matplotlib Figure. which: None for
        every plot, an id ("dd", "distances", "qq", "ellipse", "outlier-map", "residuals",
        "fitted", "strips") or a list of them. axes: matplotlib Axes to draw into, one per plot
        (the figure is then theirs). Nothing is shown: in a notebook the figure displays itself,
        elsewhere call matplotlib.pyplot.show() or savefig."""
        try:
            import matplotlib.pyplot as plt
        except ImportError as e:
            raise ImportError("result.plot() needs matplotlib (Debian: python3-matplotlib; or pip install "
                              "matplotlib); result.to_html(path) and the notebook pictures do not") from e
        figures = self.plots()
        if which is not None:
            figures = [_select(figures, w) for w in ([which] if isinstance(which, (str, int)) else which)]
        if not figures:
            raise ValueError("the call has no plots" + (": " + " ".join(self.plot_notes) if self.plot_notes else ""))
        if axes is None:
            ncols = max(1, min(ncols, len(figures)))
            nrows = (len(figures) + ncols - 1) // ncols
            fig, grid = plt.subplots(nrows, ncols, figsize=figsize or (5.2 * ncols, 4.2 * nrows), squeeze=False)
            axes = list(grid.flat)
            for ax in axes[len(figures):]:
                ax.set_visible(False)
        else:
            axes = list(axes) if hasattr(axes, "__iter__") else [axes]
            if len(axes) < len(figures):
                raise ValueError(f"{len(figures)} plots need {len(figures)} axes, not {len(axes)}")
            fig = axes[0].figure
        for f, ax in zip(figures, axes):
            draw(f, ax)
        if fig is not None and axes and hasattr(fig, "tight_layout"):
            fig.tight_layout()
        return fig

    def _repr_html_(self):
        parts = [f"<div><p><code>{html.escape(repr(self).splitlines()[0])}</code></p>"]
        for f in self.plots():
            parts.append(f["svg"])
        for n in self.plot_notes:
            parts.append(f"<p>{html.escape(n)}</p>")
        return "\n".join(parts) + "</div>"

    def to_html(self, path, title=None):
        """Writes the HTML report of this call to path: one self-contained file with what the
        routine printed and logged, its plots and its results as tables."""
        report(path, self, title=title)


def report(path, *results, title=None):
    """Writes one HTML report of several calls (results of robmat.mcd, robmat.call, ...) to path."""
    from ._capi import write_report
    handles = []
    for r in results:
        h = getattr(r, "handle", None)
        if h is None or not h.pointer:
            raise TypeError(f"{type(r).__name__} holds no call of the module to report")
        if r.row_names is not None:
            r._plot_data()  # the names reach the host's result with the plots
        handles.append(h)
    write_report(path, handles, title)


def _select(figures, which):
    if isinstance(which, int):
        return figures[which]
    for f in figures:
        if f["id"] == which:
            return f
    raise KeyError(f"there is no plot {which!r}; the plots are {', '.join(f['id'] for f in figures) or 'none'}")


def draw(f, ax):
    """Draws one figure (a dict of plots()) into a matplotlib Axes, as the SVG shows it."""
    p = f["points"]
    for b in f["bands"]:
        k = b["category"]
        ax.fill_between([k - 0.35, k + 0.35], b["low"], b["high"], color=_COLOURS["band"], zorder=0)
        ax.plot([k - 0.35, k + 0.35], [b["centre"]] * 2, color=_COLOURS["point"], lw=1.5, zorder=1)
    for line in f["lines"]:
        style = dict(color=_COLOURS["flagged"], ls=(0, (6, 4)), lw=1) if line["role"] == "cutoff" else \
            dict(color="#7f7f7f", ls=":", lw=1)
        if line["kind"] == "horizontal":
            ax.axhline(line["at"], **style)
        elif line["kind"] == "vertical":
            ax.axvline(line["at"], **style)
        else:
            ax.axline((0, 0), slope=1, **style)
    for c in f["curves"]:
        ax.plot(c["x"], c["y"], color=_COLOURS["series"][min(c["series"], 1)], lw=1.5,
                ls="--" if c["series"] == 0 else "-", label=c["label"] or None)
    flagged = p["flagged"]
    regular = [i for i, v in enumerate(flagged) if not v]
    out = [i for i, v in enumerate(flagged) if v]
    for idx, colour in ((regular, _COLOURS["point"]), (out, _COLOURS["flagged"])):
        if idx:
            ax.scatter([p["x"][i] for i in idx], [p["y"][i] for i in idx], s=12, color=colour, alpha=0.75,
                       zorder=3)
    for x, y, label in zip(p["x"], p["y"], p["labels"]):
        if label:
            ax.annotate(label, (x, y), xytext=(3, 3), textcoords="offset points", fontsize=7, color="#7b241c")
    for n in f["notes"]:
        ax.text(n["x"], n["y"], n["text"], ha={"start": "left", "end": "right"}.get(n["anchor"], "center"),
                va="center", fontsize=8, color="#555555", style="italic")
    if f["categories"]:
        ax.set_xticks(range(len(f["categories"])))
        ax.set_xticklabels(f["categories"])
    ax.set_xlim(*f["x_limits"])
    ax.set_ylim(*f["y_limits"])
    ax.set_title(f["title"], fontsize=11, fontweight="bold")
    ax.set_xlabel(f["x_label"])
    ax.set_ylabel(f["y_label"])
    ax.grid(True, color="#e3e3e3", lw=0.8)
    ax.set_axisbelow(True)
    if any(c["label"] for c in f["curves"]):
        ax.legend(loc="upper left", fontsize=8, frameon=False)
