#!/usr/bin/python3
"""Draws the five editor images of Quorvex 2 into effect/img/.

    tools/artwork/make_artwork.py                   write the images
    tools/artwork/make_artwork.py --preview out.png also compose a preview

Needs Debian's python3-pil, python3-numpy, fonts-liberation and
fonts-dejavu-core. The output is byte-for-byte reproducible for a given
Pillow/FreeType/zlib (fixed noise seeds, no time stamps in the PNGs), so
re-running it on the same distribution leaves the committed files unchanged.

Every shape is rendered at SS times the final size and box-filtered down, in
premultiplied alpha, so edges are anti-aliased the same way everywhere. One
light source sits above and to the left: highlights face up-left, shadows fall
down-right.

Sections: drawing helpers, shared parts, the five images, preview, main.
"""

import argparse
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

SS = 4  # supersampling factor

# Editor geometry the artwork has to line up with (editor pixels).
W, H = 545, 210
TITLE = (175, 6, 367, 53)
RATE_C, RATE_FRAME, RATE_FRAMES = (88, 118), 82, 25
SMALL_CS, SMALL_FRAME = ((279, 130), (379, 130)), 62
RADIO_XY, RADIO_W, RADIO_H = (140, 75), 78, 17
RADIO_LABELS = ("Triplet", "Dotted", "Normal", "Triplet 2", "Dotted 2")
SLIDERS = ((434, 82, 472, 183), (478, 82, 516, 183))
SLIDER_LEN, HANDLE = 84, 18
BAR_RGB, BAR_W = (66, 110, 170), 10
KNOB_TEXT_Y = (174, 190)
SWEEP = 150.0  # degrees either side of straight up

# Palette.
ACCENT = np.array((92, 156, 236), float)
ACCENT_HOT = np.array((190, 222, 255), float)
CAPTION = np.array((196, 201, 209), float)
INK = np.array((14, 15, 17), float)


# ---------------------------------------------------------------------------
# Drawing helpers
# ---------------------------------------------------------------------------

_fonts = {}


def font(name, px):
    # Pillow finds a bare file name in the system font folders.
    key = (name, px)
    if key not in _fonts:
        try:
            _fonts[key] = ImageFont.truetype(name, px)
        except OSError:
            sys.exit("font %s not found; install fonts-liberation and fonts-dejavu-core" % name)
    return _fonts[key]


