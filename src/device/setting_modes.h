// What a relay's mode and an analog output's points mode leave in use: the set-up panels dim the
// fields a mode does not use, and the report marks them so. Both read them from here.
#pragma once

// A relay's fields, in the order of the inputs/outputs panel.
enum class RelayField { State, Selector, ValueA, ValueB, Lock, Contact, Level1, Level2 };

// Whether the relay's mode uses the field: mode 0 none, 1 the State button (switched by hand),
// 2 all but the State button (alarm on the levels), any other value B and level 1 (pulse output).
bool RelayModeUses(int mode, RelayField field);

// The text that names the mode (302 for modes 0 to 2, 110 for a pulse output), and whether it is
// the second kind (the panel's mode indicator then shows 2).
int RelayModeText(int mode);
bool IsPulseOutputMode(int mode);

// Value A is shown only while the relay's lock is 1.
bool RelayShowsValueA(int lock);

// An analog output's characteristic: points mode 0 runs from point 1 to point 3, any other through
// all three. Whether point n (1 to 3) is used.
bool CharacteristicUsesPoint(int pointsMode, int point);
