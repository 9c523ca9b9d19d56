// What the live views share: the read of one register block with the link settings in force,
// the refresh timer held while it runs, and the kilo/mega ranging of a value.
#pragma once

#include <span>
#include <string>

struct BlockInfo;

using BlockRead = int (*)(int port, unsigned char address, float* record, const std::string& spare,
                          unsigned short tcpPort, const std::string& host);
using BlockWrite = int (*)(int port, unsigned char address, const unsigned char* data,
                           const std::string& spare, unsigned short tcpPort, const std::string& host);

// Runs a register-map operation with the settings read when communication was switched on.
int ReadWithLinkSettings(BlockRead read, float* record);
int WriteWithLinkSettings(BlockWrite write, const unsigned char* data);

// A save that failed, in words: the panel's own text when nothing was written, or, when the write
// stopped part-way, which registers were written and which were not.
void ReportNotSaved(int notSavedText);

// A tick stops its own timer before reading, so no second tick can start a read meanwhile; only a
// good read starts it again, so a failed one ends the refresh until the view is opened anew.
void HoldRefresh(int panel, int timer);
void ResumeRefresh(int panel, int timer);

// Whether the panel is shown (not hidden behind a view opened from it).
bool OnScreen(int panel);

// A value field with the unit field beside it (0 for a value shown without a unit); the units
// come from the value table.
struct RangedField {
    int field;
    int unitField;
};

// Names a view's value fields for a screen reader by their rows of the block's value table, in the
// language in force ("Voltage L-N L1"): the field of record index i is fields[i] (0 for none). Each
// reads out its number with the unit its row is sent in; a ranged field's unit follows its value
// (ShowRangedUnit).
void NameValueFields(int panel, const BlockInfo& block, std::span<const int> fields);

// Shows the unit a value is ranged into; a value shown in the thousandfold unit keeps its digits:
// its field shows three more decimals than in the smaller unit (1000.1 V is 1.0001 kV).
void ShowRangedUnit(int panel, const RangedField& field, float& value, const char* unit);

// An analog output's characteristic on a graph, from its six numbers X1 Y1 X2 Y2 X3 Y3: points
// mode 0 is a straight red line from point 1 to point 3, any other mode runs through all three.
void PlotCharacteristic(int panel, int graph, const float* xy, int pointsMode);
