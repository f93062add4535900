"""--browse in a pseudo-terminal, its screen read by pyte (a terminal emulator
we did not write): what each key does to the status line, the cells against
Pillow's reading of the snapshot a dump writes, saves against a dump's files,
the terminal given back on every way out, a resize, a 4 GiB ROM, random keys,
and every usage error."""
import fcntl
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import termios
import time
import unittest

from harness import *  # noqa: F401,F403
import harness
import streams

from terminal import FRAME_END, UPPER, Terminal, Tmux, pyte, run_on_terminal
from terminal import environment as terminal_environment

DEMO_ROM = harness.DEMO_ROM
LEAVE = b"\x1b[0m\x1b[?25h\x1b[?1049l"


widen = harness.widen


def hex_colour(fields):
    return "%02x%02x%02x" % tuple(widen(f) for f in fields)


def process_state(pid):
    """The state letter /proc gives a process: R, S, T (stopped), ..."""
    with open("/proc/%d/stat" % pid) as stat:
        return stat.read().rsplit(")", 1)[1].split()[0]


class TerminalTestCase(ToolTestCase):
    """Runs --browse in pseudo-terminals, each closed at the end."""

    def setUp(self):
        super().setUp()
        self.terminals = []

    def tearDown(self):
        for terminal in self.terminals:
            terminal.close()
        super().tearDown()

    def start(self, args, columns=100, rows=30, **kwargs):
        terminal = Terminal(harness.tool_command(["--browse"] + [str(a) for a in args]), self.dir, columns, rows,
                            **kwargs)
        self.terminals.append(terminal)
        return terminal

    def open(self, args, columns=100, rows=30, **kwargs):
        terminal = self.start(args, columns, rows, **kwargs)
        terminal.wait_frames(1)
        return terminal

    def check_ctrl_z_fg_q(self, shell_argv, wrap="%s", rounds=1, fg_at_once=False, in_query=False,
                          parent_stops_first=False):
        """Ctrl-Z, fg and q in an interactive shell, `rounds` times: the mode stty shows is the same
        before, while stopped and after, as the tool itself gave it back. `wrap`: the command line
        around the tool's (a parent shell); `fg_at_once`: fg typed with the Ctrl-Z, before the tool has
        given the terminal back; `in_query`: the first Ctrl-Z while the tool asks the terminal what it
        draws, before its view; `parent_stops_first`: Ctrl-Z's signal reaches the parent first and the
        tool only once the shell has taken the terminal back, as happens on a busy machine."""
        shell = Terminal(shell_argv, self.dir, 100, 30, env=dict(os.environ, PS1="$ ", HISTFILE="/dev/null", ENV=""))
        self.terminals.append(shell)
        shell.wait_for(lambda: b"$ " in shell.output, "the prompt")
        tool = wrap % " ".join(harness.tool_command(["--browse", DEMO_ROM, "out/", "64", "32", "1", "0x20D"]))
        shell.type(b"stty -g > before; " + tool.encode() + b"\r")
        if in_query:
            shell.wait_for(lambda: b"\x1b[c" in shell.output, "the terminal asked")
        else:
            shell.wait_frames(1)
        offset = 0x20D
        for round in range(rounds):
            frames = shell.frames()
            if fg_at_once:
                shell.type(b"\x1a" + b"fg\r")
            elif parent_stops_first:
                parent = int(subprocess.run(["pgrep", "-P", str(shell.process.pid)], stdout=subprocess.PIPE,
                                            check=True).stdout)
                tool_pid = int(subprocess.run(["pgrep", "-P", str(parent)], stdout=subprocess.PIPE, check=True).stdout)
                os.kill(parent, signal.SIGTSTP)
                shell.wait_for(lambda: shell.output.count(b"Stopped") == round + 1, "the parent stopped")
                os.kill(tool_pid, signal.SIGTSTP)
                shell.wait_for(lambda: process_state(tool_pid) == "T", "the tool stopped")
                shell.type(b"stty -g > stopped%d; fg\r" % round)
            else:
                shell.type(b"\x1a")  # Ctrl-Z
                shell.wait_for(lambda: shell.output.count(b"Stopped") == round + 1, "the job stopped")
                shell.type(b"stty -g > stopped%d; fg\r" % round)
            shell.wait_frames(frames + 1)  # drawn again
            shell.settle()
            self.assertIn("0x%08X (%d)" % (offset, offset), shell.status())
            shell.press(b"j")
            offset += 128
            self.assertIn("0x%08X (%d)" % (offset, offset), shell.status())
        shell.type(b"q")
        shell.wait_for(lambda: LEAVE in shell.output and b" 0x%08X\r\n" % offset in shell.output[shell.output.rindex(LEAVE):],
                       "the command")
        shell.type(b"stty -g > after; exit\r")
        self.assertEqual(shell.finish(), 0)
        before = read_file(self.path("before"))
        if not fg_at_once:
            for round in range(rounds):
                self.assertEqual(read_file(self.path("stopped%d" % round)), before)
        self.assertEqual(read_file(self.path("after")), before)

    def check_last_command(self, terminal, expected, snapshot):
        """The command printed last is `expected`, and run into another folder it writes `snapshot` again."""
        command = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().split("\r\n")[-2]
        self.assertEqual(command, expected)
        os.makedirs(self.path("again"))
        done = subprocess.run(["bash", "-c", command.replace("velloran", '"$0"', 1).replace(" out/", " again/"),
                               harness.TOOL], cwd=self.dir)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(read_file(self.path("out", snapshot)), read_file(self.path("again", snapshot)))


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class Browse(TerminalTestCase):

    def dump_fields(self, offset, width=64, height=32, folder="reference"):
        """The snapshot a dump writes for these values, as Pillow decodes it: its 5-bit fields."""
        os.makedirs(self.path(folder), exist_ok=True)
        _, err, status = run_with_arguments([DEMO_ROM, folder + "/", width, height, 1, offset], self.dir)
        self.assertEqual((err, status), ("", 0))
        names = sorted(os.listdir(self.path(folder)))
        size, fields = decoded_colours(self.path(folder, names[-1]))
        self.assertEqual(size, (width, height))
        return fields

    def test_each_key_does_what_the_status_line_then_says(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D])
        self.assertEqual(terminal.status(), "demo.rom  0x0000020D (525)  of 16909 bytes  64x32 bgr555le  zoom 1:1  BMP  ? help")
        cases = [  # keys, what the status line must then hold
            (b"l", "0x0000020F (527)"), (b"\x1b[C", "0x00000211 (529)"), (b"h", "0x0000020F (527)"),
            (b"\x1bOD", "0x0000020D (525)"), (b"j", "0x0000028D (653)"), (b"\x1b[A", "0x0000020D (525)"),
            (b"]", "0x0000120D (4621)"), (b"[", "0x0000020D (525)"), (b".", "0x0000020E (526)"),
            (b",", "0x0000020D (525)"), (b"\x1b[6~", "0x0000120D (4621)"), (b"\x1b[5~", "0x0000020D (525)"),
            (b" ", "0x0000120D (4621)"), (b"b", "0x0000020D (525)"), (b"G", "0x0000320D (12813)"),
            (b"g", "0x00000001 (1)"), (b"\x1b[F", "0x0000320D (12813)"), (b"\x1b[H", "0x00000001 (1)"),
            (b">", "65x32"), (b"<", "64x32"), (b"}", "64x33"), (b"{", "64x32"), (b"-", "zoom 1:2"),
            (b"=", "zoom 1:1"), (b"+", "zoom 2:1"), (b"z", "zoom 1:1"), (b"o0x20D\r", "0x0000020D (525)"),
            (b"o+4096\r", "0x0000120D (4621)"), (b"o-4096\r", "0x0000020D (525)"), (b"W0x20\r", "32x32"),
            (b"H16\r", "32x16"), (b"W64\rH32\r", "64x32"), (b"\x0c", "0x0000020D (525)"),
        ]
        for keys, shown in cases:
            with self.subTest(keys=keys):
                terminal.press(keys)
                self.assertIn(shown, terminal.status())
        # While typing: the prompt; a number that cannot be used is explained and changes nothing.
        terminal.press(b"o")
        self.assertEqual(terminal.status(), "Offset (hex with 0x, $, h, a leading 0 or a letter A-F): _")
        terminal.press(b"12x")
        self.assertEqual(terminal.status(), "Offset (hex with 0x, $, h, a leading 0 or a letter A-F): 12x_")
        terminal.press(b"\r")
        self.assertEqual(terminal.status(),
                         "Not a number: type one as 525, or in hex as 0x20D, $20D, 20Dh, 020D or 1A3460.")
        # As a hex editor shows offsets: a leading 0, $ or a trailing h; decimal otherwise.
        for typed, shown in [(b"o00001000\r", "0x00001000 (4096)"), (b"o$20D\r", "0x0000020D (525)"),
                             (b"o1000h\r", "0x00001000 (4096)"), (b"o1000\r", "0x000003E8 (1000)"),
                             (b"o0x20D\r", "0x0000020D (525)")]:
            terminal.press(typed)
            self.assertIn(shown, terminal.status())
        terminal.press(b"o99999\r")
        self.assertIn("Past the ROM's end", terminal.status())
        # The limits and messages of the dump's own answers; nothing changes.
        for typed, said in [
                (b"W0\r", "Width and height start at 1."),
                (b"W2147483648\r", "Number too large: at most 2147483647."),
                (b"H-3\r", "Negative numbers cannot be used here."),
                (b"W2147483647\r", "Image too large: width x height x 2 must stay within 2147483647 bytes."),
                (b"o$8000000000000000\r", "Number too large: at most 9223372036854775807."),
                (b"o9223372036854775807\r", "Past the ROM's end: an offset must be below its size.")]:
            with self.subTest(typed=typed):
                terminal.press(typed)
                self.assertEqual(terminal.status(), said)
                terminal.press(b"\x0c")
                self.assertIn("0x0000020D (525)  of 16909 bytes  64x32", terminal.status())
        terminal.press(b"o5")
        terminal.press(b"\x1b")  # Esc, once no sequence follows, cancels the typing; the view stays
        self.assertIn("0x0000020D (525)", terminal.status())
        terminal.resize(100, 34)  # tall enough for the whole help
        terminal.press(b"?")
        with terminal.lock:
            self.assertTrue(any("Any key closes this help." in line for line in terminal.screen.display))
        terminal.press(b"q")  # closes the help, and only that
        self.assertIn("? help", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def check_image(self, terminal, fields, left, top, zoom, width=64, height=32):
        """The image's cell pixels at (left, top) against the dump's fields."""
        expected_rows = []
        if zoom >= 1:
            for y in range(height * zoom):
                expected_rows.append([hex_colour(fields[(y // zoom) * width + x // zoom]) for x in range(width * zoom)])
        else:
            k = -zoom
            for top_row in range(0, height, k):
                row = []
                for left_column in range(0, width, k):
                    block = [fields[y * width + x] for y in range(top_row, min(top_row + k, height))
                             for x in range(left_column, min(left_column + k, width))]
                    row.append("%02x%02x%02x" % tuple((sum(widen(p[c]) for p in block) * 2 + len(block))
                                                      // (2 * len(block)) for c in range(3)))
                expected_rows.append(row)
        shown = [[terminal.pixel(left + x, 2 * top + y) for x in range(len(expected_rows[0]))]
                 for y in range(len(expected_rows))]
        self.assertEqual(shown, expected_rows)

    def test_the_view_shows_what_a_dump_writes(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D], columns=140, rows=40)
        # 140 x 39 cells hold 140 x 78 pixels: the zoom that fits one image is 2:1.
        self.assertIn("zoom 2:1", terminal.status())
        self.check_image(terminal, self.dump_fields(0x20D), 0, 0, 2)
        terminal.press(b"-")
        # At 1:1 two images across, one blank column between, and two down.
        for index, (left, top) in enumerate([(0, 0), (65, 0), (0, 17), (65, 17)]):
            with self.subTest(zoom="1:1", image=index):
                self.check_image(terminal, self.dump_fields(0x20D + index * 4096, folder="one-%d" % index),
                                 left, top, 1)
        with terminal.lock:
            self.assertEqual(terminal.screen.buffer[0][64].data, " ")
        terminal.press(b"-")  # 1:2
        self.assertIn("zoom 1:2", terminal.status())
        self.check_image(terminal, self.dump_fields(0x20D), 0, 0, -2)
        terminal.press(b"-")  # 1:3, edge blocks averaging what they hold
        self.check_image(terminal, self.dump_fields(0x20D), 0, 0, -3)
        # Past the ROM's end the terminal's own background shows.
        terminal.press(b"G")
        with terminal.lock:
            self.assertEqual(terminal.screen.buffer[17][0].data, " ")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def test_a_save_that_fails_names_the_file_and_the_reason(self):
        os.mkdir(self.path("gone"))
        terminal = self.open([DEMO_ROM, "gone/", 64, 32, 1, 0x20D])
        os.rmdir(self.path("gone"))  # the folder goes while the view is up
        terminal.press(b"s")
        terminal.wait_for(lambda: "Unable" in terminal.status(), "the failed save")
        self.assertEqual(terminal.status(), "Unable to write to file gone/snap0000.bmp: No such file or directory")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 1)

    def test_saves_are_byte_for_byte_what_a_dump_writes(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D], columns=140, rows=40)
        terminal.press(b"-]]")  # 1:1: four images shown
        terminal.press(b"s")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save's message")
        self.assertEqual(terminal.status(), "Saved out/snap0000.bmp at 0x0000220D, 64x32")
        terminal.press(b"gS")  # every image shown: four
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save's message")
        self.assertEqual(terminal.status(), "Saved out/snap0001.bmp to out/snap0004.bmp at 0x00000001, 64x32")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        # What a dump with the same values writes, in a folder of its own.
        os.makedirs(self.path("dump"))
        run_with_arguments([DEMO_ROM, "dump/", 64, 32, 1, 0x220D], self.dir)
        run_with_arguments([DEMO_ROM, "dump/", 64, 32, 4, 1], self.dir)
        for name in ["snap%04d.bmp" % n for n in range(5)]:
            self.assertEqual(read_file(self.path("out", name)), read_file(self.path("dump", name)), name)
        # After leaving: what each save printed, as a dump prints it, and the command that
        # writes it again; then the last view's command.
        after = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().replace("\r\n", "\n")
        first = "\nvelloran %s out/ 64 32 1 0x0000220D" % DEMO_ROM
        second = "\nvelloran %s out/ 64 32 4 0x00000001" % DEMO_ROM
        self.assertEqual(after, opening("out/snap0000.bmp") + first
                         + "".join(opening("out/snap%04d.bmp" % n) for n in range(1, 5)) + second
                         + "\nvelloran %s out/ 64 32 1 0x00000001\n" % DEMO_ROM)
        os.makedirs(self.path("again"))
        for command in [first, second]:
            done = subprocess.run(["bash", "-c", command.strip().replace("velloran", '"$0"', 1).replace(" out/", " again/"),
                                   harness.TOOL], cwd=self.dir, stdout=subprocess.DEVNULL)
            self.assertEqual(done.returncode, 0)
        for n in range(5):
            self.assertEqual(read_file(self.path("out", "snap%04d.bmp" % n)), read_file(self.path("again", "snap%04d.bmp" % n)))

    def test_the_command_printed_dumps_the_last_view(self):
        write_file(self.path("my rom's.bin"), read_file(DEMO_ROM))
        terminal = self.open(["my rom's.bin", "out/", 64, 32, 2, 0x20D])
        terminal.press(b"]>")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        command = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().strip()
        self.assertEqual(command, "velloran 'my rom'\\''s.bin' out/ 65 32 2 0x0000120D")
        done = subprocess.run(["bash", "-c", command.replace("velloran", '"$0"', 1), harness.TOOL], cwd=self.dir,
                              stdout=subprocess.PIPE)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(self.snapshots(), ["snap0000.bmp", "snap0001.bmp"])
        self.assertEqual(decoded_colours(self.path("out", "snap0000.bmp"))[0], (65, 32))

    def test_the_terminal_is_given_back_on_every_way_out(self):
        ways = [  # what ends the view, the exit status
            ("q", lambda t: t.type(b"q"), 0),
            ("Esc", lambda t: t.type(b"\x1b"), 0),
            ("Ctrl-C", lambda t: t.type(b"\x03"), -signal.SIGINT),
            ("SIGTERM", lambda t: t.process.send_signal(signal.SIGTERM), -signal.SIGTERM),
            ("SIGHUP", lambda t: t.process.send_signal(signal.SIGHUP), -signal.SIGHUP),
            ("Ctrl-\\", lambda t: t.type(b"\x1c"), -signal.SIGQUIT),
        ]
        for name, end, status in ways:
            with self.subTest(way=name):
                terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D])
                terminal.press(b"j")
                end(terminal)
                self.assertEqual(terminal.finish(), status)
                self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)
                self.assertIn(LEAVE, terminal.output[terminal.output.rindex(FRAME_END):])
                with terminal.lock:
                    self.assertFalse(terminal.screen.cursor.hidden)
                # Then the command, as after q.
                self.assertIn(b"velloran " + DEMO_ROM.encode(), terminal.output[terminal.output.rindex(LEAVE):])

    def test_ctrl_z_gives_the_terminal_back_and_fg_takes_it_again(self):
        self.check_ctrl_z_fg_q(["bash", "--norc", "--noprofile", "-i"])

    def test_a_resized_terminal_is_drawn_at_its_new_size(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D], columns=100, rows=30)
        terminal.resize(140, 40)
        self.assertIn("? help", terminal.status())
        self.check_image(terminal, self.dump_fields(0x20D + 4096), 65, 0, 1)  # room for a second image
        terminal.resize(60, 12)
        self.assertIn("demo.rom", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def test_a_4_gib_rom_is_read_only_where_it_is_shown(self):
        with open(self.path("big.rom"), "wb") as rom:
            rom.truncate(4 << 30)
            rom.seek((4 << 30) - 4096)
            rom.write(random_bytes(4096, seed=95))
        terminal = self.open(["big.rom", "out/", 64, 32], columns=200, rows=60)
        for keys in [b"G", b"-", b"-", b"-", b"g", b"\x1b[6~", b"o0x80000001\r", b"+", b"+"]:
            terminal.press(keys)
        with open("/proc/%d/io" % terminal.process.pid) as io:
            read_bytes = int(re.search(r"rchar: (\d+)", io.read()).group(1))
        with open("/proc/%d/status" % terminal.process.pid) as status:
            peak = int(re.search(r"VmHWM:\s+(\d+) kB", status.read()).group(1)) * 1024
        self.assertIn("0x80000001", terminal.status())
        self.assertLess(read_bytes, 64 << 20)
        if not harness.VALGRIND and not os.environ.get("VELLORAN_SANITIZED"):
            self.assertLess(peak, 32 << 20)
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def test_random_keys_never_break_it_and_q_still_leaves(self):
        chance = random.Random(96)
        # Without the keys that leave, save or signal.
        keys = bytes(b for b in chance.randbytes(20000) if b not in b"qsS\x1b\x03\x1a\x1c\x7f")
        terminal = self.open([DEMO_ROM, "out/", 8, 8, 1, 0], columns=80, rows=24)
        for start in range(0, len(keys), 500):
            terminal.type(keys[start:start + 500])
            time.sleep(0.01)
        terminal.type(b"\r\x1b")  # end any typing
        time.sleep(0.3)
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)
        self.assertEqual(self.snapshots(), [])


FRAME_START = b"\x1b[?2026h"


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class BrowseStreams(TerminalTestCase):
    """c decodes the stream at the offset, d and D jump between the streams a scan finds."""

    def test_c_shows_and_saves_a_decoded_picture(self):

        pictures = read_file(DEMO_ROM)[0x20D:0x20D + 2 * 4096]  # two of the demo's pictures, 64 x 32
        rom = bytearray(random_bytes(0x10000, seed=40))
        stream = streams.lz77(pictures)
        rom[0x4000:0x4000 + len(stream)] = stream
        rom[0x100:0x104] = struct.pack("<I", 0x08004000)
        second = streams.rle(pictures[:600])
        rom[0x9000:0x9000 + len(second)] = second
        rom[0x200:0x204] = struct.pack("<I", 0x08009000)
        write_file(self.path("rom.bin"), rom)
        terminal = self.open(["rom.bin", "out/", 64, 32, 1, 0x10], columns=100, rows=30)
        terminal.press(b"c")  # noise: the view stays
        said = "The stream at 0x00000010: its header's type byte is not that of a stream: lz77 0x10, lz11 0x11"
        self.assertTrue(terminal.status().startswith(said), terminal.status())  # cut at the screen's width
        terminal.press(b"\x0c")
        self.assertIn("0x00000010 (16)", terminal.status())
        terminal.press(b"d")
        self.assertEqual(terminal.status(), "lz77 0x00004000 (8192 bytes), stream 1 of 2: c decodes it")
        terminal.press(b"c")
        self.assertIn("rom.bin  lz77 0x00004000 (8192 bytes)  0x00000000 (0)  of 8192 bytes  64x32", terminal.status())
        Browse.check_image(self, terminal, Browse.dump_fields(self, 0x20D), 0, 0, 1)
        terminal.press(b"]s")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save's message")
        terminal.press(b"c")
        self.assertIn("0x00004000 (16384)  of 65536 bytes", terminal.status())
        terminal.press(b"u")  # back into the stream, where the view was
        self.assertIn("lz77 0x00004000 (8192 bytes)  0x00001000 (4096)", terminal.status())
        terminal.press(b"d")
        self.assertEqual(terminal.status(), "rle 0x00009000 (600 bytes), stream 2 of 2: c decodes it")
        terminal.press(b"d")
        self.assertEqual(terminal.status()[:23], "No stream after this of")
        terminal.press(b"DD")
        self.assertEqual(terminal.status()[:24], "No stream before this of")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        command = "velloran --compression=lz77 --decoded-offset=4096 rom.bin out/ 64 32 1 0x00004000"
        after = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().replace("\r\n", "\n")
        self.assertIn("\n" + command + "\n", after)
        # The dump with the printed command writes the same file.
        os.makedirs(self.path("dump"))
        done = subprocess.run(["bash", "-c", command.replace("velloran", '"$0"', 1).replace(" out/", " dump/"),
                               harness.TOOL], cwd=self.dir, stdout=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), read_file(self.path("dump", "snap0000.bmp")))

    def test_a_stream_given_on_the_command_line(self):

        rom = bytearray(random_bytes(0x2000, seed=41))
        stream = streams.rle(read_file(DEMO_ROM)[0x20D:0x20D + 4096])
        rom[0x800:0x800 + len(stream)] = stream
        write_file(self.path("rom.bin"), rom)
        terminal = self.open(["--compression=auto", "rom.bin", "out/", 64, 32, 1, 0x800])
        self.assertIn("rle 0x00000800 (4096 bytes)  0x00000000 (0)  of 4096 bytes", terminal.status())
        Browse.check_image(self, terminal, Browse.dump_fields(self, 0x20D), 0, 0, 1)
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class BrowseMaps(TerminalTestCase):
    """--map in the live view: the pictures a dump draws, the entry under the cursor, a and s."""

    def test_the_pictures_the_entries_and_a_save(self):
        rng = random.Random(50)
        rom = bytearray(random_bytes(0x30000, seed=51))
        for i in range(256):
            rom[0x100 + 2 * i:0x102 + 2 * i] = struct.pack("<H", rng.randrange(0x8000))
        entries = [rng.randrange(64) | rng.randrange(4) << 10 | rng.randrange(16) << 12 for _ in range(16 * 8 * 4)]
        rom[0x20000:0x20000 + 2 * len(entries)] = b"".join(struct.pack("<H", e) for e in entries)
        write_file(self.path("map.rom"), rom)
        args = ["--format=t4p", "--palette=0x100", "--map=0x20000", "map.rom", "out/", 128, 64, 1, 0x1000]
        os.makedirs(self.path("dump"))
        _, err, status = run_with_arguments(args[:4] + ["dump/"] + args[5:], self.dir)
        self.assertEqual((err, status), ("", 0))
        terminal = self.open(args, columns=140, rows=40)
        self.assertIn("128x64 t4p  zoom 1:1  palette 0x00000100 bank 0  BMP  map 0x00020000  ? help", terminal.status())
        from PIL import Image
        with Image.open(self.path("dump", "snap0000.bmp")) as picture:
            expected = [["%02x%02x%02x" % picture.convert("RGB").getpixel((x, y)) for x in range(128)] for y in range(64)]
        shown = [[terminal.pixel(x, y) for x in range(128)] for y in range(64)]
        self.assertEqual(shown, expected)
        terminal.press(b"x")  # the cursor, on the first entry
        first = entries[0]
        self.assertEqual(terminal.status(), "map entry 0x00020000  tile %d%s%s  bank %d  picture 0  x 0, y 0" % (
            first & 0x3FF, "  h" if first >> 10 & 1 else "", "  v" if first >> 11 & 1 else "", first >> 12))
        terminal.press(b"lllllllll")  # the next tile's entry
        second = entries[1]
        self.assertTrue(terminal.status().startswith("map entry 0x00020002  tile %d" % (second & 0x3FF)), terminal.status())
        terminal.press(b"xa")  # the bare tiles
        self.assertNotIn("map 0x", terminal.status())
        terminal.press(b"as")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save's message")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), read_file(self.path("dump", "snap0000.bmp")))
        after = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode()
        self.assertIn("velloran --format=t4p --map=0x20000 --palette=0x100 map.rom out/ 128 64 1 0x00001000", after)


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
@harness.needs(os.path.exists(harness.IMAGEMAGICK), "ImageMagick is")
class BrowsePalettes(TerminalTestCase):
    """n and N: the palettes found for the picture shown; a click on the strip."""

    def test_n_reaches_the_pictures_own_palette_and_s_saves_its_colours(self):
        from palette_scan_test import PICTURES, build_rom
        rom, placed = build_rom(self.dir, PICTURES[:2], 4, 70)
        write_file(self.path("rom.bin"), rom)
        for number, (at, width, height, own, palette) in enumerate(placed):
            with self.subTest(picture=number):
                # One picture on screen: what is ranked is what is shown.
                terminal = self.open(["--format=t4p", "rom.bin", "out/", width, height, 1, at], columns=100, rows=30)
                table, bank = 0x300000, (own - 0x300000) // 32
                wanted = "Palette 0x%08X bank %d: " % (table, bank)
                for press in range(1, 13):
                    terminal.press(b"n")
                    if wanted in terminal.status():
                        break
                self.assertIn(wanted, terminal.status())
                print("picture %d: its own palette at n press %d" % (number, press))
                if press > 1:
                    terminal.press(b"N")
                    self.assertIn(": %d of " % (press - 1), terminal.status())
                    terminal.press(b"n")
                terminal.press(b"s")
                terminal.wait_for(lambda: "Saved" in terminal.status(), "the save's message")
                terminal.type(b"q")
                self.assertEqual(terminal.finish(), 0)
                from PIL import Image
                with Image.open(self.path("out", "snap%04d.bmp" % number)) as bmp:
                    self.assertEqual(bmp.getpalette()[:48], [harness.widen(c) for colour in palette for c in colour])

    def test_a_click_on_the_strip_names_the_colour(self):
        rom = bytearray(random_bytes(0x1000, seed=71))
        rom[0x800:0x820] = b"".join(struct.pack("<H", i * 0x421) for i in range(16))  # a grey ramp of 16
        write_file(self.path("rom.bin"), rom)
        terminal = self.open(["--format=t4p", "--palette=0x800", "rom.bin", "out/", 8, 8, 1, 0], columns=80, rows=24)
        # The strip is the row above the status line; 80 columns show 16 colours five columns each.
        terminal.press(b"\x1b[<0;%d;%dM" % (5 * 7 + 3, 23))
        self.assertEqual(terminal.status(), "Colour 7: 0x1CE7 (red 7, green 7, blue 7 of 31).")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class BrowseFormats(TerminalTestCase):
    def test_every_format_shows_the_colours_its_fields_make(self):
        import format_test
        rom = random_bytes(64 * 32 * 4 * 2, seed=293)
        write_file(self.path("rom.bin"), rom)
        for name in ["rgb565le", "rgba5551be", "rgba", "rgb24", "bgr444be", "be24:x21-23,r14-20,g7-13,b0-6"]:
            layout = format_test.FORMATS.get(name) or format_test.DESCRIBED[name]
            with self.subTest(format=name):
                terminal = self.open(["--format=" + name, "rom.bin", "out/", 64, 32, 1, 3])
                self.assertIn("64x32 %s  zoom 1:1" % name, terminal.status())
                colours = ["%02x%02x%02x" % tuple(format_test.widen(fields[c], layout["fields"][c][1]) for c in "rgb")
                           for fields in (format_test.fields_of(layout, w)
                                          for w in format_test.words(layout, rom[3:3 + 64 * 32 * layout["bytes"]]))]
                shown = [terminal.pixel(x, y) for y in range(32) for x in range(64)]
                self.assertEqual(shown, colours)
                # A pixel step is one pixel of the format.
                terminal.press(b"l")
                self.assertIn("0x%08X" % (3 + layout["bytes"]), terminal.status())
                terminal.type(b"q")
                self.assertEqual(terminal.finish(), 0)
                # The save and the printed command carry the format; the command writes the same file.
                command = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().strip()
                self.assertIn("--format=" + name, command)

    def test_png_saves_and_their_command(self):
        terminal = self.open(["--png", DEMO_ROM, "out/", 64, 32, 1, 0x20D])
        self.assertIn("  PNG  ? help", terminal.status())
        terminal.press(b"s")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save")
        self.assertEqual(terminal.status(), "Saved out/snap0000.png at 0x0000020D, 64x32")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.check_last_command(terminal, "velloran --png %s out/ 64 32 1 0x0000020D" % DEMO_ROM, "snap0000.png")

    def test_t_switches_saves_to_png_as_the_dump_writes_them(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D])
        self.assertIn("  BMP  ? help", terminal.status())
        terminal.press(b"t")
        self.assertEqual(terminal.status(), "Saves are PNG files now (t: BMP).")
        terminal.press(b"j")
        self.assertIn("0x0000028D (653)", terminal.status())
        self.assertIn("  PNG  ? help", terminal.status())
        terminal.press(b"s")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save")
        self.assertEqual(terminal.status(), "Saved out/snap0000.png at 0x0000028D, 64x32")
        terminal.press(b"tt")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.check_last_command(terminal, "velloran --png %s out/ 64 32 1 0x0000028D" % DEMO_ROM, "snap0000.png")
        os.makedirs(self.path("dump"))
        out, err, status = run_with_arguments(["--png", DEMO_ROM, "dump/", 64, 32, 1, 0x28D], self.dir)
        self.assertEqual((err, status), ("", 0))
        self.assertEqual(read_file(self.path("dump", "snap0000.png")), read_file(self.path("out", "snap0000.png")))

    def test_m_steps_through_the_ring_and_M_takes_a_typed_format(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D])
        for name in ["bgr555be", "rgb565le", "rgba5551be", "rgba", "i1", "i4", "i8", "t1", "t2p", "t4p", "t4", "t4r",
                     "t8", "bgr555le"]:
            terminal.press(b"m")
            self.assertIn("64x32 %s  zoom" % name, terminal.status())
        terminal.press(b"M")
        self.assertTrue(terminal.status().startswith("Format (a name or a description"), terminal.status())
        terminal.press(b"le16:r11-15,g5-10,b0-4\r")
        self.assertIn("64x32 le16:r11-15,g5-10,b0-4  zoom", terminal.status())
        terminal.press(b"Mrgb556le\r")
        self.assertEqual(terminal.status(), "unknown format 'rgb556le'; the closest: rgb555le (--list-formats shows "
                                            "them all)")
        terminal.press(b"Mrgba\r")
        terminal.press(b"s")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.check_last_command(terminal, "velloran --format=rgba %s out/ 64 32 1 0x0000020D" % DEMO_ROM, "snap0000.bmp")


