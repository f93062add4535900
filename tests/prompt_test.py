"""Each prompt is on screen before the tool waits for its answer, through a
pipe and through a terminal: we answer only once the prompt has arrived."""
import os
import re
import select
import subprocess
import time
import tty

from harness import *  # noqa: F401,F403
import harness
from terminal import open_terminal


# Wine draws its console on a terminal with cursor moves in place of spaces.
CURSOR_CONTROL = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]|\s")


class Conversation:
    def __init__(self, process, read_fd, write_fd, terminal=False):
        self.process = process
        self.read_fd = read_fd
        self.write_fd = write_fd
        self.terminal = terminal
        self.drawn = terminal and harness.ON_WINDOWS
        self.seen = ""

    def ends_with(self, text):
        if self.drawn:
            return CURSOR_CONTROL.sub("", self.seen).endswith(CURSOR_CONTROL.sub("", text))
        return self.seen.endswith(text)

    def wait_for(self, text, timeout=10):
        """Reads output until it ends with `text`; fails if the tool goes quiet."""
        deadline = time.monotonic() + timeout
        while not self.ends_with(text):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.read_fd], [], [], left)[0]:
                raise AssertionError("no %r before waiting; got %r" % (text, self.seen[-200:]))
            try:
                chunk = os.read(self.read_fd, 4096)
            except OSError:  # a terminal whose other side has closed
                chunk = b""
            if not chunk:
                raise AssertionError("output ended before %r; got %r" % (text, CURSOR_CONTROL.sub("", self.seen)[-300:]))
            self.seen += chunk.decode("utf-8", "replace").replace("\r\n", "\n")

    def say(self, text):
        # The Enter key of a terminal sends a carriage return.
        if self.terminal:
            text = text.replace("\n", "\r")
        os.write(self.write_fd, text.encode())


class PromptsAreShown(ToolTestCase):
    def setUp(self):
        super().setUp()
        write_file(self.path("rom.bin"), random_bytes(4096, seed=30))

    def start_with_pipes(self):
        process = subprocess.Popen(harness.tool_command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   cwd=self.dir)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.stdin.close)
        return Conversation(process, process.stdout.fileno(), process.stdin.fileno())

    def start_in_a_terminal(self):
        if harness.ON_WINDOWS and not os.environ.get("VELLORAN_WINE_CONSOLE"):
            # Wine's console on a pseudo-terminal now and then reads none of
            # the keys typed into it, so these runs are opt-in there.
            self.skipTest("set VELLORAN_WINE_CONSOLE=1 to converse with Wine's console")
        controller, terminal = open_terminal()
        if harness.ON_WINDOWS:
            tty.setraw(terminal)  # Wine's console reads keys, not the terminal's lines
        process = subprocess.Popen(harness.tool_command(), stdin=terminal, stdout=terminal, cwd=self.dir,
                                   env=dict(os.environ, LANG="C.UTF-8"))
        os.close(terminal)
        self.addCleanup(os.close, controller)
        return Conversation(process, controller, controller, terminal=True)

    def converse(self, conversation):
        for prompt, answer in zip(PROMPTS, ["rom.bin", "out/", "8", "8", "2", "0x20"]):
            conversation.wait_for(prompt)
            conversation.say(answer + "\n")
        conversation.wait_for(final_position(32 + 256))
        self.assertEqual(conversation.process.wait(timeout=10), 0)
        self.assertEqual(self.snapshots(), ["snap0000.bmp", "snap0001.bmp"])

    def test_through_a_pipe(self):
        self.converse(self.start_with_pipes())

    def test_through_a_terminal(self):
        self.converse(self.start_in_a_terminal())

    def test_names_beyond_ascii_typed_at_the_terminal(self):
        os.rename(self.path("rom.bin"), self.path("Ρομ-€.bin"))
        os.mkdir(self.path("ausgabe-ü"))
        conversation = self.start_in_a_terminal()
        for prompt, answer in zip(PROMPTS, ["Ρομ-€.bin", "ausgabe-ü/ñ-", "8", "8", "1", "0"]):
            conversation.wait_for(prompt)
            conversation.say(answer + "\n")
        conversation.wait_for(opening("ausgabe-ü/ñ-snap0000.bmp") + final_position(128))
        self.assertEqual(conversation.process.wait(timeout=10), 0)
        self.assertEqual(os.listdir(self.path("ausgabe-ü")), ["ñ-snap0000.bmp"])

    def test_answers_on_one_line_leave_only_the_start_address_to_wait_for(self):
        for start in (self.start_with_pipes, self.start_in_a_terminal):
            with self.subTest(through=start.__name__):
                conversation = start()
                conversation.wait_for(ROM_PROMPT)
                conversation.say("rom.bin out/ 8 8 1\n")
                conversation.wait_for(HINT + START_PROMPT)
                conversation.say("0\n")
                conversation.wait_for(final_position(128))
                self.assertEqual(conversation.process.wait(timeout=10), 0)


if __name__ == "__main__":
    harness.main()
