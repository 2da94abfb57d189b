# SPDX-License-Identifier: GPL-3.0-or-later
"""What a sound server played, recorded from its null sink's monitor
(Recording) and read back sample by sample (Audio): when a sound began,
how long it lasted, how loud it was."""

import array
import bisect
import os
import subprocess
import threading
import time

from .processes import E2EError, stop_process, wait_until

RATE = 22050


class Recording:
    """The null sink's monitor, recorded with the server's own recorder
    (record_command()). A thread of ours reads the stream, keeps it in
    memory and in a raw file, and notes when each piece arrived.

    The clock: a server hands sound on in blocks (PulseAudio's null sink
    renders a few milliseconds at a time, PipeWire's graph one quantum per
    cycle), and pieces that arrive within BLOCK_GAP of each other belong to
    one block. A block's first sample is taken to sound when the server
    handles the block, and the samples after it one by one at RATE, so
    sample i sounds at c + i / RATE; c is the earliest block start
    consistent with the arrivals of the blocks from i to WINDOW seconds
    after it (the smallest delay of delivery). Not over the whole recording:
    a server whose cycles come late skips time (PipeWire's graph did at a
    quantum of 256 on a 2-core machine), and every skip makes the sound
    after it later; a skip after i never makes c earlier. (Taking a piece's
    last sample instead, as this did before PipeWire, counts the sound up
    to a block earlier: a quantum of 21 ms on PipeWire, a few milliseconds
    on PulseAudio.) lag() tells how much time was skipped."""

    WINDOW = 1.0
    BLOCK_GAP = 0.001

    def __init__(self, server, path):
        self.path = path
        self.out = open(path, "wb")
        self.data = bytearray()
        self.ends = []  # the sample count after each piece,
        self.arrivals = []  # when that piece arrived (time.monotonic()),
        self.starts = []  # and when sample 0 sounded, by that piece's block
        self.block = 0  # the index where the current block began
        self.lock = threading.Lock()
        args, env = server.record_command(RATE)
        self.proc = subprocess.Popen(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic()
            if not chunk:
                return
            self.out.write(chunk)
            with self.lock:
                if not self.arrivals or now - self.arrivals[-1] > self.BLOCK_GAP:
                    self.block = len(self.data) // 2
                self.data += chunk
                self.ends.append(len(self.data) // 2)
                self.arrivals.append(now)
                self.starts.append(now - self.block / RATE)

    def _start_near(self, index):
        """c for sample `index` (the lock held)."""
        lo = bisect.bisect_right(self.ends, index)
        hi = bisect.bisect_right(self.ends, index + int(self.WINDOW * RATE))
        if lo >= hi:
            lo = min(lo, len(self.starts) - 1)
            hi = lo + 1
        return min(self.starts[lo:hi])

    def wait_started(self, timeout=20.0):
        """Waits until the stream delivers samples."""
        wait_until(lambda: len(self) > RATE // 10, timeout, what="the recording to start")
        return self

    def __len__(self):
        with self.lock:
            return len(self.data) // 2

    def audio(self, start=0):
        """What was recorded so far, from sample `start` on (indices stay
        those of the whole recording)."""
        a = array.array("h")
        with self.lock:
            start = min(max(0, start), len(self.data) // 2)
            a.frombytes(bytes(self.data[start * 2:len(self.data) // 2 * 2]))
        return Audio(a, start)

    def index_at(self, t):
        """The sample played at time.monotonic() t."""
        with self.lock:
            near = self.ends[min(bisect.bisect_left(self.arrivals, t), len(self.ends) - 1)]
            return max(0, int(round((t - self._start_near(near)) * RATE)))

    def time_of(self, index):
        with self.lock:
            return self._start_near(index) + index / RATE

    def lag(self):
        """Seconds of the clock that the recording holds no sound for: time
        the server skipped (0 when it kept up)."""
        with self.lock:
            if len(self.starts) < 2:
                return 0.0
            return max(0.0, min(self.starts[-int(RATE / 10):]) - min(self.starts[:int(RATE / 10)]))

    def now_index(self):
        return self.index_at(time.monotonic())

    def wait_for_sound(self, start, timeout=20.0, threshold=300):
        """Waits for a sample above the threshold at or after index start;
        returns its index."""
        seen = [start]

        def look():
            a = self.audio(seen[0])
            i = a.first_audible(seen[0], threshold)
            seen[0] = max(seen[0], len(a))
            return i
        return wait_until(look, timeout, interval=0.02, what="sound")

    def wait_for_silence(self, start, quiet=0.7, timeout=30.0, threshold=300):
        """Waits until the recording after index start ends in `quiet`
        seconds without a sample above the threshold; returns the index just
        after the last loud sample (start when there was none)."""
        need = int(quiet * RATE)

        def look():
            a = self.audio(start)
            last = a.last_audible(start, threshold)
            end = start if last is None else last + 1
            # In a list: index 0 is a finding too.
            return [end] if len(a) - end >= need else None
        return wait_until(look, timeout, interval=0.05, what="silence")[0]

    def stop(self):
        """Ends parec (also when it ended with its server); returns the audio."""
        if not self.out.closed:
            stop_process(self.proc)
            self.reader.join(10)
            self.proc.stdout.close()
            self.out.close()
        return self.audio()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Audio:
    """Signed 16-bit mono samples at RATE; samples[0] is sample `offset` of
    the recording, and every index taken or given is the recording's."""

    def __init__(self, samples, offset=0):
        self.samples = samples
        self.offset = offset

    @classmethod
    def load(cls, path):
        a = array.array("h")
        with open(path, "rb") as f:
            data = f.read()
        a.frombytes(data[:len(data) // 2 * 2])
        return cls(a)

    def __len__(self):
        """The recording's index just after the last sample."""
        return self.offset + len(self.samples)

    def window_rms(self, start, count):
        part = self.samples[start:start + count]
        if not part:
            return 0.0
        return (sum(s * s for s in part) / len(part)) ** 0.5

    def audible_seconds(self, threshold=300, window_ms=20):
        """How long the sound is above the threshold (RMS over 20 ms windows)."""
        n = RATE * window_ms // 1000
        loud = sum(1 for i in range(0, len(self.samples), n) if self.window_rms(i, n) > threshold)
        return loud * window_ms / 1000.0

    def first_audible(self, start=0, threshold=300):
        """Index of the first sample at or after `start` whose magnitude is
        above the threshold; None when there is none."""
        s, o = self.samples, self.offset
        for i in range(max(start, o) - o, len(s)):
            if abs(s[i]) > threshold:
                return i + o
        return None

    def last_audible(self, start=0, threshold=300):
        """Index of the last sample at or after `start` above the threshold."""
        s, o = self.samples, self.offset
        for i in range(len(s) - 1, max(start, o) - o - 1, -1):
            if abs(s[i]) > threshold:
                return i + o
        return None

    def sounds(self, start=0, end=None, threshold=300, gap=0.3):
        """The sounds between indices start and end, as (first, last) pairs
        of loud samples: a sound ends where `gap` seconds pass without a
        sample above the threshold."""
        s, o = self.samples, self.offset
        need = int(gap * RATE)
        found, first, last = [], None, None
        for i in range(max(start, o) - o, min(len(s), (len(self) if end is None else end) - o)):
            if abs(s[i]) > threshold:
                if first is not None and i - last > need:
                    found.append((first + o, last + o))
                    first = None
                if first is None:
                    first = i
                last = i
        if first is not None:
            found.append((first + o, last + o))
        return found

    def peak(self):
        return max((abs(s) for s in self.samples), default=0)


def sox_rms(path):
    """RMS amplitude (0..1) of a raw recording as sox measures it."""
    res = subprocess.run(["sox", "-t", "raw", "-e", "signed", "-b", "16", "-c", "1", "-r", str(RATE),
                          path, "-n", "stat"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    for line in res.stderr.decode().splitlines():
        if line.startswith("RMS     amplitude"):
            return float(line.split(":")[1])
    raise E2EError("sox stat gave no RMS: " + res.stderr.decode())
