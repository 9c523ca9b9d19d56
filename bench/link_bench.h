// What the program's exchange costs over each link (a pseudo-terminal, RTU over TCP, Modbus/TCP):
// a 60-register read beside a raw client doing the same read; the same read with the traffic
// monitor closed, opened and full; without and with the discard of what waits before a request;
// and the CPU a view takes while it polls.
#pragma once

bool MeasureExchangeLatency();
bool MeasureMonitorCost();
bool MeasureDiscardCost();
bool MeasureViewCpu();
