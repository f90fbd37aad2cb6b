#!/usr/bin/env python3
"""Reads the CSV of formtidy-decode --mail back as real clients do: Python's
csv module and sqlite3's .import --csv. The mails are written here, from the
RFCs, in the charsets browsers post forms in, with a reply and a newsletter
between them, into a Maildir whose order of delivery is not the order of the
file names. Then 5,000 mail files are read under a limit of 256 open files.
Usage: check_mail_csv.py FORMTIDY_DECODE SQLITE3"""

import csv
import io
import os
import resource
import subprocess
import sys
import tempfile

TOOL, SQLITE = sys.argv[1], sys.argv[2]

# (file in the Maildir, charset header, body, the fields the browser sent)
MAILS = [
    ("new/1700000300.M1P1.host", "utf-8", "name=Jos%C3%A9&email=jose%40example.com&note=Hi%0D%0A",
     {"name": "José", "email": "jose@example.com", "note": "Hi\r\n"}),
    ("cur/1700000100.M20P1.host:2,S", "iso-8859-1", "name=Ren%E9e&note=%22Caf%E9%22%2C+please",
     {"name": "Renée", "note": '"Café", please'}),
    ("cur/1700000100.M3P1.host:2,S", "", "name=%80uro&_charset_=windows-1252",
     {"name": "€uro", "_charset_": "windows-1252"}),
    ("new/1700000200.M1P1.host", "Shift_JIS", "name=%8ER%93c&source=web",
     {"name": "山田", "source#2": "web"}),
    ("cur/1700000150.M1P1.host:2,S", "utf-8", "Thank you, we will call back.\n\n-- \nSales", None),
]
NEWSLETTER = ("Content-Type: multipart/alternative; boundary=b\n\n--b\nContent-Type: text/plain\n\n"
              "Our news.\n--b\nContent-Type: text/html\n\n<p>Our news.</p>\n--b--\n")


def mail(number, charset, body):
    head = (f"From: Web Form <form@example.org>\nMessage-ID: <{number}@example.org>\n"
            f"Date: Tue, 8 Dec 2026 10:0{number}:00 +0000\nMIME-Version: 1.0\n")
    if charset is None:
        return head + NEWSLETTER
    return head + "Content-Type: text/plain" + (f"; charset={charset}" if charset else "") + \
        "\n\n" + body + "\n"


def run(args, **kw):
    return subprocess.run([TOOL] + args, capture_output=True, check=False, **kw)


def check(condition, what):
    if not condition:
        sys.exit("failed: " + what)


def main():
    with tempfile.TemporaryDirectory() as folder:
        box = os.path.join(folder, "Maildir")
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(box, sub))
        for number, (name, charset, body, _) in enumerate(MAILS):
            with open(os.path.join(box, name), "wb") as f:
                f.write(mail(number, charset, body).encode("latin-1"))
        with open(os.path.join(box, "cur", "1700000400.M1P1.host:2,S"), "w") as f:
            f.write(mail(9, None, ""))
        out = os.path.join(folder, "forms.csv")
        done = run(["--mail", "--format", "csv", box, "-o", out])
        check(done.returncode == 3, f"exit {done.returncode}: {done.stderr!r}")
        check(done.stderr.count(b": no form\n") == 2, f"no-form reports: {done.stderr!r}")

        with open(out, "rb") as f:
            text = f.read().decode("utf-8")  # raises unless all of it is UTF-8
        rows = list(csv.DictReader(io.StringIO(text, newline="")))
        header = next(csv.reader(io.StringIO(text, newline="")))
        check(header[:3] == ["source", "date", "message_id"], f"header {header}")
        check(len(header) == len(set(header)), f"a header name twice: {header}")
        # In the order of delivery: the seconds, then the microseconds of the names.
        def delivered(m):
            seconds, unique = m[0].split("/")[1].split(".")[:2]
            return int(seconds), int(unique[1:].split("P")[0])
        forms = sorted((m for m in MAILS if m[3]), key=delivered)
        expected = [(f"{MAILS.index(m)}@example.org", m[3]) for m in forms]
        got = [(row["message_id"], {k: v for k, v in row.items() if v and k not in header[:3]})
               for row in rows]
        check(got == expected, f"rows\n  got  {got}\n  want {expected}")

        query = subprocess.run(
            [SQLITE, ":memory:", f".import --csv {out} forms",
             "SELECT message_id || '=' || name FROM forms ORDER BY date"],
            capture_output=True, check=True).stdout.decode("utf-8").split("\n")[:-1]
        check(query == [f"{number}@example.org={m[3]['name']}" for number, m in enumerate(MAILS)
                        if m[3]], f"sqlite3 read {query}")

        many = os.path.join(folder, "many")
        os.makedirs(many)
        names = []
        for number in range(5000):
            names.append(os.path.join(many, f"{number:05}.eml"))
            with open(names[-1], "w") as f:
                f.write(mail(0, "utf-8", f"n={number}"))
        out = os.path.join(folder, "many.csv")
        done = run(["--mail", "--format", "csv", "-o", out] + names, preexec_fn=lambda:
                   resource.setrlimit(resource.RLIMIT_NOFILE, (256, 256)))
        check(done.returncode == 0, f"5,000 files: exit {done.returncode}: {done.stderr[:300]!r}")
        with open(out, encoding="utf-8", newline="") as f:
            numbers = [row["n"] for row in csv.DictReader(f)]
        check(numbers == [str(n) for n in range(5000)], "5,000 files give 5,000 rows in order")
    print("the CSV reads back whole")
    return 0


if __name__ == "__main__":
    sys.exit(main())
