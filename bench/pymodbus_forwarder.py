#!/usr/bin/env python3
"""A Modbus/TCP server of pymodbus that forwards every request to another Modbus/TCP server, or to
a serial line with RTU frames (pymodbus' RemoteSlaveContext): what serve's gateway is measured
beside.

Usage: pymodbus_forwarder.py TARGET LISTEN_PORT: TARGET a port on 127.0.0.1, or a serial device
"""
import logging
import sys

from pymodbus.client import ModbusSerialClient, ModbusTcpClient
from pymodbus.datastore import ModbusServerContext
from pymodbus.datastore.remote import RemoteSlaveContext
from pymodbus.server import StartTcpServer

logging.disable(logging.CRITICAL)
target, listen = sys.argv[1], int(sys.argv[2])
client = ModbusSerialClient(target, baudrate=19200) if target.startswith("/") else ModbusTcpClient("127.0.0.1", port=int(target))
client.connect()
context = ModbusServerContext(slaves={1: RemoteSlaveContext(client, unit=1)}, single=False)
StartTcpServer(context=context, address=("127.0.0.1", listen))
