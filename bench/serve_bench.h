// rq55ctl serve over a simulated link: what a poll costs beside the same reads made by rq55ctl
// read and its memory over many polls; how long a round takes with 1, 10 and 50 analysers, with
// one answering among absent addresses, and with rests of 150, 20 and 0 ms between exchanges,
// beside the time its frames would take on the wire at 19200 baud.
#pragma once

bool MeasureServeCost();
bool MeasureServeRounds();
