// rq55ctl serve's Modbus gateway beside pymodbus' forwarding server over the same simulated
// analyser: what a read through each adds to a direct read, and serve's rounds and a read's time
// with 0, 1 and 5 clients reading through it all the time; and on a pseudo-terminal, how many reads
// 1, 5 and 20 masters get through it, with and without the answers from its polls.
#pragma once

bool MeasureGateway();
