#!/usr/bin/env python3
"""A Modbus server built on pymodbus, holding known register values, for the peer tests.

Usage: pymodbus_server.py tcp|rtu_tcp|rtu_pty

Prints "port N" once it serves over TCP, "pty PATH" for RTU on a pseudo-terminal (the side to
open), and stops when its standard input closes. The blocks of the register map overlap, so units
hold blocks that do not: unit 1 the network parameters, energy, max/min, equipment configuration
and serial number; unit 2 the inputs/outputs, demand and analog outputs 3 and 4; unit 3 analog
outputs 1 and 2.
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


def put_floats(bank, register, values):
    for i, value in enumerate(values):
        bank[register + 2 * i : register + 2 * i + 2] = struct.unpack(">HH", struct.pack(">f", value))


def put_analog(bank, output):
    base = (230, 247, 264, 281)[output - 1]
    bank[base : base + 3] = [100 * output + 1, 100 * output + 2, output << 8 | (output + 10)]
    put_floats(bank, base + 3, [10 * output + j + 0.5 for j in range(7)])


def units():
    one, two, three = ([0] * 1000 for _ in range(3))
    put_floats(one, 6, [100.5 + i for i in range(30)])
    put_floats(one, 66, [2000.25 + 10 * i for i in range(11)])
    put_floats(one, 130, [-50.75 + 3 * i for i in range(54)])
    # 804-805 hold -1 and 806-807 123456, both 32-bit.
    one[800:811] = [0xBEEF, 0x0A0B, 0x1234, 0x5678, 0xFFFF, 0xFFFF, 1, 123456 - 65536, 808, 809, 810]
    serial = [0x30 + j for j in range(22)]
    serial[10], serial[11] = 0, 57  # register 816: the model code
    one[811:822] = [serial[2 * k] << 8 | serial[2 * k + 1] for k in range(11)]
    two[200] = 0x0304
    two[201:207] = [1001 + k for k in range(6)]
    two[211:217] = [2001 + k for k in range(6)]
    put_floats(two, 207, [12.5, -7.25])
    put_floats(two, 217, [0.125, 65536.5])
    put_floats(two, 238, [500.125 + i for i in range(12)])
    for bank, outputs in ((three, (1, 2)), (two, (3, 4))):
        for output in outputs:
            put_analog(bank, output)
    # zero_mode: wire register N is entry N of the block.
    slaves = {
        unit: ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, bank), zero_mode=True)
        for unit, bank in ((1, one), (2, two), (3, three))
    }
    return ModbusServerContext(slaves=slaves, single=False)


def die_with_parent():
    ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG: socat never outlives us


async def until_stdin_closes():
    await asyncio.get_running_loop().run_in_executor(None, sys.stdin.buffer.read)


async def main(mode):
    if mode != "rtu_pty":
        framer = ModbusSocketFramer if mode == "tcp" else ModbusRtuFramer
        server = await StartAsyncTcpServer(units(), address=("127.0.0.1", 0), framer=framer, defer_start=True)
        serving = asyncio.create_task(server.serve_forever())
        await server.serving
        print(f"port {server.server.sockets[0].getsockname()[1]}", flush=True)
        await until_stdin_closes()
        serving.cancel()
        return
    with tempfile.TemporaryDirectory(prefix="rq55-peer-") as directory:
        server_side, client_side = os.path.join(directory, "server"), os.path.join(directory, "client")
        socat = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={server_side}", f"pty,raw,echo=0,link={client_side}"],
            preexec_fn=die_with_parent,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        try:
            deadline = time.monotonic() + 5
            while not (os.path.exists(server_side) and os.path.exists(client_side)):
                if socat.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("socat did not make the pseudo-terminal pair")
                time.sleep(0.01)
            server = await StartAsyncSerialServer(
                units(), framer=ModbusRtuFramer, port=server_side, baudrate=9600, defer_start=True
            )
            await server.start()
            print(f"pty {client_side}", flush=True)
            await until_stdin_closes()
        finally:
            socat.terminate()
            socat.wait()


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("tcp", "rtu_tcp", "rtu_pty"):
        sys.exit(__doc__)
    logging.basicConfig(level=logging.CRITICAL)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    asyncio.run(main(sys.argv[1]))
