#!/usr/bin/env python3
"""Draws the bitmaps of the built-in skin into this folder (run it after a
change; the bitmaps are kept in the repository). The build packs them with
skin.xml and playlist.xml into default.skn."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from skinart import MAGENTA, Canvas, bmp24, digits_strip, hexrgb  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

GLYPH = hexrgb("#c9ccd3")
GLYPH_HOVER = hexrgb("#ffffff")
GLYPH_PRESSED = hexrgb("#8fb8ff")
GLYPH_DISABLED = hexrgb("#5b5e66")
FACE_HOVER = hexrgb("#3a3d46")
FACE_HOVER_EDGE = hexrgb("#4d515c")
FACE_PRESSED = hexrgb("#15161a")
GROOVE = hexrgb("#111215")


def glyph_play(c, col, dx, dy):
    c.polygon([(6, 4), (6, 14), (14, 9)], col, dx, dy)


def glyph_pause(c, col, dx, dy):
    c.rect(6 + dx, 4 + dy, 7 + dx, 13 + dy, col)
    c.rect(11 + dx, 4 + dy, 12 + dx, 13 + dy, col)


def glyph_stop(c, col, dx, dy):
    c.rect(5 + dx, 5 + dy, 13 + dx, 12 + dy, col)


def glyph_prev(c, col, dx, dy):
    c.rect(4 + dx, 5 + dy, 5 + dx, 12 + dy, col)
    c.polygon([(10, 4.5), (10, 13.5), (5.5, 9)], col, dx, dy)
    c.polygon([(14.5, 4.5), (14.5, 13.5), (10, 9)], col, dx, dy)


def glyph_next(c, col, dx, dy):
    c.rect(13 + dx, 5 + dy, 14 + dx, 12 + dy, col)
    c.polygon([(8.5, 4.5), (8.5, 13.5), (13, 9)], col, dx, dy)
    c.polygon([(4, 4.5), (4, 13.5), (8.5, 9)], col, dx, dy)


def glyph_mute(c, col, dx, dy):
    c.rect(3 + dx, 7 + dy, 5 + dx, 10 + dy, col)
    c.polygon([(5, 7), (10, 3), (10, 15), (5, 11)], col, dx, dy)
    c.rect(12 + dx, 7 + dy, 12 + dx, 10 + dy, col)
    c.rect(14 + dx, 5 + dy, 14 + dx, 12 + dy, col)


def glyph_open(c, col, dx, dy):
    c.polygon([(4, 10), (15, 10), (9.5, 4)], col, dx, dy)
    c.rect(4 + dx, 12 + dy, 14 + dx, 13 + dy, col)


def glyph_list(c, col, dx, dy):
    for y in (5, 8, 11):
        c.rect(4 + dx, y + dy, 5 + dx, y + 1 + dy, col)
        c.rect(7 + dx, y + dy, 14 + dx, y + 1 + dy, col)


BUTTONS = {
    "play.bmp": glyph_play, "pause.bmp": glyph_pause, "prev.bmp": glyph_prev,
    "next.bmp": glyph_next, "stop.bmp": glyph_stop, "mute.bmp": glyph_mute,
    "open.bmp": glyph_open, "playlist.bmp": glyph_list,
}


DARK = {"glyph": GLYPH, "hover": GLYPH_HOVER, "pressed": GLYPH_PRESSED, "disabled": GLYPH_DISABLED,
        "face": FACE_HOVER, "edge": FACE_HOVER_EDGE, "down": FACE_PRESSED}


def button_strip(glyph, fw=19, fh=18, look=DARK):
    """Four frames: normal, hover (lighter face), pressed (shifted by one
    pixel), disabled (grey)."""
    c = Canvas(fw * 4, fh)
    glyph(c, look["glyph"], 0, 0)
    c.round_rect(fw + 1, 1, 2 * fw - 2, fh - 2, look["edge"])
    c.round_rect(fw + 2, 2, 2 * fw - 3, fh - 3, look["face"])
    glyph(c, look["hover"], fw, 0)
    c.round_rect(2 * fw + 1, 1, 3 * fw - 2, fh - 2, look["down"])
    glyph(c, look["pressed"], 2 * fw + 1, 1)
    glyph(c, look["disabled"], 3 * fw, 0)
    return c


def player_bar():
    c = Canvas(200, 30)
    c.vgradient(0, 0, 199, 29, hexrgb("#30323a"), hexrgb("#1a1b1f"))
    c.rect(0, 0, 199, 4, GROOVE)                    # progress groove
    c.rect(0, 5, 199, 5, hexrgb("#3a3d46"))         # its lower edge
    c.rect(0, 25, 199, 27, GROOVE)                  # volume groove
    c.rect(0, 28, 199, 28, hexrgb("#2c2e35"))
    c.rect(0, 6, 0, 24, hexrgb("#40434d"))          # left edge highlight
    for x, y in ((0, 0), (1, 0), (0, 1), (0, 29), (1, 29), (0, 28)):
        c.set(x, y, MAGENTA)                        # rounded left corners
    c.rect(199, 0, 199, 29, MAGENTA)                # the right end
    return c


def fill(w, h, colours):
    c = Canvas(w, h)
    for y, col in enumerate(colours):
        c.rect(0, y, w - 1, y, hexrgb(col))
    return c


def playlist_skin():
    c = Canvas(272, 74)
    c.rect(0, 0, 271, 73, hexrgb("#202126"))
    c.vgradient(0, 0, 271, 16, hexrgb("#363841"), hexrgb("#26272d"))
    c.rect(0, 17, 271, 17, hexrgb("#15161a"))
    c.rect(3, 18, 267, 42, hexrgb("#2d2d2d"))       # the list area
    c.rect(2, 43, 268, 43, hexrgb("#15161a"))
    c.rect(6, 6, 9, 9, hexrgb("#8fb8ff"))           # a small mark in the title bar
    for x, y in ((0, 0), (1, 0), (0, 1), (271, 0), (270, 0), (271, 1),
                 (0, 73), (1, 73), (0, 72), (271, 73), (270, 73), (271, 72)):
        c.set(x, y, MAGENTA)
    return c


def close_strip():
    c = Canvas(52, 13)
    faces = [None, hexrgb("#c0392b"), hexrgb("#8e2a20"), None]
    glyphs = [hexrgb("#a0a3ab"), hexrgb("#ffffff"), hexrgb("#e0e0e0"), GLYPH_DISABLED]
    for i in range(4):
        if faces[i]:
            c.round_rect(i * 13, 0, i * 13 + 12, 12, faces[i])
        for k in range(7):
            c.set(i * 13 + 3 + k, 3 + k, glyphs[i])
            c.set(i * 13 + 9 - k, 3 + k, glyphs[i])
    return c


def toolbar(hot):
    cw = 212 // 7
    c = Canvas(212, 18)
    col = GLYPH_HOVER if hot else GLYPH
    for i in range(7):
        x = i * cw
        if hot:
            c.round_rect(x + 1, 0, x + cw - 2, 17, FACE_HOVER)
        cx = x + cw // 2
        if i == 0:    # add
            c.rect(cx - 4, 8, cx + 4, 9, col); c.rect(cx - 1, 5, cx, 12, col)
        elif i == 1:  # delete
            c.rect(cx - 4, 8, cx + 4, 9, col)
        elif i == 2:  # list
            for y in (4, 8, 12):
                c.rect(cx - 5, y, cx + 5, y + 1, col)
        elif i == 3:  # sort
            c.polygon([(cx - 5, 8), (cx - 1, 8), (cx - 3, 4)], col)
            c.polygon([(cx + 1, 10), (cx + 5, 10), (cx + 3, 14)], col)
            c.rect(cx - 4, 8, cx - 3, 13, col); c.rect(cx + 2, 4, cx + 3, 10, col)
        elif i == 4:  # find
            c.rect(cx - 4, 4, cx + 1, 4, col); c.rect(cx - 4, 9, cx + 1, 9, col)
            c.rect(cx - 4, 4, cx - 4, 9, col); c.rect(cx + 1, 4, cx + 1, 9, col)
            for k in range(4):
                c.set(cx + 2 + k, 10 + k, col)
        elif i == 5:  # edit
            for k in range(9):
                c.set(cx - 4 + k, 13 - k, col); c.set(cx - 3 + k, 13 - k, col)
        else:         # mode
            c.rect(cx - 5, 5, cx + 5, 5, col); c.rect(cx - 5, 12, cx + 5, 12, col)
            c.rect(cx - 5, 5, cx - 5, 12, col); c.rect(cx + 5, 5, cx + 5, 10, col)
            c.polygon([(cx + 2, 9), (cx + 8, 9), (cx + 5, 13)], col)
    return c


def scroll_buttons():
    c = Canvas(33, 20)
    faces = [hexrgb("#2b2d33"), hexrgb("#3a3d46"), hexrgb("#15161a")]
    for i in range(3):
        x = i * 11
        c.rect(x, 0, x + 10, 19, faces[i])
        col = GLYPH_PRESSED if i == 2 else GLYPH if i == 0 else GLYPH_HOVER
        c.polygon([(x + 2, 7), (x + 9, 7), (x + 5.5, 3)], col)
        c.polygon([(x + 2, 13), (x + 9, 13), (x + 5.5, 17)], col)
    return c


def scroll_thumb():
    c = Canvas(33, 20)
    for i, col in enumerate(("#4a4d57", "#5d616d", "#3b3e46")):
        c.round_rect(i * 11 + 1, 0, i * 11 + 9, 19, hexrgb(col))
    return c


def scroll_bar():
    c = Canvas(11, 11, hexrgb("#1d1e22"))
    c.rect(5, 0, 5, 10, hexrgb("#2a2c32"))
    return c


def main(out=HERE):
    files = {name: button_strip(g) for name, g in BUTTONS.items()}
    files["player_bar.bmp"] = player_bar()
    files["number32.bmp"] = digits_strip(hexrgb("#7fd0ff"))
    files["fill_mini.bmp"] = fill(29, 5, ["#8fc3ff", "#5a9cf5", "#3f84e6", "#306fcc", "#275aa3"])
    files["volume_fill.bmp"] = fill(10, 4, ["#8be6bb", "#52d198", "#36b87c", "#2a9665"])
    files["playlist_skin.bmp"] = playlist_skin()
    files["close.bmp"] = close_strip()
    files["playlist_toolbar.bmp"] = toolbar(False)
    files["playlist_toolbar_hover.bmp"] = toolbar(True)
    files["scrollbar_button.bmp"] = scroll_buttons()
    files["scrollbar_thumb.bmp"] = scroll_thumb()
    files["scrollbar_bar.bmp"] = scroll_bar()
    for name, canvas in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bmp24(canvas))


if __name__ == "__main__":
    main(*sys.argv[1:])
