"""Each prompt is on screen before the tool waits for its answer, through a
pipe and through a terminal: we answer only once the prompt has arrived."""
import os
import pty
import select
import subprocess
import time

from harness import *  # noqa: F401,F403
import harness


class Conversation:
    def __init__(self, process, read_fd, write_fd):
        self.process = process
        self.read_fd = read_fd
        self.write_fd = write_fd
        self.seen = ""

    def wait_for(self, text, timeout=10):
        """Reads output until it ends with `text`; fails if the tool goes quiet."""
        deadline = time.monotonic() + timeout
        while not self.seen.endswith(text):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.read_fd], [], [], left)[0]:
                raise AssertionError("no %r before waiting; got %r" % (text, self.seen[-200:]))
            chunk = os.read(self.read_fd, 4096)
            if not chunk:
                raise AssertionError("output ended before %r; got %r" % (text, self.seen[-200:]))
            self.seen += chunk.decode("latin-1").replace("\r\n", "\n")

    def say(self, text):
        os.write(self.write_fd, text.encode())


class PromptsAreShown(ToolTestCase):
    def setUp(self):
        super().setUp()
        write_file(self.path("rom.bin"), random_bytes(4096, seed=30))

    def start_with_pipes(self):
        process = subprocess.Popen([harness.TOOL], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   cwd=self.dir)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.stdin.close)
        return Conversation(process, process.stdout.fileno(), process.stdin.fileno())

    def start_in_a_terminal(self):
        controller, terminal = pty.openpty()
        process = subprocess.Popen([harness.TOOL], stdin=terminal, stdout=terminal, cwd=self.dir)
        os.close(terminal)
        self.addCleanup(os.close, controller)
        return Conversation(process, controller, controller)

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
