#!/usr/bin/env python3
"""Runs the rq55ctl examples of the README against the simulator they name and compares outputs.

Every `$ command` line of a console block runs in one scratch folder, in order; the lines after
it, up to the next command or the end of the block, are the output expected on stdout. Times are
compared as "a time", and a line "  ..." stands for whatever follows. Commands on real serial
devices are skipped.
"""
import os
import re
import subprocess
import sys
import tempfile

PROTOCOL = re.compile(r"^rq55ctl: (127\.0\.0\.1:\d+: (RTU over TCP|Modbus/TCP)|scan \d+%: .*)$")
TIME = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")


def blocks(readme):
    text = open(readme, encoding="utf-8").read()
    section = text[text.index("## rq55ctl"):]
    section = section[:section.index("\n## ", 5)]
    return re.findall(r"```console\n(.*?)```", section, re.S), section


def main():
    readme, build = sys.argv[1], os.path.abspath(sys.argv[2])
    examples, section = blocks(readme)
    sim_args = re.search(r"`build/sim/rq55-sim (--rtu-tcp 5021[^`]*)`", section.replace("\n", " ")).group(1).split()
    sim_args[1] = "0"  # any free port; the ready line names it
    sim = subprocess.Popen([os.path.join(build, "sim", "rq55-sim")] + sim_args, stdout=subprocess.PIPE, text=True)
    try:
        ready = sim.stdout.readline()
        port = re.search(r"127\.0\.0\.1:(\d+)", ready).group(1)
        env = dict(os.environ, PATH=os.path.join(build, "cli") + os.pathsep + os.environ["PATH"])
        faults = 0
        status = 0
        with tempfile.TemporaryDirectory() as scratch:
            for block in examples:
                lines = block.rstrip("\n").split("\n")
                i = 0
                while i < len(lines):
                    command = lines[i][2:]
                    expected = []
                    i += 1
                    while i < len(lines) and not lines[i].startswith("$ "):
                        if lines[i]:
                            expected.append(lines[i])
                        i += 1
                    if "/dev/tty" in command:
                        continue
                    if command == "echo $?":
                        got = [str(status)]
                    else:
                        run = subprocess.run(["bash", "-c", command.replace("5021", port)], cwd=scratch, env=env,
                                             capture_output=True, text=True, timeout=60)
                        status = run.returncode
                        # stderr counts too, but for the protocol and progress lines, which the README leaves out.
                        shown = run.stdout.split("\n") + [l for l in run.stderr.split("\n") if not PROTOCOL.search(l)]
                        got = [TIME.sub("TIME", l) for l in shown if l]
                    want = [TIME.sub("TIME", l) for l in expected]
                    if "  ..." in want:
                        cut = want.index("  ...")
                        want, got = want[:cut], got[:cut]
                    if got != want:
                        faults += 1
                        print(f"README example: $ {command}\n  expected: {want}\n  got:      {got}")
        print(f"{len(examples)} example blocks run, {faults} differ")
        return 1 if faults else 0
    finally:
        sim.terminate()
        sim.wait()


if __name__ == "__main__":
    sys.exit(main())