class Layer:
    """Premultiplied RGBA in floats 0..1 at SS resolution, w x h editor pixels."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = np.zeros((h * SS, w * SS, 4), np.float64)
        ys = (np.arange(h * SS) + 0.5) / SS
        xs = (np.arange(w * SS) + 0.5) / SS
        self.X, self.Y = np.meshgrid(xs, ys)

    def over(self, cov, rgb, alpha=1.0):
        """Paints colour rgb (0..255, constant or per pixel) through coverage cov."""
        a = np.clip(cov * alpha, 0.0, 1.0)[..., None]
        rgb = np.asarray(rgb, float) / 255.0
        if rgb.ndim == 1:
            rgb = rgb[None, None, :]
        src = np.concatenate([np.broadcast_to(rgb, a.shape[:2] + (3,)) * a, a], axis=2)
        self.px = src + self.px * (1.0 - a)

    def to_image(self):
        h, w = self.h, self.w
        p = self.px.reshape(h, SS, w, SS, 4).mean(axis=(1, 3))
        a = p[..., 3]
        rgb = np.where(a[..., None] > 1e-6, p[..., :3] / np.maximum(a, 1e-6)[..., None], 0.0)
        out = np.concatenate([rgb, a[..., None]], axis=2)
        return Image.fromarray(np.round(np.clip(out, 0, 1) * 255).astype(np.uint8), "RGBA")


def cov_from_dist(d):
    # One supersample of ramp; the box filter does the rest.
    return np.clip(0.5 - d * SS, 0.0, 1.0)


def circle_d(L, cx, cy, r):
    return np.hypot(L.X - cx, L.Y - cy) - r


def rrect_d(L, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx = np.abs(L.X - cx) - hx
    qy = np.abs(L.Y - cy) - hy
    out = np.hypot(np.maximum(qx, 0), np.maximum(qy, 0))
    return out + np.minimum(np.maximum(qx, qy), 0) - r


def segment_d(L, x0, y0, x1, y1, half_width):
    px, py = L.X - x0, L.Y - y0
    dx, dy = x1 - x0, y1 - y0
    t = np.clip((px * dx + py * dy) / (dx * dx + dy * dy), 0, 1)
    return np.hypot(px - t * dx, py - t * dy) - half_width


def box_blur(a, r):
    """Three box passes (about a Gaussian of sigma ~ r) along both axes."""
    r = max(1, int(r))
    for _ in range(3):
        for axis in (0, 1):
            pad = [(0, 0)] * a.ndim
            pad[axis] = (r + 1, r)
            c = np.cumsum(np.pad(a, pad, mode="edge"), axis=axis)
            n = a.shape[axis]
            hi = np.take(c, np.arange(2 * r + 1, 2 * r + 1 + n), axis=axis)
            lo = np.take(c, np.arange(0, n), axis=axis)
            a = (hi - lo) / (2 * r + 1)
    return a


def shadow(L, cov, dx, dy, blur, alpha):
    """Soft shadow of a shape, cast down-right by the one light."""
    s = np.roll(np.roll(cov, int(round(dy * SS)), axis=0), int(round(dx * SS)), axis=1)
    L.over(box_blur(s, blur * SS), (0, 0, 0), alpha)


def light(L, cx, cy, r):
    """Shading term -1..1 across a disc or box: +1 toward the light (up-left)."""
    nx, ny = (L.X - cx) / r, (L.Y - cy) / r
    return np.clip(-(nx + ny) / math.sqrt(2), -1, 1)


def text_mask(L, text, fname, px, x, y, anchor="ms", tracking=0.0):
    """Coverage of a text drawn at SS size; (x, y) in editor pixels."""
    img = Image.new("L", (L.w * SS, L.h * SS), 0)
    d = ImageDraw.Draw(img)
    f = font(fname, int(round(px * SS)))
    if tracking == 0.0:
        d.text((x * SS, y * SS), text, font=f, fill=255, anchor=anchor)
    else:
        widths = [f.getlength(ch) for ch in text]
        total = sum(widths) + tracking * SS * (len(text) - 1)
        cx = x * SS - (total / 2 if anchor[0] == "m" else 0)
        for ch, w in zip(text, widths):
            d.text((cx, y * SS), ch, font=f, fill=255, anchor="l" + anchor[1])
            cx += w + tracking * SS
    return np.asarray(img, np.float64) / 255.0


def printed_text(L, text, fname, px, x, y, rgb, anchor="ms", tracking=0.0, alpha=1.0):
    """Silk-screened text: a faint dark edge below keeps it crisp on the panel."""
    m = text_mask(L, text, fname, px, x, y, anchor, tracking)
    L.over(np.roll(m, SS // 2 + 1, axis=0), (0, 0, 0), 0.55 * alpha)
    L.over(m, rgb, alpha)


def noise(shape, seed):
    return np.random.default_rng(seed).standard_normal(shape)


def streaks(shape, seed, stretch):
    """Noise drawn out horizontally, like a brushed or rolled finish."""
    h, w = shape
    n = box_blur(noise((h, -(-w // stretch)), seed), 1)
    return np.repeat(n, stretch, axis=1)[:, :w]


SANS = "LiberationSans-Regular.ttf"
SANS_BOLD = "LiberationSans-Bold.ttf"
TITLE_FONT = "DejaVuSans-Bold.ttf"


# ---------------------------------------------------------------------------
# Shared parts
# ---------------------------------------------------------------------------

def ticks(L, cx, cy, r0, r1, count, major, width, rgb, alpha):
    for i in range(count):
        a = math.radians(-SWEEP + 2 * SWEEP * i / (count - 1))
        big = i in major
        ra = r0 - (1.5 if big else 0)
        s, c = math.sin(a), -math.cos(a)
        d = segment_d(L, cx + ra * s, cy + ra * c, cx + r1 * s, cy + r1 * c,
                      width * (1.3 if big else 1.0))
        L.over(cov_from_dist(d), rgb, alpha * (1.0 if big else 0.7))


def recess(L, x0, y0, x1, y1, r, fill=INK, depth=1.0):
    """A slot cut into the panel: dark floor, shadow under the upper-left lip,
    a catch light on the lower-right lip."""
    outer = cov_from_dist(rrect_d(L, x0, y0, x1, y1, r))
    L.over(cov_from_dist(rrect_d(L, x0, y0 + 0.6, x1, y1 + 0.6, r)), (255, 255, 255), 0.06 * depth)
    L.over(outer, fill)
    inner_shadow = outer * (1 - np.roll(np.roll(outer, 2 * SS, axis=0), 2 * SS, axis=1))
    L.over(box_blur(inner_shadow, SS), (0, 0, 0), 0.8 * depth)


def knob_body(L, cx, cy, r, ridges=0, turn=0.0, face_scale=0.84):
    """Anodised knob seen from above: a knurled skirt and a satin top face."""
    body = cov_from_dist(circle_d(L, cx, cy, r))
    shadow(L, body, 1.6, 2.4, 2.2, 0.75)
    shadow(L, body, 0.6, 0.9, 0.7, 0.5)
    lt = light(L, cx, cy, r)
    skirt = 34 + 20 * lt
    if ridges:
        ang = np.arctan2(L.Y - cy, L.X - cx) - math.radians(turn)
        skirt = skirt + 7 * np.cos(ang * ridges) * (0.6 + 0.4 * lt)
    L.over(body, np.stack([skirt, skirt + 1, skirt + 3], -1))
    # bright rim where the skirt meets the light
    rim = cov_from_dist(np.abs(circle_d(L, cx, cy, r - 0.6)) - 0.45)
    L.over(rim * np.clip(lt, 0, 1), (200, 206, 214), 0.55)
    rf = r * face_scale
    face = cov_from_dist(circle_d(L, cx, cy, rf))
    # the face is a shallow dome: lit up-left, falling off down-right
    lf = light(L, cx - rf * 0.25, cy - rf * 0.25, rf * 1.4)
    dist = np.hypot(L.X - cx, L.Y - cy) / rf
    spun = 2.2 * np.cos(dist * 90.0)  # machined rings
    tone = 44 + 16 * lf + spun - 6 * np.clip(dist, 0, 1) ** 2
    L.over(face, np.stack([tone, tone + 1.5, tone + 4], -1))
    edge = cov_from_dist(np.abs(circle_d(L, cx, cy, rf)) - 0.35)
    L.over(edge * np.clip(-lt, 0, 1), (0, 0, 0), 0.6)
    L.over(edge * np.clip(lt, 0, 1), (230, 235, 242), 0.35)


def screw(L, cx, cy, r=3.8):
    head = cov_from_dist(circle_d(L, cx, cy, r))
    shadow(L, head, 0.6, 0.8, 0.6, 0.6)
    lt = light(L, cx, cy, r)
    tone = 92 + 46 * lt
    L.over(head, np.stack([tone, tone + 2, tone + 5], -1))
    for a in (math.radians(30), math.radians(120)):
        s, c = math.sin(a) * r * 0.72, math.cos(a) * r * 0.72
        L.over(cov_from_dist(segment_d(L, cx - s, cy - c, cx + s, cy + c, 0.45)), (22, 23, 26), 0.9)


def button_face(L, x, y, label, selected):
    x0, y0, x1, y1 = x + 1, y + 1, x + RADIO_W - 1, y + RADIO_H - 1
    d = rrect_d(L, x0, y0, x1, y1, 3.0)
    face = cov_from_dist(d)
    t = np.clip((L.Y - y0) / (y1 - y0), 0, 1)
    if selected:
        base = np.stack([30 + 22 * (1 - t), 44 + 26 * (1 - t), 66 + 34 * (1 - t)], -1)
    else:
        base = np.stack([40 + 14 * (1 - t), 42 + 14 * (1 - t), 46 + 15 * (1 - t)], -1)
    L.over(face, base)
    top = cov_from_dist(np.abs(d + 0.5) - 0.5) * (L.Y < y0 + 3)
    L.over(top, (255, 255, 255), 0.22 if selected else 0.12)
    L.over(cov_from_dist(np.abs(d) - 0.5) * (L.Y > y1 - 3), (0, 0, 0), 0.5)
    # status light at the left end
    lx, ly = x0 + 8, (y0 + y1) / 2
    if selected:
        L.over(box_blur(cov_from_dist(circle_d(L, lx, ly, 2.4)), 2.2 * SS), ACCENT, 0.9)
        L.over(cov_from_dist(circle_d(L, lx, ly, 2.2)), ACCENT_HOT)
    else:
        L.over(cov_from_dist(circle_d(L, lx, ly, 2.3)), (16, 17, 19))
        L.over(cov_from_dist(circle_d(L, lx - 0.5, ly - 0.6, 1.0)), (90, 94, 100), 0.35)
    rgb = (244, 248, 255) if selected else (150, 156, 166)
    tx = (x0 + 14 + x1) / 2
    m = text_mask(L, label, SANS_BOLD, 10.5, tx, ly + 3.7)
    L.over(np.roll(m, SS // 2, axis=0), (0, 0, 0), 0.6)
    L.over(m, rgb)


# ---------------------------------------------------------------------------
# The five images
# ---------------------------------------------------------------------------

def make_background():
    L = Layer(W, H)
    # matte graphite panel lit from the top-left, with a fine horizontal grain
    lt = np.clip(1.0 - (L.X / W * 0.55 + L.Y / H * 0.75), 0, 1)
    grain = box_blur(noise((H * SS, W * SS), 7), 1)
    grain = streaks((H * SS, W * SS), 8, 16) * 0.8 + grain * 0.5
    tone = 24 + 17 * lt + 1.6 * grain
    L.over(np.ones_like(L.X), np.stack([tone, tone + 1.5, tone + 4.0], -1))
    # outer bevel
    L.over(((L.Y < 1) | (L.X < 1)).astype(float), (255, 255, 255), 0.10)
    L.over(((L.Y > H - 1) | (L.X > W - 1)).astype(float), (0, 0, 0), 0.6)

    # control deck: a lowered field holding every control
    deck = (8, 58, W - 8, 203)
    recess(L, *deck, 6, fill=(25, 26, 29), depth=0.55)
    dt = np.clip((L.Y - deck[1]) / (deck[3] - deck[1]), 0, 1)
    dcov = cov_from_dist(rrect_d(L, deck[0] + 1.5, deck[1] + 1.5, deck[2] - 1, deck[3] - 1, 5))
    dtone = 30 - 8 * dt + 1.2 * grain
    L.over(dcov, np.stack([dtone, dtone + 1.5, dtone + 4], -1), 0.9)
    for x in (229.5, 425.5):  # group dividers, engraved
        L.over(cov_from_dist(np.abs(L.X - x) - 0.5) * (L.Y > 68) * (L.Y < 193), (0, 0, 0), 0.55)
        L.over(cov_from_dist(np.abs(L.X - x - 1) - 0.5) * (L.Y > 68) * (L.Y < 193), (255, 255, 255), 0.05)

    # captions, one baseline
    # captions: one baseline, except the two small knobs sit lower and keep
    # their captions close
    cap_y = 71.5
    for text, cx, y in (("Delay Rate", RATE_C[0], cap_y), ("Ping Pong", RADIO_XY[0] + RADIO_W / 2, cap_y),
                        ("Pan Width", SMALL_CS[0][0], 91.5), ("Feedback", SMALL_CS[1][0], 91.5),
                        ("Dry Mix", (SLIDERS[0][0] + SLIDERS[0][2]) / 2, cap_y),
                        ("Wet Mix", (SLIDERS[1][0] + SLIDERS[1][2]) / 2, cap_y)):
        printed_text(L, text, SANS_BOLD, 10.5, cx, y, CAPTION)

    # Delay Rate: 25 steps, ticks just outside the knob's own arc
    cx, cy = RATE_C
    ticks(L, cx, cy, 36.0, 39.5, RATE_FRAMES, (0, 12, 24), 0.45, (170, 176, 186), 0.8)

    # Pan Width and Feedback: a groove the dot runs in, and an 11-step scale
    for cx, cy in SMALL_CS:
        groove = cov_from_dist(np.abs(circle_d(L, cx, cy, 24.5)) - 3.0)
        L.over(groove, (19, 20, 23), 0.85)
        L.over(box_blur(groove * (light(L, cx, cy, 25) > 0) * 1.0, SS) * groove, (0, 0, 0), 0.5)
        ticks(L, cx, cy, 29.5, 32.5, 11, (0, 5, 10), 0.45, (170, 176, 186), 0.8)

    # Ping Pong: the unselected faces sit in a recessed tray
    rx, ry = RADIO_XY
    recess(L, rx - 1, ry - 1, rx + RADIO_W + 1, ry + 5 * RADIO_H + 1, 4, fill=(12, 13, 15), depth=0.8)
    for i, label in enumerate(RADIO_LABELS):
        button_face(L, rx, ry + i * RADIO_H, label, False)

    # sliders: a slot for the bar and a scale beside it, both ends marked
    for x0, y0, x1, y1 in SLIDERS:
        bx = (x0 + x1) / 2
        recess(L, bx - 6.5, y0 + 3, bx + 6.5, y0 + SLIDER_LEN, 3, fill=(11, 12, 14))
        for i in range(11):
            ty = y0 + HANDLE / 2 + (SLIDER_LEN - HANDLE) * i / 10.0
            big = i in (0, 5, 10)
            for side in (-1, 1):
                xa = bx + side * 10.5
                xb = bx + side * (14.5 if big else 12.8)
                L.over(cov_from_dist(segment_d(L, xa, ty, xb, ty, 0.42)), (170, 176, 186), 0.85 if big else 0.55)

    # value windows, dark and plain under the editor's white text
    for cx, _ in (RATE_C,) + SMALL_CS:
        half = 31 if cx != RATE_C[0] else 34
        recess(L, cx - half, KNOB_TEXT_Y[0] - 1, cx + half, KNOB_TEXT_Y[1] + 1, 3)
    # a little wider than the sliders, so that "100%" stays inside
    for x0, y0, x1, y1 in SLIDERS:
        recess(L, x0 - 2, y1 - 16 - 1, x1 + 2, y1 + 1, 3)

    # title plate: brushed aluminium with the name engraved
    tx0, ty0, tx1, ty1 = TITLE
    plate = cov_from_dist(rrect_d(L, tx0 + 0.5, ty0 + 0.5, tx1 - 0.5, ty1 - 0.5, 4))
    shadow(L, plate, 1.5, 2.0, 1.8, 0.7)
    brush = streaks((H * SS, W * SS), 11, 24)
    pl = light(L, (tx0 + tx1) / 2, (ty0 + ty1) / 2, (tx1 - tx0) / 2)
    ptone = 150 + 24 * pl + 5 * brush
    L.over(plate, np.stack([ptone, ptone + 3, ptone + 7], -1))
    pd = rrect_d(L, tx0 + 0.5, ty0 + 0.5, tx1 - 0.5, ty1 - 0.5, 4)
    L.over(cov_from_dist(np.abs(pd + 0.5) - 0.5) * (L.Y < ty0 + 3), (255, 255, 255), 0.6)
    L.over(cov_from_dist(np.abs(pd + 0.5) - 0.5) * (L.Y > ty1 - 3), (0, 0, 0), 0.5)
    mid = (tx0 + tx1) / 2
    for text, fname, px, y, track, rgb in (("Quorvex 2", TITLE_FONT, 21, ty0 + 28.5, 0.6, (28, 30, 34)),
                                            ("Vantu", SANS_BOLD, 9.5, ty0 + 41.5, 2.2, (60, 64, 72))):
        m = text_mask(L, text, fname, px, mid, y, "ms", track)
        L.over(np.roll(m, SS // 2, axis=0) * plate, (255, 255, 255), 0.55)  # engraved lip
        L.over(m * plate, rgb)
    for sx in (tx0 + 8, tx1 - 8):
        for sy in (ty0 + 8, ty1 - 8):
            screw(L, sx, sy, 2.6)

    for sx, sy in ((14, 14), (W - 14, 14)):
        screw(L, sx, sy)
    # quiet strap lines either side of the plate
    for text, cx in (("PING-PONG DELAY", (24 + tx0) / 2), ("TEMPO SYNC  \u00b7  STEREO", (tx1 + W - 24) / 2)):
        printed_text(L, text, SANS_BOLD, 8.5, cx, 33.5, (128, 134, 144), tracking=1.6)

    img = L.to_image()
    return img


def make_rate_knob():
    f = RATE_FRAME
    strip = Image.new("RGBA", (f * RATE_FRAMES, f))
    c = f / 2
    for i in range(RATE_FRAMES):
        L = Layer(f, f)
        deg = -SWEEP + 2 * SWEEP * i / (RATE_FRAMES - 1)
        # value arc: dark track with the lit part up to the pointer
        rr, hw = 31.0, 1.7
        ang = np.degrees(np.arctan2(L.X - c, -(L.Y - c)))
        ring = cov_from_dist(np.abs(np.hypot(L.X - c, L.Y - c) - rr) - hw)
        on_track = cov_from_dist((np.abs(ang) - SWEEP) / 57.3 * rr)
        L.over(ring * on_track, (17, 18, 21))
        lit = cov_from_dist((ang - deg) / 57.3 * rr) * on_track
        glow = box_blur(ring * lit, 2.5 * SS)
        L.over(glow, ACCENT, 0.55)
        L.over(ring * lit, ACCENT)
        L.over(cov_from_dist(np.abs(np.hypot(L.X - c, L.Y - c) - rr) - hw * 0.35) * lit, ACCENT_HOT, 0.6)
        knob_body(L, c, c, 25.0, ridges=48, turn=deg)
        # pointer
        a = math.radians(deg)
        s, co = math.sin(a), -math.cos(a)
        d = segment_d(L, c + 9 * s, c + 9 * co, c + 19.5 * s, c + 19.5 * co, 1.25)
        L.over(box_blur(cov_from_dist(d), SS), (0, 0, 0), 0.6)
        L.over(cov_from_dist(d), (236, 240, 246))
        strip.paste(L.to_image(), (i * f, 0))
    return strip


def make_small_knob():
    f = SMALL_FRAME
    c = f / 2
    dot = Layer(f, f)
    # the dot, straight up in the groove; the editor turns it about the centre.
    # As wide as the groove lets it be, so the setting reads at a glance.
    dy = c - 24.5
    dot.over(box_blur(cov_from_dist(circle_d(dot, c, dy, 3.4)), 2.0 * SS), ACCENT, 0.9)
    dot.over(cov_from_dist(circle_d(dot, c, dy, 2.9)), ACCENT_HOT)
    cap = Layer(f, f)
    knob_body(cap, c, c, 19.0, face_scale=0.8)
    out = Image.new("RGBA", (2 * f, f))
    out.paste(dot.to_image(), (0, 0))
    out.paste(cap.to_image(), (f, 0))
    return out


def make_slider_handle():
    L = Layer(HANDLE, HANDLE)
    d = rrect_d(L, 0.5, 1.0, HANDLE - 0.5, HANDLE - 1.0, 3.0)
    body = cov_from_dist(d)
    lt = light(L, HANDLE / 2, HANDLE / 2, HANDLE / 2)
    t = (L.Y - 1) / (HANDLE - 2)
    tone = 176 + 36 * (1 - t) + 10 * lt
    L.over(body, np.stack([tone, tone + 2, tone + 6], -1))
    L.over(cov_from_dist(np.abs(d) - 0.5), (20, 22, 26), 0.85)
    L.over(cov_from_dist(np.abs(d + 1.0) - 0.45) * (L.Y < 6), (255, 255, 255), 0.7)
    # centre line marks the value; it lines up with the bar's end
    mid = HANDLE / 2
    L.over(cov_from_dist(np.abs(L.Y - (mid - 0.5)) - 0.5) * (np.abs(L.X - mid) < 6.5), (40, 46, 56))
    L.over(cov_from_dist(np.abs(L.Y - (mid + 0.5)) - 0.5) * (np.abs(L.X - mid) < 6.5), (255, 255, 255), 0.55)
    return L.to_image()


def make_radio():
    L = Layer(RADIO_W, 5 * RADIO_H)
    for i, label in enumerate(RADIO_LABELS):
        button_face(L, 0, i * RADIO_H, label, True)
    return L.to_image()


# ---------------------------------------------------------------------------
# Preview: the editor at one setting, drawn as the controls would draw it
# ---------------------------------------------------------------------------

def compose(images, rate_frame, radio, small, sliders, texts):
    bg = images["bg.png"].copy()
    knob = images["knob.png"]
    bg.alpha_composite(knob.crop((rate_frame * RATE_FRAME, 0, (rate_frame + 1) * RATE_FRAME, RATE_FRAME)),
                       (RATE_C[0] - RATE_FRAME // 2, RATE_C[1] - RATE_FRAME // 2))
    radio_img = images["radio.png"]
    rx, ry = RADIO_XY
    bg.alpha_composite(radio_img.crop((0, radio * RADIO_H, RADIO_W, (radio + 1) * RADIO_H)),
                       (rx, ry + radio * RADIO_H))
    k2 = images["knob2.png"]
    f = SMALL_FRAME
    for (cx, cy), v in zip(SMALL_CS, small):
        dot = k2.crop((0, 0, f, f)).rotate(-(v - 0.5) * 2 * SWEEP, Image.BILINEAR)
        bg.alpha_composite(dot, (cx - f // 2, cy - f // 2))
        bg.alpha_composite(k2.crop((f, 0, 2 * f, f)), (cx - f // 2, cy - f // 2))
    d = ImageDraw.Draw(bg)
    handle = images["slider.png"]
    travel = SLIDER_LEN - HANDLE
    for (x0, y0, x1, y1), v in zip(SLIDERS, sliders):
        bx = (x0 + x1) / 2
        tl = int(bx - HANDLE / 2 + 0.5)
        fpos = travel * (1 - v)
        top = int(fpos + y0 + 0.5)
        bar_top = int(HANDLE // 2 + y0 + fpos + 0.5)
        d.rectangle((int(bx - BAR_W // 2 + 0.5), bar_top, int(bx + BAR_W // 2 + 0.5) - 1, y0 + SLIDER_LEN - 2),
                    fill=BAR_RGB + (255,))
        bg.alpha_composite(handle, (tl, top))
    vf = font(SANS, 16)
    layer = Image.new("RGBA", bg.size, (0, 0, 0, 0))
    td = ImageDraw.Draw(layer)
    rects = [(RATE_C[0] - 41, KNOB_TEXT_Y[0], RATE_C[0] + 41, KNOB_TEXT_Y[1])]
    rects += [(cx - 31, KNOB_TEXT_Y[0], cx + 31, KNOB_TEXT_Y[1]) for cx, _ in SMALL_CS]
    rects += [(x0, y1 - 16, x1, y1) for x0, _, x1, y1 in SLIDERS]
    for (x0, y0, x1, y1), t in zip(rects, texts):
        td.text(((x0 + x1) / 2, (y0 + y1) / 2), t, font=vf, fill=(255, 255, 255, 230), anchor="mm")
    bg.alpha_composite(layer)
    return bg


def preview(images, path):
    """Two settings, the usual one and the extremes, at twice the size."""
    states = (compose(images, 12, 2, (0.95, 0.7), (0.7, 0.0), ("1/4", "90%", "40%", "70%", "0%")),
              compose(images, 0, 4, (0.0, 1.0), (1.0, 0.25), ("1/64T", "-100%", "100%", "100%", "25%")))
    sheet = Image.new("RGBA", (W, 2 * H + 4), (0, 0, 0, 255))
    for i, st in enumerate(states):
        sheet.paste(st, (0, i * (H + 4)))
    sheet.resize((2 * W, 2 * sheet.height), Image.NEAREST).save(path)


# ---------------------------------------------------------------------------

def save_png(img, path):
    assert img.mode == "RGBA"
    # Pillow writes no time stamp; a fixed compression level keeps the bytes stable.
    img.save(path, format="PNG", optimize=False, compress_level=9)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=os.path.join(here, "..", "..", "effect", "img"),
                    help="folder for the five images (default: effect/img)")
    ap.add_argument("--preview", metavar="PNG", help="also write a preview of the editor (2x)")
    args = ap.parse_args()
    images = {
        "bg.png": make_background(),
        "knob.png": make_rate_knob(),
        "knob2.png": make_small_knob(),
        "slider.png": make_slider_handle(),
        "radio.png": make_radio(),
    }
    sizes = {"bg.png": (545, 210), "knob.png": (2050, 82), "knob2.png": (124, 62),
             "slider.png": (18, 18), "radio.png": (78, 85)}
    os.makedirs(args.out, exist_ok=True)
    for name, img in images.items():
        assert img.size == sizes[name], (name, img.size)
        save_png(img, os.path.join(args.out, name))
    if args.preview:
        preview(images, args.preview)


if __name__ == "__main__":
    main()
