#!/usr/bin/env python3
"""formtidy-decode against a real IMAP server: a Dovecot of the test's own
(dovecot_server.py), a Maildir of form mail in the shapes mail programs send,
with replies between them and flags set on some. Reads the mailbox into
SQLite and the database back with Python's sqlite3 and csv modules:
  - the first run keeps every form once, and its cells equal those of the CSV
    and JSON of the same mails read as saved files;
  - a later run with --new adds exactly the new ones, one without --new adds
    nothing, nor one after the mailbox's UIDVALIDITY changed;
  - the mailbox's flags never change (no \\Seen), --search, --since and
    imap:// with STARTTLS choose and read what they should;
  - each fault (a wrong password, a password file others can read, a
    certificate that does not verify, a mailbox that does not exist, a locked
    database, a foreign or newer database, the server stopped part-way, the
    tool killed part-way, a full disk) gives exit 1 and its message and leaves
    the database as it was; meanwhile the password shows in no /proc/PID/cmdline.
Usage: check_imap.py FORMTIDY_DECODE. Exits 77 where Dovecot cannot start."""

import csv
import hashlib
import imaplib
import io
import json
import os
import shutil
import signal
import sqlite3
import ssl
import subprocess
import sys
import time
from contextlib import closing

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dovecot_server import PASSWORD, SKIP, Dovecot, form_mail  # noqa: E402

TOOL = sys.argv[1]


def mail(number, headers, body):
    return (f"From: Web Form <form@example.org>\r\nSubject: Contact form\r\n"
            f"Date: Wed, 9 Dec 2026 0{number % 10}:30:00 -0500\r\nMIME-Version: 1.0\r\n" +
            headers + "\r\n" + body).encode("latin-1")


# (flags, mail): forms in several shapes and charsets, a reply and a newsletter.
SHAPES = [
    ("S", form_mail(0)),
    ("", mail(1, "Message-ID: <latin@example.org>\r\n"
                 "Content-Type: multipart/mixed; boundary=b\r\n",
              "--b\r\nContent-Type: text/plain\r\n\r\nSee the form.\r\n--b\r\n"
              "Content-Type: application/x-www-form-urlencoded; charset=iso-8859-1\r\n\r\n"
              "name=Ren%E9e&note=%22Caf%E9%22%2C+please\r\n--b--\r\n")),
    ("FS", mail(2, "Message-ID: <alt@example.org>\r\n"
                   "Content-Type: multipart/alternative; boundary=a\r\n",
                "--a\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                "name=%E5%B1%B1%E7%94%B0&source=web\r\n\r\n-- \r\nSent from my phone\r\n"
                "--a\r\nContent-Type: text/html\r\n\r\n<p>form</p>\r\n--a--\r\n")),
    ("", mail(3, "Message-ID: <plain@example.org>\r\nContent-Type: text/plain\r\n",
              "name=Eve\r\ncomment=two\r\nlines\r\n")),
    ("", mail(4, "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n",
              "bmFtZT1Ob2JvZHkmbWVzc2FnZT1ubyttZXNzYWdlLWlk\r\n")),  # no Message-ID
    ("S", mail(5, "Content-Type: text/plain\r\n", "name=Other&message=no+id+either\r\n")),
    # An empty Message-ID names no message: each of these is kept.
    ("", mail(8, "Message-ID: <>\r\nContent-Type: text/plain\r\n", "name=Empty&id=one\r\n")),
    ("", mail(9, "Message-ID: <>\r\nContent-Type: text/plain\r\n", "name=Empty&id=two\r\n")),
    ("S", mail(6, "Message-ID: <reply@example.org>\r\nContent-Type: text/plain\r\n",
               "Thank you, we will call back.\r\n")),
    ("", mail(7, "Message-ID: <news@example.org>\r\nContent-Type: multipart/alternative; "
                 "boundary=n\r\n", "--n\r\nContent-Type: text/plain\r\n\r\nOur news.\r\n"
                                   "--n\r\nContent-Type: text/html\r\n\r\n<p>news</p>\r\n--n--\r\n")),
]
FORMS = len(SHAPES) - 2
BIG = 3000  # messages of the mailbox that runs are stopped in


