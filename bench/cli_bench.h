// What rq55ctl costs as a whole process: a scan of silent addresses, and a read of the network
// parameters beside mbpoll reading the same 60 registers.
#pragma once

bool MeasureCliScan();
bool MeasureCliStartUp();
