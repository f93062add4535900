"""The tests' one pseudo-terminal: open one of a size, run the tool on it (as its controlling
terminal or not), read what it shows until a condition holds, type keys, resize it, answer the
tool's queries, and see the screen through pyte, a terminal emulator we did not write."""
import errno
import fcntl
import os
import pty
import resource
import select
import struct
import subprocess
import termios
import threading
import time

try:
    import pyte
except ImportError:  # Debian's python3-pyte
    pyte = None

FRAME_END = b"\x1b[?2026l"
UPPER, LOWER = "\u2580", "\u2584"


def set_size(fd, columns, rows, x_pixels=0, y_pixels=0):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, x_pixels, y_pixels))


def open_terminal(columns=100, rows=30, x_pixels=0, y_pixels=0):
    """A new pseudo-terminal of that size: (controller, terminal)."""
    controller, terminal = pty.openpty()
    set_size(terminal, columns, rows, x_pixels, y_pixels)
    return controller, terminal


def environment(term="xterm-256color", **extra):
    """The tests' environment with TERM set to `term`, or without TERM for None."""
    env = {name: value for name, value in os.environ.items() if name != "TERM"}
    if term is not None:
        env["TERM"] = term
    env.update(extra)
    return env


def take_as_controlling_terminal():
    """In the child: standard input becomes its controlling terminal; and no core
    files (Ctrl-\\ dumps core)."""
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


class Terminal:
    """A command run in a pseudo-terminal of `columns` x `rows` (and pixels, where given), as its
    standard input and output; `controlling`: as its controlling terminal, as a shell would start
    it. What it shows is read by a thread of its own and, unless `shown` is (0, 0), by pyte (a
    screen of `shown` cells where the terminal claims more). `answer`: written back once the tool
    asks what the terminal is (ESC[c), as a terminal answers."""

    def __init__(self, argv, cwd, columns=100, rows=30, env=None, shown=None, controlling=True, pixels=(0, 0),
                 answer=None, stderr=None, typed=b""):
        self.controller, self.terminal = open_terminal(columns, rows, *pixels)
        self.mode_before = termios.tcgetattr(self.terminal)
        use_pyte = pyte is not None and shown != (0, 0)
        self.screen = pyte.Screen(*(shown or (columns, rows))) if use_pyte else None
        self.stream = pyte.ByteStream(self.screen) if use_pyte else None
        self.output = bytearray()  # grows by megabytes in kitty: never copied whole
        self.frame_ends = 0         # counted as the bytes come
        self.closed = False
        self.answer = answer
        self.asked_at = None        # when the tool asked what the terminal is
        self.lock = threading.Condition()
        self.process = subprocess.Popen(argv, stdin=self.terminal, stdout=self.terminal,
                                        stderr=self.terminal if stderr is None else stderr, cwd=cwd,
                                        env=dict(env or os.environ, TERM="xterm-256color"),
                                        start_new_session=controlling,
                                        preexec_fn=take_as_controlling_terminal if controlling else None)
        if typed:
            os.write(self.controller, typed)
        self.stopping = False
        self.reading = threading.Event()  # cleared: a terminal that has stopped reading
        self.reading.set()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while not self.stopping:
            if not self.reading.wait(0.05) or not select.select([self.controller], [], [], 0.05)[0]:
                continue
            try:
                chunk = os.read(self.controller, 1 << 20)
            except OSError as error:
                if error.errno != errno.EIO:
                    raise
                chunk = b""
            with self.lock:
                if not chunk:
                    self.closed = True
                    self.lock.notify_all()
                    return
                counted_from = max(0, len(self.output) - len(FRAME_END) + 1)
                self.output += chunk
                self.frame_ends += self.output.count(FRAME_END, counted_from)
                if self.answer is not None and self.asked_at is None and b"\x1b[c" in self.output:
                    self.asked_at = time.monotonic()
                    os.write(self.controller, self.answer)
                if self.stream:
                    self.stream.feed(chunk)
                self.lock.notify_all()

    def frames(self):
        with self.lock:
            return self.frame_ends

    def wait_for(self, condition, what, timeout=20):
        deadline = time.monotonic() + timeout
        with self.lock:
            while not condition():
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no %s; shown: %r" % (what, self.output[-300:]))
                self.lock.wait(left)

    def wait_frames(self, count):
        self.wait_for(lambda: self.frame_ends >= count, "frame %d" % count)

    def settle(self):
        """Waits until nothing more is shown for a moment."""
        while True:
            length = len(self.output)
            time.sleep(0.2)
            if len(self.output) == length:
                return

    def type(self, keys):
        os.write(self.controller, keys)

    def press(self, keys):
        """Sends `keys` and waits for the frame they lead to."""
        before = self.frames()
        self.type(keys)
        self.wait_frames(before + 1)

    def status(self):
        with self.lock:
            return self.screen.display[self.screen.lines - 1].rstrip()

    def resize(self, columns, rows, pixels=(0, 0), signal_it=False):
        """A new size, and the frame drawn for it. The kernel tells a controlling terminal's
        process; another gets SIGWINCH from here."""
        if self.screen:
            with self.lock:
                self.screen.resize(rows, columns)
        before = self.frames()
        set_size(self.terminal, columns, rows, *pixels)
        if signal_it:
            self.process.send_signal(28)  # SIGWINCH
        self.wait_frames(before + 1)

    def pixel(self, x, y):
        """The colour the screen shows for cell pixel (x, y): 'rrggbb' or None."""
        with self.lock:
            cell = self.screen.buffer[y // 2][x]
        if cell.data == UPPER:
            colour = cell.fg if y % 2 == 0 else cell.bg
        elif cell.data == LOWER:
            colour = cell.fg if y % 2 == 1 else "default"
        else:
            colour = "default" if cell.data == " " else "text"
        return None if colour == "default" else colour

    def finish(self, timeout=20):
        """The exit status, once everything the process wrote has been read."""
        status = self.process.wait(timeout=timeout)
        self.settle()
        return status

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.stopping = True
        self.reader.join()
        os.close(self.controller)
        os.close(self.terminal)
        if self.process.stderr:
            self.process.stderr.close()


def run_in_terminal(argv, cwd, columns=100, rows=30, term="xterm-256color", timeout=60):
    """Runs `argv` with its standard output and error on a pseudo-terminal of `columns` x `rows`
    whose TERM is `term` (None: unset), standard input empty; returns (everything shown, with
    the terminal's line ends as "\\n", and the exit status)."""
    controller, terminal = open_terminal(columns, rows)
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=terminal, stderr=terminal, cwd=cwd,
                               env=environment(term))
    os.close(terminal)
    shown = b""
    deadline = time.monotonic() + timeout
    try:
        while time.monotonic() < deadline:
            if not select.select([controller], [], [], 1)[0]:
                continue
            try:
                chunk = os.read(controller, 65536)
            except OSError as error:  # the other side closed
                if error.errno != errno.EIO:
                    raise
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(controller)
    status = process.wait(timeout=10)
    return shown.decode("utf-8").replace("\r\n", "\n"), status


