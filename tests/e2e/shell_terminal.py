#!/usr/bin/env python3
"""reader-tool's shell with the real program: a person at a pseudo-terminal who mends a line with
Ctrl-A and an arrow key and runs it again with the up arrow; typing at a terminal with the output
in a file; and a script through a pipe. The lines `check` a test image, so no reader is needed.

    shell_terminal.py READER_TOOL MAKE_TEST_IMAGES FOLDER
"""
import os
import pty
import select
import subprocess
import sys
import time

IMAGE = b"sfc-lorom.sfc"
REPORT_END = b"Checksum: OK"
PROMPT = b"reader> "


def fail(message):
    sys.exit("FAIL: " + message)


def person_at_a_terminal(program, folder):
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(folder)
        os.execve(program, [program], dict(os.environ, TERM="xterm"))
    shown = b""

    def wait_for(text, count=1):
        nonlocal shown
        end = time.monotonic() + 10
        while shown.count(text) < count and time.monotonic() < end:
            if select.select([fd], [], [], 0.1)[0]:
                try:
                    shown += os.read(fd, 4096)
                except OSError:  # the program has ended
                    break
        if shown.count(text) < count:
            fail("the terminal never showed %r %d times:\n%r" % (text, count, shown))

    wait_for(PROMPT)
    # "chek", mended: to the start of the line, three to the right, the missing letter.
    os.write(fd, b"chek " + IMAGE + b"\x01" + b"\x1b[C" * 3 + b"c\r")
    wait_for(REPORT_END)
    wait_for(PROMPT, 2)
    os.write(fd, b"\x1b[A\r")  # the line again, from the history
    wait_for(REPORT_END, 2)
    wait_for(PROMPT, 3)
    os.write(fd, b"bogus\r")
    wait_for(b"reader-tool: unknown command 'bogus'. Type h for the commands.")
    os.write(fd, b"q\r")
    end = time.monotonic() + 10
    while not (ended := os.waitpid(pid, os.WNOHANG))[0] and time.monotonic() < end:
        time.sleep(0.05)
    if not ended[0]:
        fail("the shell did not end after q")
    # A person who quits leaves with 0, whatever failed before.
    status = os.waitstatus_to_exitcode(ended[1])
    if status != 0 or shown.count(b"file " + IMAGE) != 2:
        fail("status %d after q; the terminal shows:\n%r" % (status, shown))


def terminal_output_to_a_file(program, folder):
    # The file gets the plain prompt and the report, no terminal control sequences.
    master, slave = os.openpty()
    path = os.path.join(folder, "shell-output.txt")
    with open(path, "wb") as out:
        child = subprocess.Popen([program], stdin=slave, stdout=out, cwd=folder,
                                 env=dict(os.environ, TERM="xterm"))
        os.close(slave)
        os.write(master, b"check " + IMAGE + b"\nq\n")
        child.wait(timeout=20)
    os.close(master)
    with open(path, "rb") as out:
        shown = out.read()
    if child.returncode != 0 or REPORT_END not in shown or PROMPT not in shown or b"\x1b" in shown:
        fail("terminal input, output to a file: status %d, %r" % (child.returncode, shown))


def script_through_a_pipe(program, folder):
    lines = b"check %s\nbogus\n# a comment\ncheck %s\nq\n" % (IMAGE, IMAGE)
    run = subprocess.run([program, "shell"], input=lines, capture_output=True, cwd=folder,
                         timeout=20)
    error = b"reader-tool: line 2: unknown command 'bogus'. Type h for the commands.\n"
    if run.returncode != 1 or run.stderr != error or run.stdout.count(REPORT_END) != 2 \
            or PROMPT in run.stdout or b"\x1b" in run.stdout:
        fail("the script: status %d, %r, %r" % (run.returncode, run.stdout, run.stderr))


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
