#!/usr/bin/env python3
"""reader-tool's shell as people use it, with the real program: a person at a terminal (a
pseudo-terminal) who edits a line with Ctrl-A and an arrow key and brings it back with the up
arrow; the same at a terminal whose output goes to a file; and a script through a pipe.

    shell_terminal.py READER_TOOL MAKE_TEST_IMAGES FOLDER

FOLDER gets the project's test images (from MAKE_TEST_IMAGES); the commands are `check`s of one
of them, so no reader is needed.
"""
import os
import pty
import select
import subprocess
import sys
import time

IMAGE = "sfc-lorom.sfc"
REPORT_END = b"Checksum: OK"
PROMPT = b"reader> "
UP, RIGHT, CTRL_A = b"\x1b[A", b"\x1b[C", b"\x01"


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


class Terminal:
    """The program on a pseudo-terminal, and what it has shown there so far."""

    def __init__(self, program, folder):
        self.shown = b""
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(folder)
            os.environ["TERM"] = "xterm"
            os.execv(program, [program])

    def wait_for(self, text, count=1, seconds=10):
        end = time.monotonic() + seconds
        while self.shown.count(text) < count:
            if time.monotonic() > end:
                fail("the terminal never showed %r %d times; it shows:\n%r" % (text, count, self.shown))
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                except OSError:
                    data = b""
                if not data:
                    fail("the program ended early; the terminal shows:\n%r" % self.shown)
                self.shown += data

    def type(self, keys):
        os.write(self.fd, keys)

    def status(self, seconds=10):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            try:
                os.read(self.fd, 4096)
            except OSError:
                pass
            time.sleep(0.05)
        fail("the program did not end")


def person_at_a_terminal(program, folder):
    terminal = Terminal(program, folder)
    terminal.wait_for(PROMPT)
    # "chek", mended: to the start of the line, three to the right, the missing letter.
    terminal.type(b"chek " + IMAGE.encode())
    terminal.type(CTRL_A + RIGHT * 3 + b"c\r")
    terminal.wait_for(REPORT_END)
    terminal.wait_for(PROMPT, 2)
    # The line again, from the history.
    terminal.type(UP + b"\r")
    terminal.wait_for(REPORT_END, 2)
    terminal.wait_for(PROMPT, 3)
    terminal.type(b"bogus\r")
    terminal.wait_for(b"reader-tool: unknown command 'bogus'. Type h for the commands.")
    terminal.type(b"q\r")
    # A person who quits leaves with 0, whatever failed before.
    status = terminal.status()
    if status != 0:
        fail("the shell ended with status %d after q" % status)
    if terminal.shown.count(b"file " + IMAGE.encode()) != 2:
        fail("the mended line did not run twice:\n%r" % terminal.shown)


def terminal_output_to_a_file(program, folder):
    # Typing at a terminal while the output goes to a file: the file gets the plain prompt and
    # the reports, no terminal control sequences.
    master, slave = os.openpty()
    path = os.path.join(folder, "shell-output.txt")
    with open(path, "wb") as out:
        child = subprocess.Popen([program], stdin=slave, stdout=out, stderr=subprocess.PIPE,
                                 cwd=folder, env=dict(os.environ, TERM="xterm"))
        os.close(slave)
        os.write(master, b"check " + IMAGE.encode() + b"\nq\n")
        _, err = child.communicate(timeout=20)
    os.close(master)
    with open(path, "rb") as out:
        shown = out.read()
    os.remove(path)
    if child.returncode != 0 or REPORT_END not in shown or PROMPT not in shown:
        fail("terminal input, output to a file: status %d, output %r, errors %r"
             % (child.returncode, shown, err))
    if b"\x1b" in shown + err:
        fail("terminal control sequences reached the file: %r" % shown)


def script_through_a_pipe(program, folder):
    lines = b"check %s\nbogus\n# a comment\ncheck %s\nq\n" % (IMAGE.encode(), IMAGE.encode())
    run = subprocess.run([program, "shell"], input=lines, capture_output=True, cwd=folder,
                         timeout=20)
    expected_error = b"reader-tool: line 2: unknown command 'bogus'. Type h for the commands.\n"
    if run.returncode != 1 or run.stderr != expected_error:
        fail("the script: status %d, errors %r" % (run.returncode, run.stderr))
    if run.stdout.count(REPORT_END) != 2 or PROMPT in run.stdout or b"\x1b" in run.stdout:
        fail("the script's output: %r" % run.stdout)


def main():
    if len(sys.argv) != 4:
        fail("usage: shell_terminal.py READER_TOOL MAKE_TEST_IMAGES FOLDER")
    program, make_images, folder = sys.argv[1:]
    os.makedirs(folder, exist_ok=True)
    subprocess.run([make_images, folder], check=True, stdout=subprocess.DEVNULL)
    person_at_a_terminal(program, folder)
    terminal_output_to_a_file(program, folder)
    script_through_a_pipe(program, folder)
    print("PASS: the shell at a terminal, at a terminal into a file, and through a pipe")


if __name__ == "__main__":
    main()