def run_on_terminal(argv, cwd, env=None, timeout=30):
    """Runs `argv` to its end with standard input and output on a pseudo-terminal, standard error
    piped; returns (standard error, exit status, whether the terminal's mode is as it was)."""
    controller, terminal = open_terminal()
    before = termios.tcgetattr(terminal)
    try:
        done = subprocess.run(argv, stdin=terminal, stdout=terminal, stderr=subprocess.PIPE, cwd=cwd, timeout=timeout,
                              env=env or environment())
        unchanged = termios.tcgetattr(terminal) == before
    finally:
        os.close(terminal)
        os.close(controller)
    return done.stderr.decode(), done.returncode, unchanged


class Tmux:
    """A command run in a detached tmux session of `columns` x `rows` (a real terminal we did not
    write), then a shell line that says how it ended; killed by close()."""

    def __init__(self, argv, cwd, name, columns=140, rows=40):
        self.session = "%s-%d" % (name, os.getpid())
        command = " ".join(argv)
        subprocess.run(["tmux", "new-session", "-d", "-s", self.session, "-x", str(columns), "-y", str(rows),
                        "cd %s && TERM=xterm-256color %s; echo ended $?; sleep 30" % (cwd, command)], check=True)

    def run(self, *args):
        """A tmux command for this session's pane: send-keys, paste-buffer, ..."""
        subprocess.run(["tmux", args[0], "-t", self.session] + list(args[1:]), check=True)

    def screen(self, colours=False):
        return subprocess.run(["tmux", "capture-pane", "-t", self.session, "-p"] + (["-e"] if colours else []),
                              check=True, stdout=subprocess.PIPE).stdout.decode()

    def screen_once(self, text, colours=False, timeout=20):
        """The screen once it shows `text`, or as it is when `timeout` seconds have passed."""
        deadline = time.monotonic() + timeout
        while True:
            shown = self.screen(colours)
            if text in shown or time.monotonic() > deadline:
                return shown
            time.sleep(0.05)

    def close(self):
        subprocess.run(["tmux", "kill-session", "-t", self.session])
