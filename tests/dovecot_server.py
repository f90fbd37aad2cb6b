"""A Dovecot IMAP server of the tests' own, on 127.0.0.1 and free ports, with
its configuration, certificate, passwd-file user and Maildir in a folder of
its own. Imported by the tests; run as a program (dovecot_server.py COUNT) it
fills the Maildir with COUNT form mails, prints "PORT CACERT PASSWORD_FILE
URL", and serves until its standard input closes. Exits 77 where Dovecot
cannot start."""

import grp
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time

USER, PASSWORD = "jane", "s3cret-Pa55"
SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def form_mail(number, body=None, subject="Contact form", message_id=True):
    body = body if body is not None else f"name=Jane+{number}&email=jane{number}%40example.com"
    head = (f"From: Web Form <form@example.org>\r\nTo: jane@example.org\r\n"
            f"Subject: {subject}\r\nDate: Tue, 8 Dec 2026 10:{number // 60 % 60:02}:"
            f"{number % 60:02} +0100\r\n")
    if message_id:
        head += f"Message-ID: <form-{number}@example.org>\r\n"
    return (head + "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
            body + "\r\n").encode()


class Dovecot:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="formtidy-dovecot-")
        os.chmod(self.folder, 0o755)  # for Dovecot's own users
        self.maildir = os.path.join(self.folder, "home", USER, "Maildir")
        self.port, self.tls_port = free_port(), free_port()
        self.cacert = os.path.join(self.folder, "cert.pem")
        self.password_file = os.path.join(self.folder, "password")
        self.count = 0
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(self.maildir, sub))
        with open(os.open(self.password_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write(PASSWORD + "\n")

    def url(self, mailbox="INBOX", tls=True):
        return (f"imaps://{USER}@127.0.0.1:{self.tls_port}/{mailbox}" if tls else
                f"imap://{USER}@127.0.0.1:{self.port}/{mailbox}")

    def add(self, data, flags="", folder=""):
        """Delivers one mail into INBOX (or a Maildir++ folder) with the given flags."""
        box = os.path.join(self.maildir, "." + folder) if folder else self.maildir
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(box, sub), exist_ok=True)
        self.count += 1
        name = f"{1700000000 + self.count}.M{self.count}P1.test"
        path = os.path.join(box, "cur", name + ":2," + flags) if flags else \
            os.path.join(box, "new", name)
        with open(path, "wb") as f:
            f.write(data)
        if getattr(self, "process", None):
            self._own()

    def _own(self):
        """Gives the mail to the user Dovecot reads it as, where that is another."""
        if os.geteuid() == 0:
            user = pwd.getpwnam("dovecot")
            for top, dirs, files in os.walk(os.path.join(self.folder, "home")):
                for name in [top] + [os.path.join(top, n) for n in dirs + files]:
                    os.chown(name, user.pw_uid, user.pw_gid)

    def start(self):
        """Starts the server; returns what stops it from starting, or None."""
        if not shutil.which("dovecot") or not shutil.which("openssl"):
            return "dovecot or openssl is not installed"
        if not os.path.exists(self.cacert):
            key = os.path.join(self.folder, "key.pem")
            made = subprocess.run(
                ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                 "-out", self.cacert, "-days", "2", "-subj", "/CN=127.0.0.1",
                 "-addext", "subjectAltName=IP:127.0.0.1"], capture_output=True)
            if made.returncode != 0:
                return "openssl cannot make a certificate: " + made.stderr.decode()
        root = os.geteuid() == 0
        me = pwd.getpwuid(os.geteuid()).pw_name
        try:
            mail = pwd.getpwnam("dovecot") if root else pwd.getpwuid(os.geteuid())
            internal = "dovecot" if root else me
            login = "dovenull" if root else me
            pwd.getpwnam(login)
        except KeyError:
            return "the users dovecot and dovenull are missing"
        with open(os.path.join(self.folder, "passwd"), "w") as f:
            f.write(f"{USER}:{{PLAIN}}{PASSWORD}\n")
        self.config = os.path.join(self.folder, "dovecot.conf")
        with open(self.config, "w") as f:
            f.write(f"""base_dir = {self.folder}/run
state_dir = {self.folder}/state
instance_name = formtidy-{self.tls_port}
log_path = {self.folder}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = yes
ssl_cert = <{self.cacert}
ssl_key = <{self.folder}/key.pem
disable_plaintext_auth = no
auth_mechanisms = plain login
default_internal_user = {internal}
default_internal_group = {grp.getgrgid(pwd.getpwnam(internal).pw_gid).gr_name}
default_login_user = {login}
first_valid_uid = 1
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {self.port}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {self.tls_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {self.folder}/passwd
}}
userdb {{
  driver = static
  args = uid={mail.pw_uid} gid={mail.pw_gid} home={self.folder}/home/%u mail=maildir:~/Maildir
}}
""")
        self._own()
        self.process = subprocess.Popen(["dovecot", "-F", "-c", self.config],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        for _ in range(200):
            if self.process.poll() is not None:
                return "dovecot does not start: " + self.log()
            try:
                socket.create_connection(("127.0.0.1", self.tls_port), 0.2).close()
                return None
            except OSError:
                time.sleep(0.05)
        self.stop()
        return "dovecot does not listen: " + self.log()

    def log(self):
        try:
            with open(os.path.join(self.folder, "dovecot.log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    def stop(self):
        """Stops the server and every process of it, and waits until it is gone."""
        process, self.process = getattr(self, "process", None), None
        if process and process.poll() is None:
            # Its sessions, which would otherwise serve on for a while.
            for pid in os.listdir("/proc"):
                try:
                    with open(f"/proc/{pid}/stat") as f:
                        if int(f.read().rsplit(")", 1)[1].split()[1]) == process.pid:
                            os.kill(int(pid), 9)
                except (OSError, ValueError, IndexError):
                    pass
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def close(self):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)


def main():
    count = int(sys.argv[1])
    server = Dovecot()
    try:
        for n in range(count):
            server.add(form_mail(n))
        why = server.start()
        if why:
            print("dovecot_server:", why, file=sys.stderr)
            return SKIP
        print(server.tls_port, server.cacert, server.password_file, server.url(), flush=True)
        sys.stdin.read()
        return 0
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
