#!/usr/bin/env python3
"""A Modbus/TCP server of pymodbus that forwards every request to another Modbus/TCP server
(pymodbus' RemoteSlaveContext): what serve's gateway is measured beside.

Usage: pymodbus_forwarder.py TARGET_PORT LISTEN_PORT (both on 127.0.0.1)
"""
import logging
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.datastore import ModbusServerContext
from pymodbus.datastore.remote import RemoteSlaveContext
from pymodbus.server import StartTcpServer

logging.disable(logging.CRITICAL)
target, listen = int(sys.argv[1]), int(sys.argv[2])
client = ModbusTcpClient("127.0.0.1", port=target)
client.connect()
context = ModbusServerContext(slaves={1: RemoteSlaveContext(client, unit=1)}, single=False)
StartTcpServer(context=context, address=("127.0.0.1", listen))