def t4p_tiles(indices, width, height):
    """`indices` (top row first) as 8x8 t4p tiles: planes 0-1 interleaved row by row, then 2-3."""
    data = bytearray()
    for tile_y in range(0, height, 8):
        for tile_x in range(0, width, 8):
            tile = bytearray(32)
            for row in range(8):
                for plane in range(4):
                    byte = 0
                    for column in range(8):
                        byte |= (indices[(tile_y + row) * width + tile_x + column] >> plane & 1) << (7 - column)
                    tile[16 * (plane // 2) + 2 * row + plane % 2] = byte
            data += tile
    return bytes(data)


def f_picture(size=32):
    """An asymmetric F of colour 9 on 3, with a border of 14, in a size x size picture."""
    indices = []
    for y in range(size):
        for x in range(size):
            border = x in (0, size - 1) or y in (0, size - 1)
            stem = 8 <= x < 12 and 6 <= y < 26
            bars = (6 <= y < 10 and 8 <= x < 24) or (14 <= y < 18 and 8 <= x < 19)
            indices.append(14 if border else 9 if stem or bars else 3)
    return indices


def mouse(button, column, row, release=False):
    """An SGR mouse report for the cell (column, row), counted from 0."""
    return b"\x1b[<%d;%d;%d%s" % (button, column + 1, row + 1, b"m" if release else b"M")


def click(column, row, button=0):
    return mouse(button, column, row) + mouse(button, column, row, release=True)


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class BrowsePointing(TerminalTestCase):
    def test_the_mouse_is_reported_only_while_the_view_is_shown(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D])
        # After the terminal's queries, the full screen with the mouse reported.
        self.assertIn(b"\x1b[?1049h\x1b[?25l\x1b[?2004h\x1b[?1003h\x1b[?1006h", terminal.output)
        self.assertEqual(terminal.output.count(b"\x1b[?1003h"), 1)
        terminal.type(b"\x1a")  # Ctrl-Z: the terminal given back, the mouse off, before the stop
        terminal.wait_for(lambda: terminal.output.count(LEAVE) == 1, "the terminal given back")
        leave = terminal.output[terminal.output.rindex(b"\x1b[?1006l"):]
        self.assertTrue(leave.startswith(b"\x1b[?1006l\x1b[?1003l\x1b[?2004l" + LEAVE), leave)
        terminal.process.send_signal(signal.SIGCONT)
        terminal.wait_frames(2)
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        # Taken again after fg (and once more for the SIGCONT that fg sent); given back twice.
        self.assertGreaterEqual(terminal.output.count(b"\x1b[?1003h"), 2)
        self.assertEqual(terminal.output.count(b"\x1b[?1003l"), 2)
        # Nothing turns it on again after the last leave.
        self.assertGreater(terminal.output.rindex(b"\x1b[?1003l"), terminal.output.rindex(b"\x1b[?1003h"))

    def test_pointing_shows_the_pixel_and_clicks_pick(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D], columns=140, rows=40)
        # A click is two reports, each drawn: the status line is waited for, not a count of frames.
        until = lambda text: terminal.wait_for(lambda: text in terminal.status(), text)  # noqa: E731
        terminal.press(b"-")  # 1:1: images 64 pixels (cells) wide, 16 cells high, one blank cell between
        # The second image across, its pixel (10, 6): cell (65 + 10, 3) holds rows 6 and 7.
        terminal.type(mouse(35, 75, 3))  # a motion, no button
        offset = 0x20D + 4096 + (6 * 64 + 10) * 2
        until("image 1")
        self.assertEqual(terminal.status(), "0x%08X (%d)  image 1  x 10, y 6  double click: view from its image, "
                                            "right click: from here" % (offset, offset))
        # Between the images: nothing pointed at, the status line as it was.
        terminal.type(mouse(35, 64, 3))
        until("0x0000020D (525)  of")
        # A double click starts the view at the pointed image; a right click at the pointed pixel.
        terminal.type(click(75, 3) + click(75, 3) + b"k")  # a key: the pointer's text gives way to the status line
        until("0x%08X (%d)  of" % (0x20D + 4096 - 128, 0x20D + 4096 - 128))
        # The same cell now shows that pixel of the image after, a row up: 4096 - 128 bytes on.
        picked = offset + 4096 - 128
        terminal.type(click(75, 3, button=2) + b"j")
        until("0x%08X (%d)  of" % (picked + 128, picked + 128))
        # One click, or two on different cells, picks nothing.
        terminal.type(click(2, 2) + click(3, 2) + b"k")
        until("0x%08X (%d)  of" % (picked, picked))
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def test_the_wheel_scrolls_rows_and_pans_with_shift(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D], columns=140, rows=40)
        terminal.press(b"-")  # 1:1, half blocks: a text line is two image rows
        terminal.press(mouse(65, 5, 5))  # wheel down
        self.assertIn("0x%08X" % (0x20D + 2 * 128), terminal.status())
        terminal.press(mouse(64, 5, 5))  # wheel up
        self.assertIn("0x0000020D", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def test_a_wide_image_is_panned_and_the_status_line_says_which_part(self):
        write_file(self.path("rom.bin"), random_bytes(256 * 40 * 2, seed=341))
        terminal = self.open(["rom.bin", "out/", 256, 20, 1, 0], columns=100, rows=30)
        terminal.press(b"Z1:1\r")
        self.assertIn("256x20 bgr555le  zoom 1:1  x 0-99 of 256", terminal.status())
        rom = read_file(self.path("rom.bin"))
        words = struct.unpack_from("<%dH" % (256 * 20), rom)

        def shown_columns(first):
            return [terminal.pixel(x, 0) for x in range(100)], [
                hex_colour((w & 31, w >> 5 & 31, w >> 10 & 31)) for w in words[first:first + 100]]

        for keys, first in [(b"\x1b[1;2C", 25), (b"\x1b[1;5C", 50), (mouse(69, 5, 5), 75), (b"\x1b[1;2C", 100),
                            (b"\x1b[1;2C\x1b[1;2C\x1b[1;2C\x1b[1;2C", 156), (mouse(68, 5, 5), 131)]:
            terminal.press(keys)
            self.assertIn("x %d-%d of 256" % (first, first + 99), terminal.status())
            shown, expected = shown_columns(first)
            self.assertEqual(shown, expected)
        # A pointed pixel counts the pan: cell 0 is column 131.
        terminal.press(mouse(35, 0, 0))
        self.assertIn("x 131, y 0", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)

    def test_four_hidden_pictures_are_reached_through_the_overview_in_25_inputs(self):
        # A 4 MiB ROM of noise with four 64 x 48 pictures of strong colours at odd places.
        rom = bytearray(random_bytes(4 << 20, seed=347))
        places = [0x0A1234, 0x1F0F02, 0x2C8A62, 0x3B0010]
        for number, place in enumerate(places):
            colour = [0x001F, 0x03E0, 0x7C00, 0x03FF][number]
            words = [colour if (x // 8 + y // 8) % 2 else colour & 0x4210 for y in range(48) for x in range(64)]
            rom[place:place + 64 * 48 * 2] = struct.pack("<%dH" % (64 * 48), *words)
        write_file(self.path("rom.bin"), bytes(rom))
        image_bytes = 64 * 48 * 2
        for number, place in enumerate(places):
            with self.subTest(picture=number):
                terminal = self.open(["rom.bin", "out/", 64, 48, 1, 0], columns=100, rows=30)
                inputs = [b"Z", b"1", b":", b"6", b"4", b"\r"]  # the overview: the whole ROM on one screen
                for key in inputs:
                    terminal.press(key)
                self.assertIn("zoom 1:64", terminal.status())
                # Each image is one cell pixel there, 50 across, one blank cell between.
                image = place // image_bytes
                column, row = 2 * (image % 50), 2 * (image // 50)
                pick = [click(column, row), click(column, row), b"z"]  # a double click, the zoom that fits
                inside = place - image * image_bytes
                y, x = inside // 128, inside % 128 // 2
                # A cell holds two rows: a right click on the picture's corner, and a row on if it is the lower one.
                fine = [click(x, y // 2, button=2)] + ([b"j"] if y % 2 else []) + [b"s"]
                for gesture in pick + fine:
                    terminal.press(gesture)
                inputs += pick + fine
                self.assertLessEqual(len(inputs) + 1, 25)  # and q
                terminal.wait_for(lambda: "Saved" in terminal.status(), "the save")
                self.assertEqual(terminal.status(), "Saved out/snap%04d.bmp at 0x%08X, 64x48" % (number, place))
                terminal.type(b"q")
                self.assertEqual(terminal.finish(), 0)
                after = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().split("\r\n")
                self.assertEqual(after[2], "velloran rom.bin out/ 64 48 1 0x%08X" % place)
                os.makedirs(self.path("again"), exist_ok=True)
                done = subprocess.run(["bash", "-c", after[2].replace("velloran", '"$0"', 1).replace(" out/", " again/"),
                                       harness.TOOL], cwd=self.dir, stdout=subprocess.DEVNULL)
                self.assertEqual(done.returncode, 0)
                self.assertEqual(read_file(self.path("out", "snap%04d.bmp" % number)),
                                 read_file(self.path("again", "snap%04d.bmp" % number)))
                self.assertEqual(decoded_colours(self.path("out", "snap%04d.bmp" % number))[1],
                                 rom_colours(bytes(rom[place:place + image_bytes]), 64, 48))

    def test_the_keyboard_cursor_points_and_picks(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32, 1, 0x20D], columns=140, rows=40)
        terminal.press(b"-x")
        self.assertIn("0x0000020D (525)  image 0  x 0, y 0  Enter", terminal.status())
        with terminal.lock:
            self.assertEqual(terminal.screen.buffer[0][0].data, "+")
        terminal.press(b"lll\x1b[B")  # the arrows and hjkl move the cursor, not the view
        offset = 0x20D + (2 * 64 + 3) * 2
        self.assertIn("0x%08X (%d)  image 0  x 3, y 2" % (offset, offset), terminal.status())
        terminal.press(b"\t")  # Tab: from this pixel
        terminal.press(b"x")  # the cursor put away: the status line is back
        self.assertIn("0x%08X (%d)  of" % (offset, offset), terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class BrowseIndexed(TerminalTestCase):
    PICTURE_AT, PALETTE_AT = 0x4000, 0x9000

    def make_rom(self):
        indices = f_picture()
        rom = bytearray(random_bytes(0x10000, seed=331))
        rom[self.PICTURE_AT:self.PICTURE_AT + 512] = t4p_tiles(indices, 32, 32)
        palette = [((i * 2) & 31, (31 - i * 2) & 31, (i * 5) & 31) for i in range(16)]
        words = [r | g << 5 | b << 10 for r, g, b in palette]
        rom[self.PALETTE_AT:self.PALETTE_AT + 32] = struct.pack("<16H", *words)
        write_file(self.path("rom.bin"), bytes(rom))
        return indices, [hex_colour(c) for c in palette]

    def test_a_tiled_picture_and_its_palette_are_found_and_saved(self):
        indices, colours = self.make_rom()
        terminal = self.open(["rom.bin", "out/", 64, 32, 1, 0])
        terminal.press(b"Mt4p\r")
        self.assertIn("64x32 t4p  zoom 1:1  palette grey  BMP  ? help", terminal.status())
        terminal.press(b"W32\r")
        terminal.press(b"o0x4000\r")
        terminal.press(b"p0x9000\r")
        self.assertIn("0x00004000 (16384)", terminal.status())
        self.assertIn("32x32 t4p  zoom 1:1  palette 0x00009000 bank 0", terminal.status())
        shown = [terminal.pixel(x, y) for y in range(32) for x in range(32)]
        self.assertEqual(shown, [colours[i] for i in indices])
        # The palette's 16 colours in the strip above the status line, index 0 on the left.
        with terminal.lock:
            strip = [terminal.screen.buffer[28][x].bg for x in range(100)]
        self.assertEqual(strip, [colours[x * 16 // 100] for x in range(100)])
        # Zoomed out, each cell pixel is the rounded average of a 2 x 2 block of the palette's colours.
        terminal.press(b"-")
        rgb = [tuple(int(colours[i][c:c + 2], 16) for c in (0, 2, 4)) for i in indices]
        expected = ["%02x%02x%02x" % tuple((sum(rgb[(2 * y + dy) * 32 + 2 * x + dx][c] for dy in (0, 1) for dx in (0, 1))
                                             * 2 + 4) // 8 for c in range(3)) for y in range(16) for x in range(16)]
        self.assertEqual([terminal.pixel(x, y) for y in range(16) for x in range(16)], expected)
        terminal.press(b"z")
        # A pixel step is a tile (32 bytes), a row step a row of tiles (4 tiles).
        for keys, offset in [(b"l", 0x4020), (b"h", 0x4000), (b"j", 0x4080), (b"k", 0x4000)]:
            terminal.press(keys)
            self.assertIn("0x%08X" % offset, terminal.status())
        # The palette moves by a colour (2 bytes) and by a bank (16 colours); P takes the grey ramp.
        for keys, palette in [(b")", "0x00009002 bank 0"), (b"(", "0x00009000 bank 0"),
                              (b"0", "0x00009000 bank 1"), (b"9", "0x00009000 bank 0"), (b"P", "grey  BMP  ? help")]:
            terminal.press(keys)
            self.assertIn("palette " + palette, terminal.status())
        terminal.press(b"p0x9000\r")
        terminal.press(b"s")
        terminal.wait_for(lambda: "Saved" in terminal.status(), "the save")
        self.assertEqual(terminal.status(), "Saved out/snap0000.bmp at 0x00004000, 32x32")
        terminal.press(b"p0x10000\r")
        self.assertEqual(terminal.status(), "--palette 0x10000: past the ROM's end (65536 bytes); a palette offset "
                                            "must be below its size")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        os.makedirs(self.path("dump"))
        _, err, status = run_with_arguments(["--format=t4p", "--palette=0x9000", "rom.bin", "dump/", 32, 32, 1,
                                             0x4000], self.dir)
        self.assertEqual((err, status), ("", 0))
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), read_file(self.path("dump", "snap0000.bmp")))
        self.check_last_command(terminal, "velloran --format=t4p --palette=0x9000 rom.bin out/ 32 32 1 0x00004000",
                                "snap0000.bmp")


@unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
@harness.needs(pyte is not None, "python3-pyte is")
class GivenBack(TerminalTestCase):
    """What a hostile tester did to the view: the terminal must come back as the tool itself left
    it (no shell restores it here), whatever the moment, the signal or the terminal."""

    def check_given_back(self, terminal):
        self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)
        output = terminal.output
        # Every frame begun was finished, and the leave text came after the last one, whole.
        self.assertEqual(output.count(FRAME_START), output.count(FRAME_END))
        self.assertGreater(output.rindex(LEAVE), output.rindex(FRAME_END) if FRAME_END in output else -1)
        if terminal.screen:
            with terminal.lock:
                self.assertFalse(terminal.screen.cursor.hidden)

    def test_a_stop_while_the_terminal_has_not_answered_yet(self):
        # pyte answers no query, so the tool waits up to 200 ms for answers: a stop
        # then once hung it in poll until a key came.
        for sig in [signal.SIGTERM, signal.SIGINT]:
            with self.subTest(signal=sig.name):
                terminal = self.start([DEMO_ROM, "out/", 64, 32])
                terminal.wait_for(lambda: b"\x1b[c" in terminal.output, "the queries")
                terminal.process.send_signal(sig)
                self.assertEqual(terminal.finish(timeout=10), -sig)
                self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)

    def test_two_stop_signals_in_one_burst(self):
        for first, second in [(signal.SIGINT, signal.SIGTERM), (signal.SIGINT, signal.SIGQUIT)]:
            with self.subTest(signals=(first.name, second.name)):
                terminal = self.open([DEMO_ROM, "out/", 64, 32], columns=200, rows=60)
                terminal.process.send_signal(first)
                terminal.process.send_signal(second)
                self.assertIn(terminal.finish(), (-first, -second))
                self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)
                self.assertIn(LEAVE, terminal.output)
                with terminal.lock:
                    self.assertFalse(terminal.screen.cursor.hidden)

    def test_random_keys_and_signals_at_random_moments(self):
        chance = random.Random(292)
        signals = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT]
        keys = bytes(b for b in chance.randbytes(4000) if b not in b"qsS\x03\x1a\x1c")
        for trial in range(int(os.environ.get("VELLORAN_TRIALS", "16"))):
            with self.subTest(trial=trial):
                terminal = self.start([DEMO_ROM, "out/", chance.choice([8, 64]), 32], columns=chance.choice([80, 200]),
                                      rows=chance.choice([24, 60]))
                if chance.random() < 0.5:
                    terminal.reading.clear()  # a terminal that has fallen behind
                deadline = time.monotonic() + chance.uniform(0, 0.6)
                while time.monotonic() < deadline:
                    start = chance.randrange(len(keys))
                    terminal.type(keys[start:start + chance.randrange(1, 40)])
                    time.sleep(0.01)
                sent = chance.sample(signals, chance.choice([1, 2]))
                for sig in sent:
                    terminal.process.send_signal(sig)
                terminal.reading.set()
                self.assertIn(terminal.finish(), [-sig for sig in sent])
                self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)
                if FRAME_START in terminal.output:
                    self.assertIn(LEAVE, terminal.output[terminal.output.rindex(FRAME_START):])
                    with terminal.lock:
                        self.assertFalse(terminal.screen.cursor.hidden)
                terminal.close()
                self.terminals.remove(terminal)

    def test_a_stop_while_the_terminal_is_behind_on_reading(self):
        terminal = self.open([DEMO_ROM, "out/", 8, 8, 1, 0], columns=200, rows=60)
        terminal.reading.clear()
        terminal.type(b"-" * 3 + b"l" * 5)  # frames of 200 x 60 cells each: more than the terminal holds
        time.sleep(0.5)
        terminal.process.send_signal(signal.SIGTERM)
        time.sleep(0.5)
        terminal.reading.set()
        self.assertEqual(terminal.finish(), -signal.SIGTERM)
        self.check_given_back(terminal)

    def test_the_leave_text_reaches_a_terminal_that_reads_slowly(self):
        # Kitty at 1:1 shows 8 x 8 images by the thousand: leaving deletes each one.
        write_file(self.path("rom.bin"), random_bytes(1 << 20, seed=291))
        # Its images are base64 text to pyte, too slow to draw: the bytes alone are read.
        terminal = self.open(["--graphics=kitty", "rom.bin", "out/", 8, 8], columns=200, rows=60, shown=(0, 0))
        terminal.press(b"-")  # from 2:1, the most the view picks on its own
        self.assertIn(b"zoom 1:1", terminal.output[terminal.output.rindex(FRAME_START):])
        shown = set(re.findall(rb"\x1b_Gf=24,s=8,v=8,a=T,q=2,i=(\d+),", terminal.output[terminal.output.rindex(FRAME_START):]))
        self.assertGreater(len(shown), 2000)
        terminal.reading.clear()
        terminal.type(b"q")
        time.sleep(0.5)
        terminal.reading.set()
        self.assertEqual(terminal.finish(), 0)
        self.check_given_back(terminal)
        tail = terminal.output[terminal.output.rindex(FRAME_END):]
        self.assertEqual(set(re.findall(rb"\x1b_Ga=d,d=I,q=2,i=(\d+)\x1b\\", tail)), shown)
        self.assertIn(b"velloran rom.bin out/ 8 8 1 0x00000000", tail)

    @harness.needs(shutil.which("dash"), "dash is")
    def test_ctrl_z_fg_and_q_under_a_shell_that_restores_no_mode(self):
        self.check_ctrl_z_fg_q(["dash", "-i"])

    @harness.needs(shutil.which("dash"), "dash is")
    def test_ctrl_z_while_the_terminal_is_asked_what_it_draws(self):
        # The terminal is taken from the query on: a stop then left it raw under dash.
        self.check_ctrl_z_fg_q(["dash", "-i"], in_query=True)

    def test_ctrl_z_and_fg_three_times_under_a_parent_sh(self):
        # sh stops first and the shell takes the terminal back at once: the tool must still give
        # it back, and stop, and come back on fg.
        self.check_ctrl_z_fg_q(["bash", "--norc", "--noprofile", "-i"], wrap="sh -c '%s; true'", rounds=3)

    def test_the_terminal_given_back_after_the_shell_took_it(self):
        self.check_ctrl_z_fg_q(["bash", "--norc", "--noprofile", "-i"], wrap="sh -c '%s; true'", rounds=3,
                               parent_stops_first=True)

    def test_fg_typed_with_the_ctrl_z_under_a_parent_sh(self):
        self.check_ctrl_z_fg_q(["bash", "--norc", "--noprofile", "-i"], wrap="sh -c '%s; true'", rounds=3,
                               fg_at_once=True)

    def test_a_key_gone_before_it_is_read_leaves_the_view_answering(self):
        # The key poll saw is taken away before the view reads it, as a shell takes fg typed with
        # the Ctrl-Z: the read must not wait for another key, or a resize goes unanswered.
        env = dict(os.environ, LD_PRELOAD=harness.RACE_PRELOAD, KEYS_GONE="j", ASAN_OPTIONS="verify_asan_link_order=0")
        terminal = self.open([DEMO_ROM, "out/", 64, 32], env=env)
        terminal.type(b"j")
        time.sleep(0.3)
        terminal.resize(80, 24)  # drawn again at once
        self.assertIn("0x00000000 (0)", terminal.status())  # the j never arrived
        terminal.press(b"j")
        self.assertIn("0x00000080 (128)", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.check_given_back(terminal)

    def test_a_lone_sigcont_leaves_the_mode_to_restore_alone(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32])
        terminal.process.send_signal(signal.SIGCONT)
        terminal.wait_frames(2)  # drawn again
        terminal.press(b"j")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.check_given_back(terminal)

    def test_a_terminal_that_claims_65535_by_65535_cells(self):
        terminal = self.start([DEMO_ROM, "out/", 64, 32], columns=65535, rows=65535, shown=(0, 0))
        terminal.wait_frames(1)
        # Drawn as 1000 x 1000 cells at most: a frame of a few tens of MB, not gigabytes.
        self.assertLess(len(terminal.output), 100 << 20)
        self.assertIn(b"\x1b[1000;1H", terminal.output)
        self.assertNotIn(b"\x1b[1001;1H", terminal.output)
        terminal.type(b"q")
        self.assertEqual(terminal.finish(timeout=60), 0)
        self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)

    def test_late_terminal_answers_are_no_keys(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32])
        for answer in [b"\x1b_Gi=31;OK\x1b\\", b"\x1b[?62;4c", b"\x1b[6;20;10t", b"\x1b_Gi=31;", b"OK\x1b\\",
                       b"\x1bb", b"\x1bx",  # Alt+B, Alt+x
                       b"\x1b[200~qsS\x1b[201~"]:  # a paste: text, not keys
            terminal.type(answer)
            time.sleep(0.15)
            self.assertIsNone(terminal.process.poll(), answer)
        terminal.press(b"j")
        self.assertIn("0x0000008", terminal.status())
        self.assertEqual(self.snapshots(), [])
        # Pasted into the offset's prompt, a hex editor's offset is typed.
        terminal.press(b"o\x1b[200~0001F0\x1b[201~\r")
        self.assertIn("0x000001F0 (496)", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.assertIn(b"\x1b[?2004h", terminal.output)
        self.assertIn(b"\x1b[?2004l" + LEAVE, terminal.output)

    def test_mouse_reports_cut_long_or_old_and_an_endless_paste_are_no_keys(self):
        terminal = self.open([DEMO_ROM, "out/", 64, 32])
        digits = b"7" * 30
        for pieces in [[b"\x1b[MCs%"], [b"\x1b[M q5"],  # the older encoding: motion at column 83, a press at 81
                       [b"\x1b[<35;10;10", b"M"],       # an SGR report in two pieces 300 ms apart
                       [b"\x1b[<64;1;1"],                # one that never ends
                       [b"\x1b[<0;1;" + digits + b"q"],  # one too long for any key
                       [b"\x1b[<0;1;1" + b"5" * 5000 + b"M"]]:
            for piece in pieces:
                terminal.type(piece)
                time.sleep(0.3)
            self.assertIsNone(terminal.process.poll(), pieces)
        terminal.settle()
        self.assertEqual(self.snapshots(), [])
        self.assertIn("0x00000000 (0)", terminal.status())
        # A paste whose end never comes: its text goes into the prompt, and after a quiet second
        # keys are keys again.
        terminal.press(b"o\x1b[200~1000")
        self.assertIn("1000_", terminal.status())
        time.sleep(1.5)
        terminal.press(b"\r")
        self.assertIn("0x000003E8 (1000)", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.assertEqual(termios.tcgetattr(terminal.terminal), terminal.mode_before)

    def test_answers_that_come_after_preview_stopped_waiting_never_reach_the_shell(self):
        # A slow link: the device attributes come 400 ms after the queries, past the 200 ms wait.
        terminal = Terminal(harness.tool_command(["--preview", DEMO_ROM, "out/", "64", "32", "1", "0x20D"]), self.dir)
        self.terminals.append(terminal)
        terminal.wait_for(lambda: b"\x1b[c" in terminal.output, "the queries")
        time.sleep(0.4)
        terminal.type(b"\x1b_Gi=31;OK\x1b\\\x1b[?62;4c")
        self.assertEqual(terminal.finish(), 0)
        self.assertIn(b"Opening: out/snap0000.bmp", terminal.output)
        # What is left for the shell to read, line or not.
        mode = termios.tcgetattr(terminal.terminal)
        mode[3] &= ~termios.ICANON
        termios.tcsetattr(terminal.terminal, termios.TCSANOW, mode)
        left = struct.unpack("i", fcntl.ioctl(terminal.terminal, termios.FIONREAD, struct.pack("i", 0)))[0]
        self.assertEqual(left, 0)
        self.assertNotIn(b"62;4c", terminal.output)  # nor echoed

    def test_a_name_with_control_bytes_reaches_the_terminal_escaped(self):
        name = b"\x1b]0;PWNED\x07\xff.rom"
        write_file(os.path.join(self.dir.encode(), name), read_file(DEMO_ROM))
        terminal = self.open([os.fsdecode(name), "out/", 64, 32, 1, 0x20D])
        self.assertTrue(terminal.status().startswith("\\x1B]0;PWNED\\x07\\xFF.rom  0x0000020D"), terminal.status())
        terminal.press(b"s")
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)
        self.assertNotIn(b"]0;PWNED\x07", terminal.output)
        command = terminal.output[terminal.output.rindex(LEAVE) + len(LEAVE):].decode().split("\r\n")[-2]
        self.assertEqual(command, "velloran $'\\x1B]0;PWNED\\x07\\xFF.rom' out/ 64 32 1 0x0000020D")
        # Pasted into a shell, it writes the same file again.
        done = subprocess.run(["bash", "-c", command.replace("velloran", '"$0"', 1), harness.TOOL], cwd=self.dir)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(read_file(self.path("out", "snap0000.bmp")), read_file(self.path("out", "snap0001.bmp")))

    def test_the_roms_size_is_read_again_on_a_redraw(self):
        write_file(self.path("rom.bin"), read_file(DEMO_ROM))
        terminal = self.open(["rom.bin", "out/", 64, 32])
        self.assertIn("of 16909 bytes", terminal.status())
        with open(self.path("rom.bin"), "ab") as rom:
            rom.write(bytes(16384))
        terminal.press(b"\x0c")
        self.assertIn("of 33293 bytes", terminal.status())
        terminal.press(b"o0x8000\r")
        self.assertIn("0x00008000 (32768)", terminal.status())
        os.truncate(self.path("rom.bin"), 4096)
        terminal.press(b"o0x2000\r")
        self.assertIn("Past the ROM's end", terminal.status())
        terminal.type(b"q")
        self.assertEqual(terminal.finish(), 0)


SGR = re.compile(r"\x1b\[([0-9;]*)m")


def tmux_cells(lines):
    """(character, foreground, background) for each cell of the lines that tmux
    capture-pane -e gives, the colours as 'rrggbb' or None. tmux writes only
    what changes from the cell before, across line ends too."""
    foreground = background = None
    rows = []
    for line in lines:
        cells, at = [], 0
        while at < len(line):
            match = SGR.match(line, at)
            if not match:
                cells.append((line[at], foreground, background))
                at += 1
                continue
            codes = [int(c) for c in match.group(1).split(";") if c] or [0]
            i = 0
            while i < len(codes):
                if codes[i] == 0:
                    foreground = background = None
                elif codes[i] in (38, 48) and codes[i + 1] == 2:
                    colour = "%02x%02x%02x" % tuple(codes[i + 2:i + 5])
                    if codes[i] == 38:
                        foreground = colour
                    else:
                        background = colour
                    i += 4
                elif codes[i] == 39:
                    foreground = None
                elif codes[i] == 49:
                    background = None
                i += 1
            at = match.end()
        rows.append(cells)
    return rows


@unittest.skipIf(harness.ON_WINDOWS, "tmux runs here only")
@harness.needs(shutil.which("tmux"), "tmux is")
class BrowseInTmux(ToolTestCase):
    def test_alt_keys_a_paste_a_mouse_report_and_a_lone_esc(self):
        tmux = Tmux(harness.tool_command(["--browse", DEMO_ROM, "out/", "64", "32", "1", "0x20D"]), self.dir,
                    "velloran-keys")

        def status_once(text):
            return tmux.screen_once(text).rstrip("\n").split("\n")[-1]

        try:
            status_once("? help")
            tmux.run("send-keys", "-")
            status_once("zoom 1:1")
            # A motion over pixel (10, 6) of the second image, as tmux passes it on.
            tmux.run("send-keys", "-l", "\x1b[<35;76;4M")
            pointed = status_once("image 1")
            # Alt+B and Alt+x are no keys: the view stays, the pointer's text gives way to the status line.
            tmux.run("send-keys", "M-b", "M-x", "j")
            after_alt = status_once("0x0000028D")
            # A paste goes into the open prompt.
            subprocess.run(["tmux", "set-buffer", "0x1000"], check=True)
            tmux.run("send-keys", "o")
            status_once("Offset (hex")
            tmux.run("paste-buffer", "-p")
            tmux.run("send-keys", "Enter")
            pasted = status_once("0x00001000 (4096)")
            tmux.run("send-keys", "Escape")
            shown = tmux.screen_once("ended ")
        finally:
            tmux.close()
        offset = 0x20D + 4096 + (6 * 64 + 10) * 2
        self.assertEqual(pointed.strip(), "0x%08X (%d)  image 1  x 10, y 6  double click: view from its image, "
                                          "right click: from here" % (offset, offset))
        self.assertIn("0x0000028D (653)", after_alt)
        self.assertIn("0x00001000 (4096)", pasted)
        self.assertIn("ended 0", shown)

    def test_ctrl_z_and_fg_three_times_under_sh_in_bash(self):
        # As a user runs it from a script: sh stops first and bash takes the terminal back at once.
        tmux = Tmux(["env", "PS1=%", "HISTFILE=/dev/null", "bash", "--norc", "--noprofile", "-i"], self.dir,
                    "velloran-suspend")
        tool = " ".join(harness.tool_command(["--browse", DEMO_ROM, "out/", "64", "32", "1", "0x20D"]))

        def status_once(text):
            return tmux.screen_once(text).rstrip("\n").split("\n")[-1]

        try:
            tmux.run("send-keys", "stty -g > before; sh -c '%s; true'" % tool, "Enter")
            statuses = [status_once("? help")]
            for round in range(3):
                tmux.run("send-keys", "C-z")
                tmux.screen_once("Stopped")
                tmux.run("send-keys", "clear; stty -g > stopped%d; fg" % round, "Enter")
                statuses.append(status_once("? help"))
                tmux.run("send-keys", "j")
                statuses.append(status_once("(%d)" % (0x20D + 128 * (round + 1))))
            tmux.run("send-keys", "q")
            tmux.screen_once("0x0000038D\n")
            tmux.run("send-keys", "stty -g > after", "Enter")
            deadline = time.monotonic() + 10
            while not os.path.exists(self.path("after")) and time.monotonic() < deadline:
                time.sleep(0.05)
            time.sleep(0.2)
        finally:
            tmux.close()
        for round in range(3):
            self.assertIn("(%d)" % (0x20D + 128 * round), statuses[1 + 2 * round])
            self.assertIn("(%d)" % (0x20D + 128 * (round + 1)), statuses[2 + 2 * round])
        before = read_file(self.path("before"))
        for name in ["stopped0", "stopped1", "stopped2", "after"]:
            self.assertEqual(read_file(self.path(name)), before, name)

    def test_a_real_terminal_shows_the_images_a_dump_writes(self):
        tmux = Tmux(harness.tool_command(["--browse", DEMO_ROM, "out/", "64", "32", "1", "0x20D"]), self.dir,
                    "velloran-browse")
        try:
            tmux.screen_once("? help")
            tmux.run("send-keys", "-")  # 1:1
            lines = tmux.screen_once("zoom 1:1", colours=True).split("\n")
            # Left by its own key, so that the session is not killed under a running tool.
            tmux.run("send-keys", "q")
            ended = tmux.screen_once("ended ")
        finally:
            tmux.close()
        self.assertIn("zoom 1:1", lines[39])
        self.assertIn("ended 0", ended)
        shown = tmux_cells(lines)
        os.makedirs(self.path("dump"))
        _, err, status = run_with_arguments([DEMO_ROM, "dump/", 64, 32, 2, 0x20D], self.dir)
        self.assertEqual((err, status), ("", 0))
        for index, left in enumerate([0, 65]):
            size, fields = decoded_colours(self.path("dump", "snap%04d.bmp" % index))
            for row in range(16):
                cells = shown[row][left:left + 64]
                upper = [hex_colour(fields[2 * row * 64 + x]) for x in range(64)]
                lower = [hex_colour(fields[(2 * row + 1) * 64 + x]) for x in range(64)]
                self.assertEqual([c[0] for c in cells], [UPPER] * 64)
                self.assertEqual([c[1] for c in cells], upper, "image %d, row %d" % (index, row))
                self.assertEqual([c[2] for c in cells], lower, "image %d, row %d" % (index, row))


class BrowseUsage(ToolTestCase):
    def test_what_cannot_be_browsed_is_refused(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=97))
        cases = [  # arguments, the problem on standard error, status
            (["--browse"], "velloran: --browse needs a ROM" + USAGE_HINT, 2),
            (["--browse", "--preview", "rom.bin"],
             "velloran: --browse and --preview cannot be used together" + USAGE_HINT, 2),
            (["--browse", "rom.bin"], "velloran: --browse needs a terminal on standard input and standard output"
                                      + USAGE_HINT, 2),
            (["--browse", "rom.bin", "out/", "64x"],
             "velloran: WIDTH '64x': Not a number: answer with a whole number such as 64, 0x40 or 0100."
             + USAGE_HINT, 2),
        ]
        for args, err, status in cases:
            with self.subTest(args=args):
                out, error, code = run_with_arguments(args, self.dir)
                self.assertEqual((out, error, code), ("", err, status))

    @unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
    def test_a_terminal_that_cannot_show_colours_is_refused(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=98))
        for term in ["dumb", "", None]:
            with self.subTest(TERM=term):
                err, status, unchanged = run_on_terminal(harness.tool_command(["--browse", "rom.bin"]), self.dir,
                                                         env=terminal_environment(term))
                self.assertTrue(unchanged)
                self.assertEqual((err, status),
                                 ("velloran: --browse needs a terminal that shows colours, and TERM is unset, empty "
                                  "or dumb" + USAGE_HINT, 2))

    @unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
    def test_what_w_h_and_o_refuse_is_refused_from_the_command_line_too(self):
        write_file(self.path("rom.bin"), random_bytes(64, seed=99))
        for args, problem in [(["rom.bin", "./", 0, 64], "WIDTH '0': Width and height start at 1."),
                              (["rom.bin", "./", 8, 0], "HEIGHT '0': Width and height start at 1."),
                              (["rom.bin", "./", 8, 8, 1, 64], "START '64': Past the ROM's end: an offset must be below "
                                                               "its size."),
                              (["rom.bin", "./", 8, 8, 1, 0x1000], "START '4096': Past the ROM's end: an offset must be "
                                                                   "below its size.")]:
            with self.subTest(args=args):
                err, status, _ = run_on_terminal(harness.tool_command(["--browse"] + [str(a) for a in args]), self.dir)
                self.assertEqual((err, status), ("velloran: " + problem + USAGE_HINT, 2))

    @unittest.skipIf(harness.ON_WINDOWS, "a POSIX pseudo-terminal")
    def test_a_rom_that_does_not_open_or_cannot_seek(self):
        os.mkfifo(self.path("rom.fifo"))
        for rom, why in [("missing.rom", "No such file or directory"), ("out", "Is a directory"),
                         ("rom.fifo", "--browse needs a ROM it can seek in, not a pipe or a terminal")]:
            with self.subTest(rom=rom):
                err, status, _ = run_on_terminal(harness.tool_command(["--browse", rom]), self.dir)
                self.assertEqual((err, status), ("velloran: %s: %s\n" % (rom, why), 1))


if __name__ == "__main__":
    harness.main()
