#!/usr/bin/env python3
"""Builds the demo feed site: one zip per level under demo/levels, an RSS feed with hashes,
credits and pictures for some levels (drawn here), and a text feed, all pointing at the given
base URL. The build passes a placeholder base that demo/feed-server.py replaces with its own
address when it serves."""
import hashlib
import math
import os
import struct
import sys
import zipfile
import zlib
from email.utils import format_datetime
from datetime import datetime, timezone, timedelta
from xml.sax.saxutils import escape, quoteattr

here = os.path.dirname(os.path.abspath(__file__))
out, base = sys.argv[1], sys.argv[2].rstrip("/")
os.makedirs(os.path.join(out, "levels"), exist_ok=True)

authors = {"Ember Keep": "Sable Orrin", "Glass Marsh": "Wen Tolliver", "Tidewater": "Mara Quist",
           "Frost Orchard": "Ilse Varga"}
blurbs = {
    "Ember Keep": "A fortress of cooling lava; bring a long quill.",
    "Glass Marsh": "Reflections hide the paths through the reeds.",
    "Tidewater": "The sea comes in every ninety seconds.",
    "Frost Orchard": "Pick the apples before the frost takes the ladders.",
}
# The text feed offers levels of its own: a level that both feeds listed would show twice.
text_feed = {"Copper Steps", "Lantern Hollow"}


def write_png(path, width, height, colour):
    """A truecolour PNG of colour(x, y) -> (r, g, b), written with zlib alone."""
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in colour(x, y))
                    for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    with open(path, "wb") as f:
        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(int(p + (q - p) * t) for p, q in zip(a, b))


def ember_keep(x, y):
    """A dark keep on a crag above a lava sea, under a glowing sky."""
    sea = 170 + 6 * math.sin(x / 13.0)
    if y > sea:
        glow = 0.5 + 0.5 * math.sin(x / 9.0 + y / 3.0)
        return mix((200, 40, 10), (255, 190, 40), glow * (y - sea) / 70 + 0.2)
    keep = 120 <= x < 200 and y > 90 or 100 <= x < 220 and y > 130
    battlement = 120 <= x < 200 and 80 < y <= 90 and (x - 120) // 10 % 2 == 0
    tower = 145 <= x < 175 and (y > 55 or 45 < y <= 55 and (x - 145) // 6 % 2 == 0)
    window = 156 <= x < 164 and 70 <= y < 84 or 132 <= x < 140 and 110 <= y < 122
    if window:
        return (255, 170, 40)
    if keep or battlement or tower:
        return (40, 22, 30)
    return mix((60, 20, 70), (250, 120, 40), y / sea)


def tidewater(x, y):
    """Sun over a rolling sea running up a beach."""
    if (x - 230) ** 2 + (y - 60) ** 2 < 26 ** 2:
        return (255, 236, 150)
    horizon = 110
    if y < horizon:
        return mix((90, 160, 230), (200, 230, 250), y / horizon)
    shore = 200 - 12 * math.sin(x / 40.0)
    if y > shore:
        return mix((236, 210, 150), (210, 180, 120), (y - shore) / 40)
    band = math.sin(x / 11.0 + y / 2.5) * 0.5 + 0.5
    foam = y > shore - 5
    if foam:
        return (235, 245, 250)
    return mix((20, 70, 140), (60, 150, 200), band * 0.6 + (y - horizon) / 200)


pictures = {"Ember Keep": ember_keep, "Tidewater": tidewater}
os.makedirs(os.path.join(out, "pictures"), exist_ok=True)

items = []
when = datetime(2026, 11, 1, 12, 0, tzinfo=timezone.utc)
for i, name in enumerate(sorted(os.listdir(os.path.join(here, "levels")))):
    folder = os.path.join(here, "levels", name)
    archive = os.path.join(out, "levels", name.replace(" ", "") + ".zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for f in sorted(os.listdir(folder)):
            z.write(os.path.join(folder, f), f)
    data = open(archive, "rb").read()
    items.append((name, archive, hashlib.sha1(data).hexdigest(), len(data), when + timedelta(days=i)))

rss = ['<?xml version="1.0" encoding="UTF-8"?>',
       '<rss version="2.0" xmlns:media="http://search.yahoo.com/mrss/">', "<channel>",
       "<title>Quillmor Demo Levels</title>", f"<link>{base}/</link>",
       "<description>Levels served from this machine for trying the launcher.</description>",
       "<ttl>60</ttl>"]
for name, archive, sha1, length, date in items:
    if name in text_feed:
        continue
    url = f"{base}/levels/{os.path.basename(archive)}"
    rss += ["<item>", f"<title>{escape(name)}</title>", f"<link>{base}/#{name.replace(' ', '')}</link>",
            f"<description>{escape(blurbs.get(name, 'A demo level.'))}</description>",
            f"<guid>demo-{name.replace(' ', '-').lower()}</guid>",
            f"<pubDate>{format_datetime(date)}</pubDate>",
            f'<enclosure url={quoteattr(url)} length="{length}" type="application/x-quillmor-level"/>',
            f'<media:hash algo="sha-1">{sha1}</media:hash>',
            f'<media:credit role="author">{escape(authors.get(name, "Unknown"))}</media:credit>']
    if name in pictures:
        picture = name.replace(" ", "") + ".png"
        write_png(os.path.join(out, "pictures", picture), 320, 240, pictures[name])
        address = quoteattr(f"{base}/pictures/{picture}")
        rss.append(f'<media:thumbnail url={address} width="320" height="240"/>')
    rss.append("</item>")
rss += ["</channel>", "</rss>", ""]
open(os.path.join(out, "feed.rss"), "w", encoding="utf-8").write("\n".join(rss))

with open(os.path.join(out, "levels.txt"), "wb") as txt:
    for name, archive, *_ in (item for item in items if item[0] in text_feed):
        txt.write(f"{name}\n{base}/levels/{os.path.basename(archive)}\n".encode("cp1252"))
