// rq55ctl check: is the analyser at the link's address wired right? One read of the network block
// and the CT primary, the wiring check over them, printed as text or as one JSON line.
#pragma once

#include "device/register_map.h"
#include "device/wiring_check.h"
#include "options.h"

// kOk with no finding, kDifferent with findings, kFailed when a read failed (said on stderr).
int CheckWiringAt(const CliOptions& options, const LinkTarget& link);

// The check's assumption of which way the site's power flows, with rq55ctl's way to turn it.
WiringAssumption CliWiringAssumption(bool exports);
