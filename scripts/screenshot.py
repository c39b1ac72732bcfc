#!/usr/bin/python3
"""Saves a window of the X display as a PNG, or says whether a PNG is blank.

  screenshot.py save WINDOW_ID FILE.png   the window (its area of the screen)
  screenshot.py blank FILE.png            exit 0 when the picture has fewer than 3 colours

Uses GDK through PyGObject (python3-gi, gir1.2-gtk-3.0), which the build's
GTK brings; the system's python3, as the distribution's packages install it.
"""
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import Gdk, GdkPixbuf  # noqa: E402


def save(window_id, file):
    display = Gdk.Display.get_default()
    if display is None:
        sys.exit("screenshot.py: no display")
    root = Gdk.get_default_root_window()
    import subprocess
    geometry = dict(
        line.split("=", 1)
        for line in subprocess.run(["xdotool", "getwindowgeometry", "--shell", window_id],
                                   check=True, capture_output=True, text=True).stdout.split())
    x, y = int(geometry["X"]), int(geometry["Y"])
    width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
    x, y = max(0, x), max(0, y)
    width = min(width, root.get_width() - x)
    height = min(height, root.get_height() - y)
    picture = Gdk.pixbuf_get_from_window(root, x, y, width, height)
    if picture is None:
        sys.exit("screenshot.py: the window could not be read")
    picture.savev(file, "png", [], [])


def blank(file):
    picture = GdkPixbuf.Pixbuf.new_from_file(file)
    pixels = picture.get_pixels()
    step = picture.get_n_channels()
    colours = {bytes(pixels[i:i + 3]) for i in range(0, len(pixels) - 2, step * 7)}
    return len(colours) < 3


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "save":
        save(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "blank":
        sys.exit(0 if blank(sys.argv[2]) else 1)
    else:
        sys.exit(__doc__)
