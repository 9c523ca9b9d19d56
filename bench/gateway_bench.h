// rq55ctl serve's Modbus gateway beside pymodbus' forwarding server over the same simulated
// analyser: what a read through each adds to a direct read, and serve's rounds and a read's time
// with 0, 1 and 5 clients reading through it all the time.
#pragma once

bool MeasureGateway();
