// What the network view's trend chart costs over a shift: one refresh with a little history and
// with the whole half hour, and the memory of a view refreshed far past the history's bound.
#pragma once

bool MeasureTrendRefresh();
bool MeasureTrendSoak();
// MeasureTrendSoak in three processes of their own (this program run with "soak-alone"), so that
// nothing measured before counts.
bool MeasureTrendSoakInChildren(const char* self);
