#!/usr/bin/env python3
"""Runs a program on a pseudo-terminal, as a user at a terminal would.

pty_run.py [--expect TEXT (--send LINE | --interrupt)]... [--limit S] -- PROGRAM ARGS...

Each --expect waits until TEXT has appeared in the program's output, then
types LINE and Enter (--send) or presses Ctrl-C (--interrupt). The whole
output (as the terminal shows it, \r and all) goes to standard output; the
exit status is the program's (128 + n when a signal n ended it), 124 when
an expected text never came or the program outlived --limit seconds.
"""
import os
import pty
import select
import sys
import time


def main(argv):
    steps, limit = [], 60.0
    i = 0
    while argv[i] != "--":
        if argv[i] == "--expect":
            steps.append([argv[i + 1], None])
            i += 2
        elif argv[i] == "--send":
            steps[-1][1] = argv[i + 1].encode() + b"\n"
            i += 2
        elif argv[i] == "--interrupt":
            steps[-1][1] = b"\x03"
            i += 1
        elif argv[i] == "--limit":
            limit = float(argv[i + 1])
            i += 2
        else:
            raise SystemExit("pty_run.py: unknown option " + argv[i])
    program = argv[i + 1:]

    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(program[0], program)
    output = b""
    end = time.monotonic() + limit
    seen = 0
    while time.monotonic() < end:
        if steps and steps[0][0].encode() in output[seen:]:
            seen = output.index(steps[0][0].encode(), seen) + len(steps[0][0])
            os.write(fd, steps.pop(0)[1])
        ready, _, _ = select.select([fd], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                break
            output += chunk
    sys.stdout.buffer.write(output)
    sys.stdout.flush()
    if time.monotonic() >= end or steps:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        return 124
    _, status = os.waitpid(pid, 0)
    if os.WIFSIGNALED(status):
        return 128 + os.WTERMSIG(status)
    return os.WEXITSTATUS(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
