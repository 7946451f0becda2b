#!/usr/bin/env python3
"""Builds the demo feed site: one zip per level under demo/levels, an RSS feed with hashes
and credits, and a text feed, all pointing at the given base URL. The build passes a
placeholder base that demo/feed-server.py replaces with its own address when it serves."""
import hashlib
import os
import sys
import zipfile
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
            f'<media:credit role="author">{escape(authors.get(name, "Unknown"))}</media:credit>',
            "</item>"]
rss += ["</channel>", "</rss>", ""]
open(os.path.join(out, "feed.rss"), "w", encoding="utf-8").write("\n".join(rss))

with open(os.path.join(out, "levels.txt"), "wb") as txt:
    for name, archive, *_ in (item for item in items if item[0] in text_feed):
        txt.write(f"{name}\n{base}/levels/{os.path.basename(archive)}\n".encode("cp1252"))
