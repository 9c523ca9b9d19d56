// What the network view's trend chart costs over a shift: one refresh with a little history and
// with the whole half hour, and the memory of a view refreshed far past the history's bound.
#pragma once

bool MeasureTrendRefresh();
bool MeasureTrendSoak();
