// What rq55ctl costs as a whole process: a scan of silent addresses, and a read of the network
// parameters next to mbpoll reading the same 60 registers.
#pragma once

bool MeasureCliScan();
bool MeasureCliRead();
