#!/usr/bin/env python3
"""Runs the command blocks of the README and the EXAMPLES of the man pages as written.

Usage: doc_examples.py SOURCE_DIR BUILD_DIR

Commands run in a scratch folder that holds `build` (the build under test) and `docs`, with the
programs' folders first on PATH, as after `make demo` in the source folder.
- A `console` block: each `$ command` runs in turn; the lines after it are what it prints (stdout,
  and stderr but for the link and progress lines); times read as "a time", "  ..." stands for
  whatever follows, `echo $?` is the status of the command before.
- An `sh` block: every line must end with status 0. A line ending in `&`, or a program that runs
  until stopped (rq55-sim, serve, prometheus), is started and checked by its first line or its
  endpoint; it runs until the next `## ` section (or the man page's end), then is stopped. So does
  the simulator named in prose by "ran against `...`".
- A block or a man-page line that needs hardware, root, another host or a package install is
  marked in the source (`<!-- not run: WHY -->` before the block, `.\\" not run: WHY` before the
  line) and listed as skipped.
"""
import os
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

QUIET = re.compile(r"^rq55ctl: (127\.0\.0\.1:\d+: (RTU over TCP|Modbus/TCP)|scan \d+%: .*)$")
TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")
SKIP = re.compile(r"<!-- not run: (.*?) -->\s*$|^\.\\\" not run: (.*)$")


