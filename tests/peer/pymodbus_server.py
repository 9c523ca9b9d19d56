#!/usr/bin/env python3
"""A Modbus server built on pymodbus, holding known register values, for the peer tests.

Usage: pymodbus_server.py tcp|rtu-tcp|rtu-pty

Prints one line when it serves: "port N" for the TCP forms, "pty PATH" for RTU on a
pseudo-terminal (the side the program under test opens). It stops when its standard input
closes, so it never outlives the test that started it.

The blocks of the register map overlap, so each unit holds the values of blocks that do not:
  unit 1: network parameters, energy, max/min, equipment configuration, serial number;
  unit 2: inputs/outputs, demand, analog outputs 3 and 4;
  unit 3: analog outputs 1 and 2.
"""

import asyncio
import ctypes
import logging
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartAsyncSerialServer, StartAsyncTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

REGISTERS = 8500
ANALOG_BASE = {1: 230, 2: 247, 3: 264, 4: 281}


def put_float(bank, register, value):
    high, low = struct.unpack(">HH", struct.pack(">f", value))
    bank[register] = high
    bank[register + 1] = low


def put_u32(bank, register, value):
    bank[register] = (value >> 16) & 0xFFFF
    bank[register + 1] = value & 0xFFFF


def unit1():
    bank = [0] * REGISTERS
    for i in range(30):
        put_float(bank, 6 + 2 * i, 100.5 + i)
    for i in range(11):
        put_float(bank, 66 + 2 * i, 2000.25 + 10 * i)
    for i in range(54):
        put_float(bank, 130 + 2 * i, -50.75 + 3 * i)
    bank[800] = 0xBEEF
    bank[801] = 0x0A0B
    bank[802] = 0x1234
    bank[803] = 0x5678
    put_u32(bank, 804, 0xFFFFFFFF)
    put_u32(bank, 806, 123456)
    bank[808] = 808
    bank[809] = 809
    bank[810] = 810
    serial = [0x30 + j for j in range(22)]
    serial[10], serial[11] = 0, 57
    for k in range(11):
        bank[811 + k] = serial[2 * k] << 8 | serial[2 * k + 1]
    return bank


def put_analog(bank, output):
    base = ANALOG_BASE[output]
    bank[base] = 100 * output + 1
    bank[base + 1] = 100 * output + 2
    bank[base + 2] = output << 8 | (output + 10)
    for j in range(7):
        put_float(bank, base + 3 + 2 * j, 10 * output + j + 0.5)


def unit2():
    bank = [0] * REGISTERS
    bank[200] = 0x0304
    for k in range(6):
        bank[201 + k] = 1001 + k
        bank[211 + k] = 2001 + k
    put_float(bank, 207, 12.5)
    put_float(bank, 209, -7.25)
    put_float(bank, 217, 0.125)
    put_float(bank, 219, 65536.5)
    for i in range(12):
        put_float(bank, 238 + 2 * i, 500.125 + i)
    put_analog(bank, 3)
    put_analog(bank, 4)
    return bank


def unit3():
    bank = [0] * REGISTERS
    put_analog(bank, 1)
    put_analog(bank, 2)
    return bank


def context():
    # zero_mode: wire register N is entry N of the block.
    slaves = {
        unit: ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, bank()), zero_mode=True)
        for unit, bank in ((1, unit1), (2, unit2), (3, unit3))
    }
    return ModbusServerContext(slaves=slaves, single=False)


def die_with_parent():
    # socat must not outlive this script, however it ends.
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def pty_pair(directory):
    server_side = os.path.join(directory, "server")
    client_side = os.path.join(directory, "client")
    socat = subprocess.Popen(
        ["socat", f"pty,raw,echo=0,link={server_side}", f"pty,raw,echo=0,link={client_side}"],
        preexec_fn=die_with_parent,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    deadline = time.monotonic() + 5
    while not (os.path.exists(server_side) and os.path.exists(client_side)):
        if socat.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError("socat did not make the pseudo-terminal pair")
        time.sleep(0.01)
    return socat, server_side, client_side


async def until_stdin_closes():
    loop = asyncio.get_running_loop()
    await loop.run_in_executor(None, sys.stdin.buffer.read)


async def main(mode):
    if mode in ("tcp", "rtu-tcp"):
        framer = ModbusSocketFramer if mode == "tcp" else ModbusRtuFramer
        server = await StartAsyncTcpServer(
            context(), address=("127.0.0.1", 0), framer=framer, defer_start=True
        )
        serving = asyncio.create_task(server.serve_forever())
        await server.serving
        print(f"port {server.server.sockets[0].getsockname()[1]}", flush=True)
        await until_stdin_closes()
        serving.cancel()
        return
    with tempfile.TemporaryDirectory(prefix="rq55-peer-") as directory:
        socat, server_side, client_side = pty_pair(directory)
        try:
            server = await StartAsyncSerialServer(
                context(), framer=ModbusRtuFramer, port=server_side, baudrate=9600, defer_start=True
            )
            await server.start()
            print(f"pty {client_side}", flush=True)
            await until_stdin_closes()
        finally:
            socat.terminate()
            socat.wait()


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("tcp", "rtu-tcp", "rtu-pty"):
        sys.exit(__doc__)
    logging.basicConfig(level=logging.CRITICAL)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    asyncio.run(main(sys.argv[1]))
