#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A recording speech daemon: answers a client of Speech Dispatcher (the
trainer through libspeechd) the way the daemon does, on a unix socket, and
speaks nothing. Every text, every cancel and every beginning is logged with
its time, one line each: "<CLOCK_MONOTONIC ms>\\tsay\\t<text>",
"<ms>\\tstop\\t" and "<ms>\\tbegin\\t<text>" (the format
read_speech_log in program.py reads). A beginning is logged once the client has
been told of it. With --clients, for a daemon shared by several programs (a
screen reader beside the trainer), each line also names the connection it
came from: a fourth field with the name the client gave in SET SELF
CLIENT_NAME ("user:application:component"), and a cancel's text names the
clients whose speech it ended, comma-separated.

Enough of SSIP for libspeechd: SET SELF CLIENT_NAME, HISTORY GET CLIENT_ID,
SET SELF NOTIFICATION <kind> on|off, SET SELF PRIORITY, SPEAK with its
dot-terminated data (a line holding a single dot ends it, "..", at a line's
start stands for "."), CANCEL and STOP (SELF, ALL or a client's id: they end
that client's speech, or everyone's), QUIT; other SET commands are taken as
the daemon takes them, other commands refused as unknown. And what a browser
asks before it offers speechSynthesis: LIST OUTPUT_MODULES (one module,
"recorder"), LIST SYNTHESIS_VOICES (one voice, "English (America)" for
en-US), LIST VOICES, and the answers the daemon gives to SET SELF
OUTPUT_MODULE, SYNTHESIS_VOICE, LANGUAGE, RATE, PITCH and VOLUME. A text "sounds" for
--speak-ms milliseconds: the client is told when it begins (701 BEGIN), at
once, and when it ends (702 END) or is cancelled (703 CANCELED), each when
asked for with SET SELF NOTIFICATION. Texts of one connection are spoken one
after the other, as the daemon queues messages of priority "message".
With --held it answers a text only once a line comes on its stdin, as a
daemon busy for as long as its owner wants.

    ssip_recorder.py --socket PATH --log PATH [--speak-ms MS] [--clients] [--held]

