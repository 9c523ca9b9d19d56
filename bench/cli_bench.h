// What rq55ctl costs as a whole process: a scan of silent addresses, a read of the network
// parameters next to mbpoll reading the same 60 registers, and serve.
#pragma once

bool MeasureCliScan();
bool MeasureCliRead();
// rq55ctl serve: what a poll costs beside the same reads made directly, and its memory over
// 20 000 polls.
bool MeasureServe();
