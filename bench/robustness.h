// What a misbehaving peer or a large input costs: a reply cut short, a flooded simulator, a
// language section of 100 000 items.
#pragma once

// Each prints its figures; false when the measurement itself failed.
bool MeasureCutShortReply();
bool MeasureSimulatorUnderFlood();
bool MeasureLargeLanguageSection();
// rq55-sim's memory while serve polls five analysers on it back to back.
bool MeasureSimulatorMemory();
