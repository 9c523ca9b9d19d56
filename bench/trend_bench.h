// What the network view's trend chart costs over a shift: one refresh with a little history and
// with the whole half hour, and the memory of a view refreshed far past the history's bound.
#pragma once

bool MeasureTrendRefresh();
bool MeasureTrendSoak();
// MeasureTrendSoak in a process of its own (this program run with "soak-alone"), so that nothing
// measured before counts.
bool MeasureTrendSoakInChild(const char* self);
