#!/usr/bin/env python3
# The forms of an mbox as CSV with Python's standard library alone, as a user
# might write it instead of formtidy-decode --mail --format csv.
import csv, mailbox, sys, urllib.parse

rows, columns = [], dict.fromkeys(["source", "date", "message_id"])
for number, message in enumerate(mailbox.mbox(sys.argv[1], create=False), 1):
    parts = [p for p in message.walk() if p.get_content_maintype() != "multipart"]
    part = next((p for p in parts if p.get_content_type() == "application/x-www-form-urlencoded"),
                next((p for p in parts if p.get_content_type() == "text/plain"), None))
    if part is None:
        continue
    text = part.get_payload(decode=True).decode(part.get_content_charset("utf-8"), "replace")
    row = {"source": f"{sys.argv[1]}#{number}", "date": message["Date"], "message_id": message["Message-ID"]}
    for name, value in urllib.parse.parse_qsl(text.strip().split("\n\n")[0], keep_blank_values=True):
        row[name if name not in row else f"{name}#{sum(k.split('#')[0] == name for k in row) + 1}"] = value
    columns.update(dict.fromkeys(row))
    rows.append(row)
writer = csv.DictWriter(sys.stdout, list(columns), lineterminator="\r\n")
writer.writeheader()
writer.writerows(rows)