def check(condition, what):
    if not condition:
        sys.exit("failed: " + what)


def run(args, **kw):
    return subprocess.run([TOOL] + args, capture_output=True, text=True, **kw)


def rows_of(csv_text):
    """The rows of a CSV, each without its source and empty cells, in a fixed order."""
    rows = [{k: v for k, v in row.items() if v and k != "source"}
            for row in csv.DictReader(io.StringIO(csv_text, newline=""))]
    return sorted(rows, key=lambda r: json.dumps(r, sort_keys=True))


def objects_of(json_lines):
    objects = [json.loads(line) for line in json_lines.splitlines()]
    for o in objects:
        del o["source"]
    return sorted(objects, key=lambda o: json.dumps(o, sort_keys=True))


def flags(server, mailbox="INBOX"):
    """Each message's flags by its UID, read as the tool reads: examined, not selected."""
    context = ssl.create_default_context(cafile=server.cacert)
    with imaplib.IMAP4_SSL("127.0.0.1", server.tls_port, ssl_context=context) as box:
        box.login("jane", PASSWORD)
        box.select(mailbox, readonly=True)
        _, data = box.fetch("1:*", "(UID FLAGS)")
    found = {}
    for line in data:
        words = line.decode().replace("(", " ").replace(")", " ").split()
        uid = int(words[words.index("UID") + 1])
        found[uid] = set(words[words.index("FLAGS") + 1:]) - {"\\Recent"}
    return found


def state(db):
    """What the database holds, as SQL, after SQLite has rolled back what a killed run left."""
    with closing(sqlite3.connect(db)) as con:
        return "\n".join(con.iterdump())


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def wait_for_journal(process, db):
    """Waits until the run has begun to write, and stops it there."""
    deadline = time.time() + 60
    while not os.path.exists(db + "-journal"):
        check(process.poll() is None, "the run ended before it could be stopped part-way")
        check(time.time() < deadline, "the run wrote nothing in 60 s")
        time.sleep(0.002)
    process.send_signal(signal.SIGSTOP)
    for name in ("cmdline", "environ"):
        with open(f"/proc/{process.pid}/{name}", "rb") as f:
            check(PASSWORD.encode() not in f.read(), f"the password shows in /proc/PID/{name}")


def main():
    server = Dovecot()
    try:
        return test(server)
    finally:
        server.close()