def fetch(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as reply:
            return reply.read().decode()
    except OSError:
        return None


def wait_for(what, check, process, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if check():
            return None
        if process.poll() is not None:
            return f"ended with status {process.returncode} before {what} was there"
        time.sleep(0.2)
    return f"{what} not there after {seconds} s"


class Runner:
    def __init__(self, scratch, env):
        self.scratch, self.env = scratch, env
        self.running, self.faults, self.skipped, self.ran = [], [], [], 0
        self.words = {}  # what a started program printed that later lines name, e.g. /dev/pts/7

    def fault(self, where, text):
        self.faults.append(f"{where}: {text}")

    def start(self, where, command):
        args = shlex.split(self.as_here(command))
        process = subprocess.Popen(args, cwd=self.scratch, env=self.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True, start_new_session=True)
        self.running.append(process)
        program, why = os.path.basename(args[0]), None
        if program == "rq55-sim":
            ready = process.stdout.readline()
            if not ready.startswith("RQ55 simulator ready: "):
                why = f"its first line is {ready!r}"
            elif " pty " in ready:
                self.words["/dev/pts/7"] = ready.split()[4]
        elif args[1:2] == ["serve"]:
            port = args[args.index("--metrics") + 1].rsplit(":", 1)[-1]
            why = wait_for("its /metrics", lambda: "rq55_up" in (fetch(f"http://127.0.0.1:{port}/metrics") or ""),
                           process)
        elif program == "prometheus":
            host = re.search(r"--web\.listen-address=(\S+)", command).group(1)
            query = f"http://{host}/api/v1/query?" + urllib.parse.urlencode({"query": "rq55_phase_voltage_volts"})
            why = wait_for("a query of rq55_phase_voltage_volts", lambda: '"value"' in (fetch(query) or ""), process, 60)
        if why:
            self.fault(where, f"{command}: {why}")

    def stop_all(self):
        for process in self.running:
            os.killpg(process.pid, signal.SIGTERM)
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        self.running = []

    def as_here(self, command):
        for word, real in self.words.items():
            command = command.replace(word, real)
        return command

    def run(self, command):
        self.ran += 1
        return subprocess.run(["bash", "-c", self.as_here(command)], cwd=self.scratch, env=self.env, capture_output=True,
                              text=True, timeout=60)

    def sh(self, where, lines):
        for line in lines:
            command = line.split("  #")[0].strip()
            if not command or command.startswith("#"):
                continue
            program = os.path.basename(shlex.split(command)[0])
            if command.endswith("&") or program in ("rq55-sim", "prometheus") or " serve " in command:
                self.ran += 1
                self.start(where, command.rstrip("&").strip())
                continue
            result = self.run(command)
            if result.returncode != 0:
                self.fault(where, f"{command}: status {result.returncode}: {result.stderr.strip()[-300:]}")

    def console(self, where, block):
        lines, status, i = block.rstrip("\n").split("\n"), 0, 0
        while i < len(lines):
            command, expected = lines[i][2:], []
            i += 1
            while i < len(lines) and not lines[i].startswith("$ "):
                if lines[i]:
                    expected.append(lines[i])
                i += 1
            if command == "echo $?":
                got = [str(status)]
            else:
                result = self.run(command)
                status = result.returncode
                shown = result.stdout.split("\n") + [l for l in result.stderr.split("\n") if not QUIET.search(l)]
                got = [TIME.sub("TIME", l) for l in shown if l]
            want = [TIME.sub("TIME", l) for l in expected]
            if "  ..." in want:
                cut = want.index("  ...")
                want, got = want[:cut], got[:cut]
            if got != want:
                self.fault(where, f"$ {command}\n  expected: {want}\n  got:      {got}")


def readme(runner, path):
    text = open(path, encoding="utf-8").read()
    for section in re.split(r"\n(?=## )", text):
        heading = section.split("\n", 1)[0]
        pieces = re.split(r"(```\w*\n.*?```)", section, flags=re.S)
        for before, block in zip(pieces[0::2], pieces[1::2]):
            for started in re.findall(r"ran against `([^`]*)`", before.replace("\n", " ")):
                runner.start(heading, started)
            kind, body = block[3:].split("\n", 1)
            body = body[:-3].replace("\\\n", " ")
            if kind not in ("sh", "console"):
                continue
            skip = SKIP.search(before.rstrip().rsplit("\n", 1)[-1])
            where = f"README {heading}, block {body.split(chr(10))[0][:50]!r}"
            if skip:
                runner.skipped.append(f"{where}: {skip.group(1)}")
            elif kind == "sh":
                runner.sh(where, body.split("\n"))
            else:
                runner.console(where, body)
        runner.stop_all()


def man_examples(runner, path):
    text = open(path, encoding="utf-8").read()
    examples = re.search(r"^\.SH EXAMPLES\n(.*?)(?=^\.SH |\Z)", text, re.S | re.M)
    skip = None
    for line in examples.group(1).split("\n") if examples else []:
        if SKIP.search(line):
            skip = SKIP.search(line).group(2)
        elif line and not line.startswith("."):
            command = line.replace("\\-", "-")
            if skip:
                runner.skipped.append(f"{os.path.basename(path)}: {command}: {skip}")
            else:
                runner.sh(os.path.basename(path), [command])
            skip = None
    runner.stop_all()


def main():
    source, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as scratch:
        os.symlink(build, os.path.join(scratch, "build"))
        os.symlink(os.path.join(source, "docs"), os.path.join(scratch, "docs"))
        path = os.pathsep.join([os.path.join(build, "cli"), os.path.join(build, "sim"), os.environ["PATH"]])
        runner = Runner(scratch, dict(os.environ, PATH=path))
        runner.words["/tmp/rq55-prometheus"] = os.path.join(scratch, "prometheus")
        try:
            readme(runner, os.path.join(source, "README.md"))
            for page in sorted(os.listdir(os.path.join(source, "docs", "man"))):
                man_examples(runner, os.path.join(source, "docs", "man", page))
        finally:
            runner.stop_all()
    for skipped in runner.skipped:
        print(f"skipped: {skipped}")
    for fault in runner.faults:
        print(f"FAULT {fault}")
    print(f"{runner.ran} commands run, {len(runner.skipped)} skipped, {len(runner.faults)} faults")
    return 1 if runner.faults else 0


if __name__ == "__main__":
    sys.exit(main())
