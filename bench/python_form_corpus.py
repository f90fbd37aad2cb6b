#!/usr/bin/env python3
"""Writes a form body made with Python's own form encoder (urllib.parse.urlencode),
for measuring formtidy-decode on text that a real encoder made: fields of words,
names, addresses and comments, some of them in languages outside ASCII, with
line breaks in the comments. The same seed always gives the same text.

Usage: python_form_corpus.py OUT [MEGABYTES]    (default 20)
"""
import random
import sys
import urllib.parse

WORDS = ("the order blue cup size delivery please send address street name a of and to "
         "in is for with on this that by from at invoice parcel tuesday morning thanks "
         "regards question about price colour large small quantity").split()
FOREIGN = ("café crème déjà vu naïve über Straße Grüße größer mañana niño señor "
           "Ærø smørrebrød Åsa Łódź zażółć Привет спасибо заказ доставка "
           "こんにちは ありがとう 注文 配達 你好 谢谢 订单 Γειά σας ευχαριστώ").split()
FIRST = "Jane John José Zoë Ana Björn Søren Marie Ivan Чен Łukasz Amélie Kenji".split()
LAST = "Doe Smith García Müller Østergaard Dupont Иванов Kowalski Tanaka Ng".split()


def sentence(rng):
    words = [rng.choice(FOREIGN) if rng.random() < 0.2 else rng.choice(WORDS)
             for _ in range(rng.randint(3, 14))]
    return " ".join(words) + rng.choice([".", "!", "?", ",", ""])


def form(rng, number):
    first, last = rng.choice(FIRST), rng.choice(LAST)
    fields = [
        ("form_id", str(number)),
        ("name", f"{first} {last}"),
        ("email", f"{first.lower()}.{last.lower()}@example.org"),
        ("phone", f"+{rng.randint(1, 99)} {rng.randint(100, 999)} {rng.randint(1000, 99999)}"),
        ("address", f"{rng.randint(1, 200)} {rng.choice(WORDS).title()} Street, {rng.choice(FOREIGN)}"),
        ("quantity", str(rng.randint(1, 20))),
        ("colour", rng.choice(["blue", "red", "green", "vert foncé", "grün"])),
        ("comment", "\r\n".join(sentence(rng) for _ in range(rng.randint(1, 6)))),
        ("subscribe", rng.choice(["yes", "no"])),
    ]
    return urllib.parse.urlencode(fields)


def main():
    out = sys.argv[1]
    size = int(sys.argv[2] if len(sys.argv) > 2 else 20) * 1000 * 1000
    rng = random.Random(1)
    parts, total, number = [], 0, 0
    while total < size:
        part = form(rng, number)
        parts.append(part)
        total += len(part) + 1
        number += 1
    body = "&".join(parts)[:size]
    with open(out, "w", encoding="ascii") as f:
        f.write(body)


if __name__ == "__main__":
    main()
