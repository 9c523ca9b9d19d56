#!/usr/bin/env python3
"""Runs the command blocks of the README and the EXAMPLES of the man pages as written (arguments: the
build folder, the source folder), in a scratch folder holding `build` and `docs`, as after `make demo`
in the source folder, in one shell session: what an `export` line sets holds for every later line,
and nothing is on PATH that the README does not put there.
- `console`: each `$ command` in turn; the lines after it are its stdout and stderr (but for the link
  and progress lines); times read as "a time"; "  ..." stands for the rest; `echo $?` is a status.
- `sh`: every line ends with status 0, but a line ending in `&` and a program that runs until stopped
  (rq55-sim, serve, prometheus) is started, checked by its first line or its endpoint and stopped by
  `kill %N` (N counting what the section started) or at the next `## ` section (or the man page's end).
- `<!-- not run: WHY -->` before a block, `.\\" not run: WHY` before a man-page line: hardware, root,
  another host or a package install; listed as skipped.
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile
import urllib.parse

from serve_support import BUILD, SOURCE, get, until

QUIET = re.compile(r"^rq55ctl: (127\.0\.0\.1:\d+: (RTU over TCP|Modbus/TCP)|scan \d+%: .*)$")
TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")
SKIP = re.compile(r"<!-- not run: (.*?) -->\s*$|^\.\\\" not run: (.*)$")


def wait_for(what, check, process, seconds=30):
    until(lambda: check() or process.poll() is not None, seconds)
    if process.poll() is not None:
        return f"ended with status {process.returncode} before {what} was there"
    return None if check() else f"{what} not there after {seconds} s"


class Runner:
    def __init__(self, scratch, env):
        self.scratch, self.env = scratch, env
        # self.words: what a started program printed that later lines name, e.g. /dev/pts/7
        self.running, self.faults, self.skipped, self.ran, self.words = [], [], [], 0, {}

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
            why = wait_for("its /metrics", lambda: "rq55_up" in (get(f"http://127.0.0.1:{port}/metrics") or ""),
                           process)
        elif program == "prometheus":
            host = re.search(r"--web\.listen-address=(\S+)", command).group(1)
            query = f"http://{host}/api/v1/query?" + urllib.parse.urlencode({"query": "rq55_phase_voltage_volts"})
            why = wait_for("a query of rq55_phase_voltage_volts", lambda: '"value"' in (get(query) or ""), process, 60)
        if why:
            self.faults.append(f"{where}: {command}: {why}")

    def stop_all(self):
        for process in self.running:
            process.terminate()
            process.wait(10)  # one that outstays a stop signal is a fault of its own
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
            if command.startswith("export "):
                self.ran += 1
                result = subprocess.run(["bash", "-c", f"{self.as_here(command)} && env -0"], cwd=self.scratch,
                                        env=self.env, capture_output=True, text=True, timeout=10)
                self.env = dict(v.split("=", 1) for v in result.stdout.split("\0") if "=" in v)
                continue
            if jobs := re.fullmatch(r"kill((?: %\d+)+)", command):
                self.ran += 1
                for n in jobs.group(1).split():
                    self.running[int(n[1:]) - 1].terminate()
                continue
            if command.endswith("&") or re.match(r"(\S*/)?(rq55-sim|prometheus) |\S*rq55ctl serve ", command):
                self.ran += 1
                self.start(where, command.rstrip("&").strip())
                continue
            result = self.run(command)
            if result.returncode != 0:
                self.faults.append(f"{where}: {command}: status {result.returncode}: {result.stderr.strip()[-300:]}")

    def console(self, where, block):
        status = 0
        for piece in re.split(r"^\$ ", block, flags=re.M)[1:]:
            command, *expected = [l for l in piece.split("\n") if l]
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
                self.faults.append(f"{where}: $ {command}\n  expected: {want}\n  got:      {got}")


def readme(runner, path):
    text = open(path, encoding="utf-8").read()
    for section in re.split(r"\n(?=## )", text):
        heading = section.split("\n", 1)[0]
        pieces = re.split(r"(```\w*\n.*?```)", section, flags=re.S)
        for before, block in zip(pieces[0::2], pieces[1::2]):
            kind, body = block[3:-3].replace("\\\n", " ").split("\n", 1)
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
        if marked := SKIP.search(line):
            skip = marked.group(2)
        elif line and not line.startswith("."):
            command = line.replace("\\-", "-")
            if skip:
                runner.skipped.append(f"{os.path.basename(path)}: {command}: {skip}")
            else:
                runner.sh(os.path.basename(path), [command])
            skip = None
    runner.stop_all()


def main():
    with tempfile.TemporaryDirectory() as scratch:
        os.symlink(BUILD, os.path.join(scratch, "build"))
        os.symlink(os.path.join(SOURCE, "docs"), os.path.join(scratch, "docs"))
        runner = Runner(scratch, dict(os.environ))
        runner.words["/tmp/rq55-prometheus"] = os.path.join(scratch, "prometheus")
        try:
            readme(runner, os.path.join(SOURCE, "README.md"))
            for page in sorted(os.listdir(os.path.join(SOURCE, "docs", "man"))):
                man_examples(runner, os.path.join(SOURCE, "docs", "man", page))
        finally:
            runner.stop_all()
    print("".join(f"skipped: {s}\n" for s in runner.skipped) + "".join(f"FAULT {f}\n" for f in runner.faults), end="")
    print(f"{runner.ran} commands run, {len(runner.skipped)} skipped, {len(runner.faults)} faults")
    return 1 if runner.faults else 0


if __name__ == "__main__":
    sys.exit(main())