def test(server):
    saved = os.path.join(server.folder, "saved")
    os.makedirs(saved)
    for number, (flag, data) in enumerate(SHAPES):
        server.add(data, flag)
        with open(os.path.join(saved, f"{number}.eml"), "wb") as f:
            f.write(data)
    for number in range(BIG):
        server.add(form_mail(1000 + number), folder="Big")
    why = server.start()
    if why:
        print("SKIP:", why)
        return SKIP
    login = ["--password-file", server.password_file, "--cacert", server.cacert]
    db = os.path.join(server.folder, "forms.sqlite")
    keep = ["--mail", "--format", "sqlite", "-o", db] + login
    before = flags(server)

    # The first run keeps every form once; the same mails as saved files
    # give the same cells.
    first = run(keep + ["--new", server.url()])
    check(first.returncode == 3, f"first run: exit {first.returncode}: {first.stderr}")
    check(f"{db}: {FORMS} added, 0 already kept" in first.stderr, first.stderr)
    check(first.stderr.count(": no form\n") == 2, first.stderr)
    for fmt, read in (("csv", rows_of), ("json", objects_of)):
        files = run(["--mail", "--format", fmt, saved])
        kept = run(["--from", db, "--format", fmt])
        check(kept.returncode == 0, f"--from {fmt}: {kept.stderr}")
        check(read(kept.stdout) == read(files.stdout),
              f"{fmt} of the database\n  {read(kept.stdout)}\nagainst the saved mails\n"
              f"  {read(files.stdout)}")
    with closing(sqlite3.connect(db)) as con:
        renee = con.execute("SELECT s.source, f.value FROM fields f JOIN submissions s ON "
                            "s.id = f.submission WHERE s.message_id = 'latin@example.org' "
                            "AND f.name = 'name'").fetchone()
        row = con.execute("SELECT fields FROM submission_rows WHERE message_id = "
                          "'plain@example.org'").fetchone()
    check(renee[1] == "Renée", f"the ISO-8859-1 form reads {renee}")
    check(renee[0].startswith(f"imaps://127.0.0.1:{server.tls_port}/INBOX;UIDVALIDITY=") and
          ";UID=" in renee[0], f"source {renee[0]}")
    check(json.loads(row[0]) == [["name", "Eve"], ["comment", "two\r\nlines"]], f"view {row}")

    # New mail: --new fetches only it, and a mail delivered twice is kept once.
    server.add(form_mail(100))
    server.add(form_mail(101))
    server.add(form_mail(0))
    again = run(keep + ["--new", server.url()])
    check(again.returncode == 0 and f"{db}: 2 added, 1 already kept" in again.stderr,
          f"--new after new mail: {again.returncode} {again.stderr}")
    whole = run(keep + [server.url()])
    check(f"{db}: 0 added, {FORMS + 3} already kept" in whole.stderr, whole.stderr)
    after = flags(server)
    check(all(after[uid] == before[uid] for uid in before) and
          all("\\Seen" not in after[uid] for uid in after if uid not in before) and
          sum("\\Seen" in f for f in before.values()) == 4,
          f"flags changed:\n  {before}\n  {after}")

    # --search and --since go to the server; imap:// turns to TLS first.
    for args, count in ((["--search", 'SUBJECT "Contact form"'], FORMS + 3),
                        (["--search", "FROM nobody@example.org"], 0),
                        (["--since", "2000-01-01"], FORMS + 3),
                        (["--since", "2999-01-01"], 0)):
        for url in (server.url(), server.url(tls=False)):
            chosen = run(["--mail", "--format", "json"] + login + args + [url])
            got = len(chosen.stdout.splitlines())
            check(chosen.returncode in (0, 3) and got == count,
                  f"{args} {url}: {got} forms, not {count}: {chosen.stderr}")

    # A new UIDVALIDITY: the whole mailbox is read again, and nothing is added.
    server.stop()
    uidlist = os.path.join(server.maildir, "dovecot-uidlist")
    with open(uidlist) as f:
        head, rest = f.read().split("\n", 1)
    fields = head.split(" ")
    fields[1] = "V" + str(int(fields[1][1:]) + 1)
    with open(uidlist, "w") as f:
        f.write(" ".join(fields) + "\n" + rest)
    for name in os.listdir(server.maildir):
        if name.startswith("dovecot.index"):
            os.remove(os.path.join(server.maildir, name))
    check(server.start() is None, "dovecot does not start again")
    renewed = run(keep + ["--new", server.url()])
    check(f"{db}: 0 added, {FORMS + 3} already kept" in renewed.stderr, renewed.stderr)

    # The faults: each fails with its message and leaves the database as it was.
    wrong = os.path.join(server.folder, "wrong")
    with open(os.open(wrong, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write("not-the-password\n")
    shown = os.path.join(server.folder, "shown")
    shutil.copy(server.password_file, shown)
    os.chmod(shown, 0o644)
    foreign, newer = db + ".foreign", db + ".newer"
    with closing(sqlite3.connect(foreign)) as con:
        con.execute("CREATE TABLE notes (text)")
        con.commit()
    shutil.copy(db, newer)
    with closing(sqlite3.connect(newer)) as con:
        con.execute("PRAGMA user_version = 2")
        con.commit()
    full = os.path.join(server.folder, "full")
    os.makedirs(full)
    mounted = os.geteuid() == 0 and subprocess.run(
        ["mount", "-t", "tmpfs", "-o", "size=160k", "tmpfs", full]).returncode == 0
    if mounted:
        shutil.copy(db, os.path.join(full, "forms.sqlite"))
    else:
        print("note: no tmpfs can be mounted here (not root): the full disk is not tried")

    def locked(args):
        holder = sqlite3.connect(db, isolation_level=None)
        holder.execute("BEGIN IMMEDIATE")
        try:
            return run(args)
        finally:
            holder.close()

    def stopped_server(args):
        process = subprocess.Popen([TOOL] + args, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True)
        wait_for_journal(process, db)
        server.stop()
        process.send_signal(signal.SIGCONT)
        result = subprocess.CompletedProcess(args, process.wait(), "", process.stderr.read())
        check(server.start() is None, "dovecot does not start again")
        return result

    def killed(args):
        process = subprocess.Popen([TOOL] + args, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_for_journal(process, db)
        process.kill()
        return subprocess.CompletedProcess(args, process.wait(), "", "")

    big = server.url("Big")
    cases = [
        # (what, the run's arguments, how it runs, database, what it says)
        ("a wrong password", ["--mail", "--format", "sqlite", "-o", db, "--password-file", wrong,
                              "--cacert", server.cacert, big], run, db, "refused the login"),
        ("a password file others can read", ["--mail", "--format", "sqlite", "-o", db,
                                             "--password-file", shown, big], run, db,
         "readable by you alone"),
        ("a certificate that does not verify", ["--mail", "--format", "sqlite", "-o", db,
                                                "--password-file", server.password_file, big],
         run, db, "certificate does not verify"),
        ("a mailbox that does not exist", keep + [server.url("Nowhere")], run, db,
         "mailbox cannot be opened"),
        ("a locked database", keep + ["--lock-wait", "1", big], locked, db,
         "in use by another run"),
        ("a foreign database", keep[:4] + [foreign] + login + [big], run, foreign,
         "not a database that formtidy-decode wrote"),
        ("a newer database", keep[:4] + [newer] + login + [big], run, newer, "is newer"),
        ("the server stopped part-way", keep + [big], stopped_server, db, "connection"),
        ("the tool killed part-way", keep + [big], killed, db, None),
    ]
    if mounted:
        cases.append(("a full disk", keep[:4] + [os.path.join(full, "forms.sqlite")] + login +
                      [big], run, os.path.join(full, "forms.sqlite"), "the disk is full"))
    try:
        for what, args, how, target, message in cases:
            was, bytes_were = state(target), digest(target)
            result = how(args)
            check(result.returncode == (1 if message else -signal.SIGKILL),
                  f"{what}: exit {result.returncode}: {result.stderr}")
            check(message is None or message in result.stderr, f"{what}: {result.stderr!r}")
            check(state(target) == was, f"{what}: the database changed")
            check(message is None or digest(target) == bytes_were,
                  f"{what}: the database file changed")
            # A killed run leaves its journal, which the next run rolls back.
            check(message is None or not os.path.exists(target + "-journal"),
                  f"{what}: a journal is left")
    finally:
        if mounted:
            subprocess.run(["umount", full])

    # After all that, the big mailbox goes in whole.
    last = run(keep + ["--new", big])
    check(last.returncode == 0 and f"{BIG} added, 0 already kept" in last.stderr, last.stderr)
    check(not any("\\Seen" in f for f in flags(server, "Big").values()),
          "the big mailbox has seen messages")
    print(f"IMAP into SQLite: {FORMS} shapes, --new, UIDVALIDITY, {len(cases)} faults, "
          f"{BIG} messages: all as they should be")
    return 0


if __name__ == "__main__":
    sys.exit(main())
