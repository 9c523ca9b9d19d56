#include "panels/view_support.h"

#include <cmath>

#include "device/register_map.h"
#include "device/setting_modes.h"
#include "device/value_table.h"
#include "device/value_words.h"
#include "lang/label_table.h"
#include "link/exchange_words.h"
#include "link/link_settings.h"
#include "platform/ui.h"

int ReadWithLinkSettings(BlockRead read, float* record) {
    return read(Puerto, static_cast<unsigned char>(Identidad), record, Telefono,
                static_cast<unsigned short>(TCP_Puerto), IP);
}

int WriteWithLinkSettings(BlockWrite write, const unsigned char* data) {
    return write(Puerto, static_cast<unsigned char>(Identidad), data, Telefono,
                 static_cast<unsigned short>(TCP_Puerto), IP);
}

void ReportNotSaved(int notSavedText) {
    constexpr int kTextPartlySaved = 462;
    const WriteProgress progress = LastWriteProgress();
    std::string said = progress.written.empty() ? etiqueta[notSavedText]
                                                : FillIn(etiqueta[kTextPartlySaved], {progress.written, progress.notWritten});
    // Who refuses the write, when a gateway or the analyser said it takes none.
    if (const std::string refused = WritesRefusedSentence(); !refused.empty())
        said += (said.empty() || said.back() == '.' ? " " : ". ") + refused;
    MessagePopup(etiqueta[21], said);
}

void HoldRefresh(int panel, int timer) {
    ResetTimer(panel, timer);
    SetCtrlAttribute(panel, timer, ATTR_ENABLED, 0);
}

void ResumeRefresh(int panel, int timer) {
    ResetTimer(panel, timer);
    SetCtrlAttribute(panel, timer, ATTR_ENABLED, 1);
}

bool OnScreen(int panel) {
    int visible = 0;
    return GetPanelAttribute(panel, ATTR_PANEL_VISIBLE, visible) == 0 && visible == 1;
}

void NameValueFields(int panel, const BlockInfo& block, std::span<const int> fields) {
    for (size_t i = 0; i < fields.size() && i < block.values.size(); ++i) {
        if (fields[i] == 0) continue;
        SetCtrlAttribute(panel, fields[i], ATTR_ACCESSIBLE_NAME, SpokenName(block.values[i], etiqueta));
        SetCtrlAttribute(panel, fields[i], ATTR_UNIT, block.values[i].unit);
    }
}

void ShowRangedUnit(int panel, const RangedField& field, float& value, const char* unit) {
    const float read = value;
    const char* shown = RangeKiloMega(value, unit);
    SetCtrlVal(panel, field.unitField, shown);
    SetCtrlAttribute(panel, field.field, ATTR_UNIT, shown); // a screen reader says the unit too
    SetCtrlAttribute(panel, field.field, ATTR_MORE_DIGITS, std::isnan(read) || value == read ? 0 : 3);
}

void PlotCharacteristic(int panel, int graph, const float* xy, int pointsMode) {
    DeleteGraphPlot(panel, graph, -1);
    float x[3] = {}, y[3] = {};
    int count = 0;
    for (int point = 1; point <= 3; ++point)
        if (CharacteristicUsesPoint(pointsMode, point)) {
            x[count] = xy[2 * point - 2];
            y[count++] = xy[2 * point - 1];
        }
    PlotXY(panel, graph, x, y, count, VAL_RED);
}
