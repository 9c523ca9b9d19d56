"""Draws what the Grafana dashboard's queries return from a Prometheus, one chart per panel, into a
PNG: Grafana is not packaged in Debian, so this is how its dashboard is seen without it."""
import re
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


# Grafana's unit names as a reader writes them.
UNITS = {"volt": "V", "amp": "A", "hertz": "Hz", "watt": "W", "kwatth": "kWh", "reqps": "per second", "s": "s"}


def legend(template, labels):
    return re.sub(r"\{\{\s*(\w+)\s*\}\}", lambda m: labels.get(m.group(1), ""), template or "") or \
        ",".join(f"{k}={v}" for k, v in labels.items() if k not in ("__name__", "job", "instance"))


def draw(dashboard, query_range, expression_of, path, seconds):
    """query_range(expr, start, end, step) gives Prometheus' result list for one expression (empty when
    it was refused); returns the panels' queries that gave nothing, as "title: query"."""
    panels = dashboard["panels"]
    columns = 3
    rows = (len(panels) + columns - 1) // columns
    figure, axes = plt.subplots(rows, columns, figsize=(15, 2.6 * rows), squeeze=False)
    end, empty = time.time(), []
    for axis, panel in zip(axes.flat, panels):
        unit = UNITS.get(panel.get("fieldConfig", {}).get("defaults", {}).get("unit", ""), "")
        axis.set_title(panel["title"] + (f" ({unit})" if unit and f"({unit})" not in panel["title"] else ""), fontsize=10)
        for target in panel["targets"]:
            result = query_range(expression_of(target["expr"]), end - seconds, end, 1)
            if not result:
                empty.append(f"{panel['title']}: {target['expr']}")
            for series in result:
                points = [(float(t) - end, float(v)) for t, v in series["values"]]
                axis.plot([t for t, _ in points], [v for _, v in points],
                          label=legend(target.get("legendFormat"), series["metric"]))
        axis.tick_params(labelsize=8)
        axis.set_xlabel("seconds", fontsize=8)
        if axis.lines:
            axis.legend(fontsize=7, loc="best")
    for axis in list(axes.flat)[len(panels):]:
        axis.axis("off")
    figure.tight_layout()
    figure.savefig(path, dpi=80)
    plt.close(figure)
    return empty