prints "ready" on stdout once it takes connections and serves until it is
ended by SIGTERM. Python standard library only; as a module, Recorder runs
it as a process of its own, stopped by its PID.
"""

import argparse
import os
import socket
import subprocess
import sys
import threading
import time

CRLF = b"\r\n"
# The one output module and the one voice offered: (name, language).
MODULE = "recorder"
VOICE = ("English (America)", "en-US")
# The daemon's answers to SET SELF <what>.
SET_REPLIES = {
    "PRIORITY": "202 OK PRIORITY SET",
    "LANGUAGE": "201 OK LANGUAGE SET",
    "SYNTHESIS_VOICE": "209 OK VOICE SET",
    "RATE": "203 OK RATE SET",
    "PITCH": "204 OK PITCH SET",
    "VOLUME": "218 OK VOLUME SET",
    "OUTPUT_MODULE": "216 OK OUTPUT MODULE SET",
}


def now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


def flat(text):
    return text.replace("\t", " ").replace("\r", " ").replace("\n", " ")


class Log:
    """Whole lines, appended and flushed one at a time; with clients, each
    names the client it came from."""

    def __init__(self, path, clients=False):
        self.path = path
        self.clients = clients
        self.lock = threading.Lock()

    def write(self, event, text="", client=""):
        line = "%.3f\t%s\t%s" % (now_ms(), event, flat(text))
        if self.clients:
            line += "\t" + flat(client)
        line = (line + "\n").encode()
        with self.lock:
            fd = os.open(self.path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o600)
            try:
                os.write(fd, line)
            finally:
                os.close(fd)


class Server:
    def __init__(self, path, log, speak_ms, held=False):
        self.path, self.log, self.speak_s, self.held = path, log, speak_ms / 1000.0, held
        self.lock = threading.Lock()
        self.next_client = 1
        self.next_message = 1
        self.clients = {}  # id: Client, while connected

    def join(self, client):
        """Gives a new connection its id."""
        with self.lock:
            client.id = self.next_client
            self.next_client += 1
            self.clients[client.id] = client

    def leave(self, client):
        with self.lock:
            self.clients.pop(client.id, None)

    def targets(self, client, scope):
        """The connections a CANCEL or STOP of `client` reaches: SELF, ALL or an id."""
        with self.lock:
            if scope == "ALL":
                return list(self.clients.values())
            if scope.isdigit():
                return [c for c in self.clients.values() if c.id == int(scope)]
            return [client]

    def message_id(self):
        with self.lock:
            m = self.next_message
            self.next_message += 1
            return m

    def serve(self):
        if os.path.exists(self.path):
            os.unlink(self.path)
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.bind(self.path)
        sock.listen(16)
        print("ready", flush=True)
        while True:
            conn, _ = sock.accept()
            threading.Thread(target=Client(self, conn).run, daemon=True).start()


class Client:
    """One connection: its commands on this thread, its queue of texts on a
    speaker thread of its own."""

    def __init__(self, server, conn):
        self.server, self.conn = server, conn
        self.name = ""  # as SET SELF CLIENT_NAME gave it
        server.join(self)
        self.notify = set()  # "begin", "end", "cancel"
        self.send_lock = threading.Lock()
        self.cv = threading.Condition()
        self.queue = []  # (message id, text) waiting
        self.speaking = None  # (id, ends at time.monotonic()) of the one sounding
        self.closed = False
        threading.Thread(target=self.speaker, daemon=True).start()

    def send(self, data):
        with self.send_lock:
            try:
                self.conn.sendall(data)
            except OSError:
                pass

    def reply(self, line):
        self.send(line.encode() + CRLF)

    def event(self, kind, code, word, message):
        if kind in self.notify:
            self.send(("%d-%d\r\n%d-%d\r\n%d %s\r\n" % (code, message, code, self.id, code, word)).encode())

    def begin_next(self):
        """Begins the next text waiting if none sounds (lock held)."""
        if self.speaking is not None or not self.queue:
            return False
        message, text = self.queue.pop(0)
        self.speaking = (message, time.monotonic() + self.server.speak_s)
        self.event("begin", 701, "BEGIN", message)
        self.server.log.write("begin", text, self.name)
        return True

    def speaker(self):
        with self.cv:
            while not self.closed:
                if self.begin_next():
                    continue
                if self.speaking is not None:
                    left = self.speaking[1] - time.monotonic()
                    if left <= 0:
                        self.event("end", 702, "END", self.speaking[0])
                        self.speaking = None
                    else:
                        self.cv.wait(left)
                else:
                    self.cv.wait()

    def cancel(self, stop=None):
        # A cancel this client sent (stop: the log line's text and client)
        # is logged under the lock the speaker begins texts with, so that
        # the log keeps the order of what the client was told.
        with self.cv:
            if stop is not None:
                self.server.log.write("stop", *stop)
            for message, _ in self.queue:
                self.event("cancel", 703, "CANCELED", message)
            self.queue = []
            if self.speaking is not None:
                self.event("cancel", 703, "CANCELED", self.speaking[0])
                self.speaking = None
            self.cv.notify_all()

    def run(self):
        data = b""
        receiving = None  # the text's bytes while SPEAK's data come in
        try:
            while True:
                if receiving is not None:
                    end = data.find(b"\r\n.\r\n")
                    if end < 0 and data.startswith(b".\r\n"):
                        end = -2  # an empty text: the dot line straight away
                    if end == -1:
                        chunk = self.conn.recv(65536)
                        if not chunk:
                            return
                        data += chunk
                        continue
                    body, data = (b"", data[3:]) if end == -2 else (data[:end], data[end + 5:])
                    text = body.replace(b"\r\n..", b"\r\n.")
                    if text.startswith(b".."):
                        text = text[1:]
                    self.speak(text.decode("utf-8", errors="replace"))
                    receiving = None
                    continue
                end = data.find(CRLF)
                if end < 0:
                    chunk = self.conn.recv(65536)
                    if not chunk:
                        return
                    data += chunk
                    continue
                line, data = data[:end].decode("utf-8", errors="replace"), data[end + 2:]
                if self.command(line) == "data":
                    receiving = b""
        except OSError:
            pass
        finally:
            self.server.leave(self)
            with self.cv:
                self.closed = True
                self.cv.notify_all()
            self.conn.close()

    def speak(self, text):
        message = self.server.message_id()
        self.server.log.write("say", text, self.name)
        if self.server.held:
            sys.stdin.readline()
        # Begun with the answer, before the client's next command is read.
        with self.cv:
            self.reply("225-%d" % message)
            self.reply("225 OK MESSAGE QUEUED")
            self.queue.append((message, text))
            self.begin_next()
            self.cv.notify_all()

    def command(self, line):
        words = line.split()
        upper = [w.upper() for w in words]
        if not words:
            self.reply("500 ERR INVALID COMMAND")
        elif upper[0] == "SPEAK":
            self.reply("230 OK RECEIVING DATA")
            return "data"
        elif upper[0] in ("CANCEL", "STOP"):
            targets = self.server.targets(self, upper[1] if len(upper) > 1 else "SELF")
            stop = (",".join(c.name for c in targets) if self.server.log.clients else "", self.name)
            if self not in targets:
                self.server.log.write("stop", *stop)
            for client in targets:
                client.cancel(stop if client is self else None)
            self.reply("213 OK CANCELED" if upper[0] == "CANCEL" else "210 OK STOPPED")
        elif upper[:3] == ["SET", "SELF", "CLIENT_NAME"]:
            self.name = " ".join(words[3:]).strip('"')  # libspeechd quotes it
            self.reply("208 OK CLIENT NAME SET")
        elif upper[:3] == ["SET", "SELF", "NOTIFICATION"] and len(upper) == 5:
            kinds = ("begin", "end", "cancel", "pause", "resume", "index_marks")
            chosen = kinds if upper[3] == "ALL" else (upper[3].lower(),)
            for kind in chosen:
                (self.notify.add if upper[4] == "ON" else self.notify.discard)(kind)
            self.reply("220 OK NOTIFICATION SET")
        elif upper[:2] == ["SET", "SELF"] and len(upper) > 2 and upper[2] in SET_REPLIES:
            self.reply(SET_REPLIES[upper[2]])
        elif upper[0] == "SET":
            self.reply("299 OK BUT NOT IMPLEMENTED -- DOES NOTHING")
        elif upper[:2] == ["LIST", "OUTPUT_MODULES"]:
            self.reply("250-" + MODULE)
            self.reply("250 OK MODULE LIST SENT")
        elif upper[:2] == ["LIST", "SYNTHESIS_VOICES"]:
            self.reply("249-%s\t%s\tnone" % VOICE)
            self.reply("249 OK VOICE LIST SENT")
        elif upper[:2] == ["LIST", "VOICES"]:
            self.reply("249-FEMALE1")
            self.reply("249 OK VOICE LIST SENT")
        elif upper[:3] == ["HISTORY", "GET", "CLIENT_ID"]:
            self.reply("245-%d" % self.id)
            self.reply("245 OK CLIENT ID SENT")
        elif upper[0] == "QUIT":
            self.reply("231 HAPPY HACKING")
            raise OSError("client quit")
        else:
            self.reply("500 ERR INVALID COMMAND")
        return None


class Recorder:
    """The recorder as a process of its own, for a test: env() points
    libspeechd at it. Its socket is DIRECTORY/ssip.sock unless `socket`
    names another path (a browser looks in a fixed place under
    XDG_RUNTIME_DIR). Stopped by its PID."""

    def __init__(self, directory, log_path, speak_ms=300, clients=False, socket=None):
        self.socket = socket or os.path.join(directory, "ssip.sock")
        os.makedirs(os.path.dirname(self.socket), mode=0o700, exist_ok=True)
        self.log_path = log_path
        self.proc = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "--socket", self.socket, "--log", log_path,
             "--speak-ms", str(speak_ms)] + (["--clients"] if clients else []),
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, start_new_session=True)
        if self.proc.stdout.readline().strip() != b"ready":
            self.stop()
            raise RuntimeError("the recording SSIP server did not start")

    def env(self):
        return {"SPEECHD_ADDRESS": "unix_socket:" + self.socket}

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        self.proc.stdout.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--socket", required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--speak-ms", type=int, default=300, help="how long each text sounds (default 300)")
    ap.add_argument("--clients", action="store_true", help="name each line's client in a fourth field")
    ap.add_argument("--held", action="store_true", help="answer each text only once a line comes on stdin")
    args = ap.parse_args()
    # SIGTERM ends it at once (Python's default): a handler raising
    # SystemExit was seen to leave it running now and then. The socket
    # lies in its owner's directory, which the owner removes.
    Server(args.socket, Log(args.log, args.clients), args.speak_ms, args.held).serve()


if __name__ == "__main__":
    main()
